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

constexpr std::string_view browserWindow = R"(<?xml version="1.0"?>
<html xmlns:html="http://www.w3.org/1999/xhtml">
<head>
  <link rel="localization" href="branding/brand.ftl"/>
  <link rel="localization" href="browser/menubar.ftl"/>
  <link rel="localization" href="toolkit/global/textActions.ftl"/>
</head>
<keyset id="mainKeyset">
  <key id="key_undo" data-l10n-id="text-action-undo-shortcut" modifiers="accel"/>
</keyset>
<menubar id="main-menubar">
  <menu data-l10n-id="menu-file"><menupopup>
    <menuitem data-l10n-id="menu-about"/>
  </menupopup></menu>
  <menu data-l10n-id="menu-edit"><menupopup>
    <menuitem data-l10n-id="text-action-undo" key="key_undo"/>
  </menupopup></menu>
</menubar>
</html>)";

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
                       {{"chrome/browser/content/browser/browser.xhtml", std::string(browserWindow)},
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
                   {{"chrome/messenger/content/messenger/messenger.xhtml", R"(<?xml version="1.0"?>
<!DOCTYPE html [
<!ENTITY % messengerDTD SYSTEM "chrome://messenger/locale/messenger.dtd">
%messengerDTD;
]>
<html><keyset><key id="key_close" key="&closeCmd.key;" modifiers="accel"/></keyset>
<menubar id="mail-menubar"><menu label="&fileMenu.label;"><menupopup>
<menuitem label="&closeCmd.label;" key="key_close"/></menupopup></menu></menubar></html>)"},
                    {"chrome/en-US/locale/en-US/messenger/messenger.dtd",
                     R"(<!ENTITY fileMenu.label "File"><!ENTITY closeCmd.label "Close"><!ENTITY closeCmd.key "W">)"}});
    const auto menus = source.readInstallation(folder.path(), {});
    ASSERT_TRUE(menus);
    ASSERT_EQ(menus->menus.menus.size(), 1u);
    EXPECT_EQ(menus->menus.menus[0].title, "File");
    EXPECT_EQ(menus->menus.menus[0].items[0].title, "Close");
    EXPECT_EQ(menus->menus.menus[0].items[0].accelerator, "<Control>w");
}
