#include "linux/mozilla_menu_source.h"

#include "fake/memory_log.h"
#include "support/temporary_folder.h"
#include "support/zip_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using namespace hb::linux_platform;

// Reading the menus of a running Firefox and pressing them is checked end to end (tests/e2e/firefox_test.cpp).
namespace {

const std::filesystem::path data = HINTBOARD_SOURCE_DIR "/tests/linux/data/mozilla";

constexpr std::string_view englishMenus = R"(menu-file =
    .label = File
menu-edit =
    .label = Edit
menu-about =
    .label = About { -brand-short-name }
)";

class MozillaMenuSourceTest : public testing::Test {
protected:
    // A Firefox-like installation: the application's archive and the platform's.
    void install(std::string_view englishMenuFile = englishMenus)
    {
        test::writeZip(folder.path() / "browser/omni.ja",
                       {{"chrome/browser/content/browser/browser.xhtml", test::readFile(data / "browser.xhtml")},
                        {"localization/en-US/branding/brand.ftl", "-brand-short-name = Firefox\n"},
                        {"localization/en-US/browser/menubar.ftl", std::string(englishMenuFile)},
                        {"localization/de/browser/menubar.ftl", "menu-file =\n    .label = Datei\n"}});
        test::writeZip(folder.path() / "omni.ja",
                       {{"localization/en-US/toolkit/global/textActions.ftl",
                         "text-action-undo =\n    .label = Undo\ntext-action-undo-shortcut =\n    .key = Z\n"}});
    }

    test::TemporaryFolder folder;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    MozillaMenuSource source{
        log, {}, [this](pid_t pid) { return pid == 42 ? folder.path() : std::filesystem::path("/nowhere"); }};
};

} // namespace

TEST_F(MozillaMenuSourceTest, ReadsTheMenusInTheUsersLanguageWithEnglishForWhatItLacks)
{
    install();
    const auto menus = source.readInstallation(folder.path(), {"de-DE", "de"});
    ASSERT_TRUE(menus);
    EXPECT_EQ(menus->language, "de");
    ASSERT_EQ(menus->menus.menus.size(), 2u);
    EXPECT_EQ(menus->menus.menus[0].title, "Datei");
    EXPECT_EQ(menus->menus.menus[0].items[0].title, "About Firefox");
    EXPECT_EQ(menus->menus.menus[1].items[0].accelerator, "<Control>z"); // from the platform's archive

    // Kept while the archives stay the same; a changed archive is read again.
    EXPECT_EQ(source.readInstallation(folder.path(), {"de-DE", "de"}), menus);
    EXPECT_NE(source.readInstallation(folder.path(), {"fr"}), menus);
    install(std::string(englishMenus) + "menu-extra =\n    .label = Extra\n");
    EXPECT_NE(source.readInstallation(folder.path(), {"de-DE", "de"}), menus);

    // A language pack beside the program gives its language.
    test::writeZip(folder.path() / "browser/extensions/langpack-fr@firefox-esr.mozilla.org.xpi",
                   {{"browser/localization/fr/browser/menubar.ftl", "menu-file =\n    .label = Fichier\n"},
                    {"localization/fr/toolkit/global/textActions.ftl", "text-action-undo =\n    .label = Annuler\n"}});
    const auto french = source.readInstallation(folder.path(), {"fr-FR", "fr"});
    ASSERT_TRUE(french);
    EXPECT_EQ(french->menus.menus[0].title, "Fichier");
    EXPECT_EQ(french->menus.menus[1].items[0].title, "Annuler");
    EXPECT_EQ(mozillaLanguages({"pt_BR.UTF-8@euro", "pt_BR", "pt"}), (std::vector<std::string>{"pt-BR", "pt"}));
}

TEST_F(MozillaMenuSourceTest, EntityLabelsComeFromTheLocaleFolderOfTheArchive)
{
    test::writeZip(folder.path() / "omni.ja",
                   {{"chrome/messenger/content/messenger/messenger.xhtml", test::readFile(data / "messenger.xhtml")},
                    {"chrome/en-US/locale/en-US/messenger/messenger.dtd",
                     R"(<!ENTITY fileMenu.label "File"><!ENTITY closeCmd.label "Close"><!ENTITY closeCmd.key "W">)"}});
    const auto menus = source.readInstallation(folder.path(), {});
    ASSERT_TRUE(menus);
    ASSERT_EQ(menus->menus.menus.size(), 1u);
    EXPECT_EQ(menus->menus.menus[0].title, "File");
    EXPECT_EQ(menus->menus.menus[0].items[0].title, "Close");
    EXPECT_EQ(menus->menus.menus[0].items[0].accelerator, "<Control>w");
}
