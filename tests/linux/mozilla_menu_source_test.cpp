#include "linux/mozilla_menu_source.h"

#include "fake/memory_log.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using namespace hb::linux_platform;

// Reading the menus of a running Firefox and pressing them is checked end to end (tests/e2e/firefox_test.cpp).
namespace {

// Archives of a Firefox-like installation (the application's, the platform's, a language pack) and a Thunderbird one.
const std::filesystem::path data = HINTBOARD_SOURCE_DIR "/tests/linux/data/mozilla";

class MozillaMenuSourceTest : public testing::Test {
protected:
    void install(const std::filesystem::path& archive, const std::filesystem::path& as)
    {
        std::filesystem::create_directories((folder.path() / as).parent_path());
        std::filesystem::copy_file(data / archive, folder.path() / as,
                                   std::filesystem::copy_options::overwrite_existing);
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
    install("firefox/browser-omni.ja", "browser/omni.ja");
    install("firefox/omni.ja", "omni.ja");
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
    install("firefox/browser-omni-changed.ja", "browser/omni.ja");
    EXPECT_NE(source.readInstallation(folder.path(), {"de-DE", "de"}), menus);

    // A language pack beside the program gives its language.
    install("firefox/langpack-fr@firefox-esr.mozilla.org.xpi",
            "browser/extensions/langpack-fr@firefox-esr.mozilla.org.xpi");
    const auto french = source.readInstallation(folder.path(), {"fr-FR", "fr"});
    ASSERT_TRUE(french);
    EXPECT_EQ(french->menus.menus[0].title, "Fichier");
    EXPECT_EQ(french->menus.menus[1].items[0].title, "Annuler");
    EXPECT_EQ(mozillaLanguages({"pt_BR.UTF-8@euro", "pt_BR", "pt"}), (std::vector<std::string>{"pt-BR", "pt"}));
}

TEST_F(MozillaMenuSourceTest, EntityLabelsComeFromTheLocaleFolderOfTheArchive)
{
    install("thunderbird/omni.ja", "omni.ja");
    const auto menus = source.readInstallation(folder.path(), {});
    ASSERT_TRUE(menus);
    ASSERT_EQ(menus->menus.menus.size(), 1u);
    EXPECT_EQ(menus->menus.menus[0].title, "File");
    EXPECT_EQ(menus->menus.menus[0].items[0].title, "Close");
    EXPECT_EQ(menus->menus.menus[0].items[0].accelerator, "<Control>w");
}
