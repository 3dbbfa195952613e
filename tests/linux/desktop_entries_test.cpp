#include "platform/linux/desktop_entries.h"

#include <gmock/gmock.h>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/scoped_environment.h"
#include "support/temporary_folder.h"

#include <fstream>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::Optional;

TEST(DesktopEntryTest, ReadsTheEntryGroupWithLocalizedNameAndEscapes)
{
    constexpr std::string_view contents = "# comment\n"
                                          "[Desktop Entry]\n"
                                          "Type=Application\n"
                                          "Name=Text\\sEditor\n"
                                          "Name[de]=Texteditor\n"
                                          "Name[fr_CA]=Éditeur\n"
                                          "Icon = org.example.Editor \n"
                                          "StartupWMClass=editor-main\n"
                                          "\n"
                                          "[Desktop Action new-window]\n"
                                          "Name=New Window\n"
                                          "Icon=window-new\n";

    auto entry = parseDesktopEntry(contents, "org.example.Editor", "de_AT.UTF-8");
    EXPECT_THAT(entry, Optional(DesktopEntry{"org.example.Editor", "Texteditor", "org.example.Editor", "editor-main"}));
    EXPECT_THAT(parseDesktopEntry(contents, "e", "fr_CA@latin"), Optional(Field(&DesktopEntry::name, "Éditeur")));
    EXPECT_THAT(parseDesktopEntry(contents, "e", "C"), Optional(Field(&DesktopEntry::name, "Text Editor")));
    EXPECT_THAT(parseDesktopEntry(contents, "e", ""), Optional(Field(&DesktopEntry::name, "Text Editor")));
}

TEST(DesktopEntryTest, TheCommandIsTheProgramThatExecRuns)
{
    auto command = [](std::string_view exec) {
        const auto contents = fmt::format("[Desktop Entry]\nType=Application\nName=A\nExec={}\n", exec);
        return parseDesktopEntry(contents, "a", "")->command;
    };
    EXPECT_EQ(command("libreoffice --writer %U"), "libreoffice");
    EXPECT_EQ(command("/usr/bin/mousepad %U"), "mousepad");
    EXPECT_EQ(command("\"/opt/My Editor/editor\" --new"), "editor");
    EXPECT_EQ(command("env GDK_BACKEND=x11 LANG=C /usr/bin/gimp %U"), "gimp");
    EXPECT_EQ(command(""), std::nullopt);
}

TEST(DesktopEntryTest, OnlyVisibleApplicationsWithANameCount)
{
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nType=Link\nName=Site\n", "a", ""), std::nullopt);
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nType=Application\nName=A\nHidden=true\n", "a", ""), std::nullopt);
    EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nType=Application\nIcon=a\n", "a", ""), std::nullopt);
    EXPECT_EQ(parseDesktopEntry("[Other]\nType=Application\nName=A\n", "a", ""), std::nullopt);
    EXPECT_EQ(parseDesktopEntry("", "a", ""), std::nullopt);
    EXPECT_THAT(parseDesktopEntry("[Desktop Entry]\r\nType=Application\r\nName=A\r\nNoDisplay=true\r\n", "a", ""),
                Optional(DesktopEntry{"a", "A", std::nullopt, std::nullopt}));
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(home);
        fs::create_directories(system / "kde4");
    }

    static void write(const fs::path& file, const std::string& keys)
    {
        std::ofstream(file) << "[Desktop Entry]\nType=Application\n" << keys;
    }

    test::TemporaryFolder temporary;
    fs::path root = temporary.path();
    fs::path home = root / "home/applications";
    fs::path system = root / "system/applications";
};

TEST_F(DesktopEntriesTest, AnEarlierFolderWinsForAnIDEvenWhenItHidesTheApplication)
{
    write(system / "org.example.Editor.desktop", "Name=Editor\nIcon=editor\n");
    write(home / "org.example.Editor.desktop", "Name=My Editor\n");
    write(system / "org.example.Viewer.desktop", "Name=Viewer\n");
    write(home / "org.example.Viewer.desktop", "Name=Viewer\nHidden=true\n");
    write(system / "kde4" / "tool.desktop", "Name=Tool\n");
    DesktopEntries entries({home, system}, "");

    EXPECT_THAT(entries.byID("org.example.Editor"), Optional(DesktopEntry{"org.example.Editor", "My Editor", {}, {}}));
    EXPECT_EQ(entries.byID("org.example.Viewer"), std::nullopt);
    EXPECT_THAT(entries.byID("kde4-tool.desktop"), Optional(Field(&DesktopEntry::name, "Tool")));
    EXPECT_THAT(entries.byID("/usr/share/applications/org.example.Editor.desktop"),
                Optional(Field(&DesktopEntry::name, "My Editor")));
    EXPECT_EQ(entries.byID("missing"), std::nullopt);
}

TEST_F(DesktopEntriesTest, FindsTheEntryOfAWindowClass)
{
    write(system / "org.xfce.mousepad.desktop", "Name=Mousepad\nIcon=org.xfce.mousepad\n");
    write(system / "featherpad.desktop", "Name=FeatherPad\n");
    write(system / "aaa-launcher.desktop", "Name=Launcher\nStartupWMClass=FeatherPad\n");
    write(system / "xterm-like.desktop", "Name=Terminal\n");
    DesktopEntries entries({home, system}, "");

    // StartupWMClass first, then the id, then the last part of a reverse-domain id; ASCII case ignored.
    EXPECT_THAT(entries.forWindowClass("featherpad", "FeatherPad"), Optional(Field(&DesktopEntry::id, "aaa-launcher")));
    EXPECT_THAT(entries.forWindowClass("mousepad", "Mousepad"), Optional(Field(&DesktopEntry::id, "org.xfce.mousepad")));
    EXPECT_THAT(entries.forWindowClass("", "XTERM-LIKE"), Optional(Field(&DesktopEntry::id, "xterm-like")));
    EXPECT_EQ(entries.forWindowClass("xterm", "XTerm"), std::nullopt);
    EXPECT_EQ(entries.forWindowClass("", ""), std::nullopt);
}

TEST_F(DesktopEntriesTest, SeesEntriesInstalledLater)
{
    DesktopEntries entries({home, system}, "");
    EXPECT_EQ(entries.byID("late"), std::nullopt);
    write(home / "late.desktop", "Name=Late\n");
    EXPECT_THAT(entries.byID("late"), Optional(Field(&DesktopEntry::name, "Late")));
}

TEST(ApplicationFoldersTest, FollowsTheBaseDirectoryVariables)
{
    test::ScopedEnvironment dataHome("XDG_DATA_HOME", "/data/home");
    {
        test::ScopedEnvironment dataDirs("XDG_DATA_DIRS", "/first::relative:/second/");
        EXPECT_THAT(applicationFolders(),
                    ElementsAre("/data/home/applications", "/first/applications", "/second/applications"));
    }
    test::ScopedEnvironment relative("XDG_DATA_HOME", "relative");
    test::ScopedEnvironment noDataDirs("XDG_DATA_DIRS", nullptr);
    test::ScopedEnvironment home("HOME", "/home/someone");
    EXPECT_THAT(applicationFolders(), ElementsAre("/home/someone/.local/share/applications",
                                                  "/usr/local/share/applications", "/usr/share/applications"));
}

} // namespace
} // namespace hb::linux_platform
