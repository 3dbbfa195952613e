// The desktop's files and conventions: desktop entries, application identity,
// autostart entries, program paths, package ownership, the Qt platform choice, the desktop's own shortcuts.
#include "linux/application_identity.h"
#include "linux/desktop_entries.h"
#include "linux/linux_desktop_shortcuts.h"
#include "linux/package_manager.h"
#include "linux/program_paths.h"
#include "linux/session_services.h"
#include "linux/xdg_autostart_login_item.h"

#include "fake/memory_log.h"

#include <fmt/format.h>
#include <gio/gio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/model_builders.h"
#include "support/scoped_environment.h"
#include "support/temporary_folder.h"

#include <unistd.h>

using namespace std::string_literals;
using namespace std::chrono_literals;

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::Optional;

TEST(DesktopEntry, ReadsTheEntryGroupWithLocalizedNameAndEscapes)
{
    constexpr std::string_view contents =
        "# comment\n[Desktop Entry]\nType=Application\nName=Text\\sEditor\n"
        "Name[de]=Texteditor\nName[fr_CA]=Éditeur\nIcon = org.example.Editor \n"
        "StartupWMClass=editor-main\n\n[Desktop Action new-window]\nName=New Window\n";
    EXPECT_THAT(parseDesktopEntry(contents, "org.example.Editor", "de_AT.UTF-8"),
                Optional(DesktopEntry{"org.example.Editor", "Texteditor", "org.example.Editor", "editor-main"}));
    EXPECT_THAT(parseDesktopEntry(contents, "e", "fr_CA@latin"), Optional(Field(&DesktopEntry::name, "Éditeur")));
    EXPECT_THAT(parseDesktopEntry(contents, "e", "C"), Optional(Field(&DesktopEntry::name, "Text Editor")));

    // Only visible applications with a name count.
    for (const char* invisible :
         {"[Desktop Entry]\nType=Link\nName=Site\n", "[Desktop Entry]\nType=Application\nName=A\nHidden=true\n", ""})
        EXPECT_EQ(parseDesktopEntry(invisible, "a", ""), std::nullopt) << invisible;
    EXPECT_THAT(parseDesktopEntry("[Desktop Entry]\r\nType=Application\r\nName=A\r\nNoDisplay=true\r\n", "a", ""),
                Optional(DesktopEntry{"a", "A", std::nullopt, std::nullopt}));

    // The command is the program that Exec runs.
    const std::pair<const char*, std::optional<std::string>> commands[] = {
        {"\"/opt/My Editor/editor\" --new", "editor"},
        {"env GDK_BACKEND=x11 LANG=C /usr/bin/gimp %U", "gimp"},
        {"", std::nullopt}};
    for (const auto& [exec, command] : commands)
        EXPECT_EQ(parseDesktopEntry(fmt::format("[Desktop Entry]\nType=Application\nName=A\nExec={}\n", exec), "a", "")
                      ->command,
                  command)
            << exec;
}

TEST(DesktopEntries, AnEarlierFolderWinsForAnIDAndWindowClassesFindTheirEntry)
{
    test::TemporaryFolder root;
    const auto home = root.path() / "home/applications", system = root.path() / "system/applications";
    // The user's folder hides or overrides some of the system's entries.
    fs::copy(HINTBOARD_SOURCE_DIR "/tests/linux/data/desktop-entries", root.path(), fs::copy_options::recursive);
    DesktopEntries entries({home, system}, "");

    EXPECT_THAT(entries.byID("org.example.Editor"), Optional(DesktopEntry{"org.example.Editor", "My Editor", {}, {}}));
    EXPECT_EQ(entries.byID("org.example.Viewer"), std::nullopt) << "hidden by the earlier folder";
    EXPECT_THAT(entries.byID("kde4-tool.desktop"), Optional(Field(&DesktopEntry::name, "Tool")));
    EXPECT_EQ(entries.byID("late"), std::nullopt);
    test::writeFile(home / "late.desktop", "[Desktop Entry]\nType=Application\nName=Late\n");
    EXPECT_THAT(entries.byID("late"), Optional(Field(&DesktopEntry::name, "Late"))) << "installed later";

    // StartupWMClass first, then the id, then the last part of a reverse-domain id; ASCII case ignored.
    EXPECT_THAT(entries.forWindowClass("featherpad", "FeatherPad"), Optional(Field(&DesktopEntry::id, "aaa-launcher")));
    EXPECT_THAT(entries.forWindowClass("mousepad", "Mousepad"),
                Optional(Field(&DesktopEntry::id, "org.xfce.mousepad")));
    EXPECT_THAT(entries.forWindowClass("", "MOUSEPAD"), Optional(Field(&DesktopEntry::id, "org.xfce.mousepad")));
    EXPECT_EQ(entries.forWindowClass("xterm", "XTerm"), std::nullopt);
}

TEST(ApplicationIdentity, DesktopFileOfTheLaunchedProcessOnly)
{
    const std::string launched = "HOME=/home/ana\0GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.xfce.mousepad"
                                 ".desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=4242\0LANG=de_AT.UTF-8\0"s;
    EXPECT_THAT(launchedDesktopFileID(launched, 4242), Optional("org.xfce.mousepad"s));
    // A program started from the launched one (a shell in a terminal) inherits the variables.
    EXPECT_EQ(launchedDesktopFileID(launched, 4300), std::nullopt);
    EXPECT_EQ(launchedDesktopFileID("GIO_LAUNCHED_DESKTOP_FILE=/tmp/tool\0"s, 7), std::nullopt);
    EXPECT_EQ(processIdentity(getpid()).processName, "tests_linux");
    EXPECT_EQ(processIdentity(-5).launchedDesktopFileID, std::nullopt);
}

TEST(ApplicationIdentity, UnitNamesOfDesktopLaunchersInTheSystemdHierarchy)
{
    // GNOME Shell, KDE Plasma (service and scope forms), Flatpak, escaped dashes, the older GNOME form.
    const std::pair<const char*, const char*> units[] = {
        {"app-gnome-org.gnome.TextEditor-1234.scope", "org.gnome.TextEditor"},
        {"app-org.kde.kwrite@0c5f0fbb21e54b1f9b4a3df3c1a4b8e2.service", "org.kde.kwrite"},
        {"app-flatpak-org.gnome.TextEditor-98765.scope", "org.gnome.TextEditor"},
        {"app-gnome-firefox\\x2desr-2231.scope", "firefox-esr"},
        {"gnome-launched-org.gnome.gedit.desktop-3120.scope", "org.gnome.gedit"},
    };
    for (const auto& [unit, id] : units)
        EXPECT_THAT(applicationIDFromUnitName(unit), Optional(std::string(id))) << unit;
    for (const char* unit : {"session-2.scope", "vte-spawn-0f8f8c1e.scope", "app-gnome-.scope", "app-a-b-c-d.scope",
                             "app-gnome-bad\\x2-12.scope", "app-org.gnome.Foo.slice", "app-org.kde.kwrite"})
        EXPECT_EQ(applicationIDFromUnitName(unit), std::nullopt) << unit;

    const std::string slice = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
    // Groups of the application's own below its unit.
    EXPECT_THAT(unitApplicationID(slice + "app-flatpak-org.gnome.TextEditor-98765.scope/main\n"),
                Optional("org.gnome.TextEditor"s));
    // The hybrid and legacy hierarchies name the units in the systemd line.
    EXPECT_THAT(
        unitApplicationID(
            "12:pids:/user.slice/user-1000.slice/user@1000.service\n1:name=systemd:/user.slice/"
            "user-1000.slice/user@1000.service/app.slice/app-org.kde.kwrite@0c5f0fbb21e54b1f9b4a3df3c1a4b8e2.service\n"
            "0::/\n"),
        Optional("org.kde.kwrite"s));
    // A shell started in a terminal, a login session, a container: none.
    EXPECT_EQ(unitApplicationID(slice + "app-org.gnome.Terminal.slice/vte-spawn-0f8f8c1e.scope\n"), std::nullopt);
    EXPECT_EQ(unitApplicationID("4:memory:/process_api/c90f961a\n9:name=systemd:/\n0::/\n"), std::nullopt);
}

TEST(XdgAutostart, EntryIsCreatedQuotedAndRemoved)
{
    test::TemporaryFolder folder;
    const auto entry = folder.path() / "autostart" / "hintboard.desktop";
    XdgAutostartLoginItem loginItem(entry, "/opt/hint board/bin/hintboard");
    std::string error;
    EXPECT_FALSE(loginItem.isEnabled());
    ASSERT_TRUE(loginItem.setEnabled(true, error)) << error;
    EXPECT_TRUE(loginItem.isEnabled());
    EXPECT_THAT(test::readFile(entry), HasSubstr("\nExec=\"/opt/hint board/bin/hintboard\"\n"));
    ASSERT_TRUE(loginItem.setEnabled(false, error)) << error;
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(loginItem.setEnabled(false, error)); // already gone

    // Characters Exec reserves are escaped; the desktop-entry reader takes the entry back.
    const auto text = XdgAutostartLoginItem::entryText("/home/a\"b/$x`y\\z");
    EXPECT_THAT(text, HasSubstr("Exec=\"/home/a\\\\\"b/\\\\$x\\\\`y\\\\\\\\z\"\n"));
    EXPECT_THAT(text, HasSubstr("TryExec=/home/a\"b/$x`y\\\\z\n"));

    XdgAutostartLoginItem homeless("autostart/hintboard.desktop", "/usr/bin/hintboard");
    EXPECT_FALSE(homeless.setEnabled(true, error));
    EXPECT_THAT(error, HasSubstr("No home folder is known"));
    EXPECT_FALSE(fs::exists("autostart"));
}

TEST(ProgramPaths, CommandAndTrayApplicationFindEachOtherInBothLayouts)
{
    test::TemporaryFolder folder;
    const auto build = folder.path() / "build", prefix = folder.path() / "usr";
    for (const auto& file : {build / "hintboard", build / "hintboard-tray", prefix / "bin/hintboard",
                             prefix / "libexec/hintboard/hintboard-tray", folder.path() / "alone/hintboard-tray"})
        test::writeFile(file, "");
    EXPECT_EQ(trayApplicationPath(build / "hintboard"), build / "hintboard-tray");
    EXPECT_EQ(launcherPath(build / "hintboard-tray"), build / "hintboard");
    EXPECT_EQ(trayApplicationPath(prefix / "bin/hintboard"), prefix / "libexec/hintboard/hintboard-tray");
    EXPECT_EQ(launcherPath(prefix / "libexec/hintboard/hintboard-tray"), prefix / "bin/hintboard");
    EXPECT_EQ(launcherPath(folder.path() / "alone/hintboard-tray"), folder.path() / "alone/hintboard-tray")
        << "a tray application without its command names itself";
}

TEST(PackageFiles, TheListNamesTheFileByAnyPathAndComesFromTheQueryWithinItsBounds)
{
    test::TemporaryFolder folder;
    const fs::path program = folder.path() / "usr/libexec/hintboard/hintboard-tray";
    const fs::path other = folder.path() / "usr/bin/hintboard-tray";
    test::writeFile(program, "");
    test::writeFile(other, "");
    // Another name for the folder, as /bin is for /usr/bin on a merged /usr.
    fs::create_directory_symlink(folder.path() / "usr", folder.path() / "alias");
    EXPECT_TRUE(listsFile("/.\n" + (folder.path() / "usr").string() + "\n" + program.string(), program));
    EXPECT_TRUE(listsFile((folder.path() / "alias/libexec/hintboard/hintboard-tray").string() + "\n", program));
    EXPECT_FALSE(listsFile(other.string() + "\n", program)) << "a different file of that name";
    EXPECT_FALSE(listsFile("", program));
    EXPECT_FALSE(listsFile(program.string() + "\n", fs::path()));

    const auto script = [&](const std::string& name, const std::string& body) {
        const fs::path path = folder.path() / name;
        test::writeFile(path, "#!/bin/sh\n" + body);
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    };
    EXPECT_EQ(dpkgFileList("hintboard", script("listing", "echo /.; echo \"$1 $2\"\n")), "/.\n--listfiles hintboard\n");
    EXPECT_EQ(dpkgFileList("hintboard", script("unknown", "echo /.; exit 1\n")), "") << "dpkg knows no such package";
    EXPECT_EQ(dpkgFileList("hintboard", script("slow", "echo /.; exec sleep 30\n"), 200ms), "");
    EXPECT_EQ(dpkgFileList("hintboard", script("large", "exec head -c 5000000 /dev/zero\n")), "");
    EXPECT_EQ(dpkgFileList("hintboard", (folder.path() / "missing").string()), "");

    test::ScopedEnvironment managed("HINTBOARD_PACKAGE_MANAGED", "1");
    EXPECT_TRUE(updatesFromPackageManager());
    test::ScopedEnvironment unset("HINTBOARD_PACKAGE_MANAGED", nullptr);
    EXPECT_FALSE(updatesFromPackageManager()) << "the test program is no package's";
}

TEST(QtPlatformChoice, WaylandRunsNativelyWhereItCanAndOnTheXDisplayOtherwiseAndTheDesktopIsKnown)
{
    EXPECT_EQ(
        chooseQtPlatform({.kind = SessionKind::x11, .waylandPluginInstalled = true, .hasXDisplay = true}).platform, "")
        << "X11 sessions keep Qt's own choice";
    GraphicalSession wayland{.kind = SessionKind::wayland,
                             .waylandPluginInstalled = true,
                             .waylandDisplayAnswers = true,
                             .hasXDisplay = true};
    EXPECT_EQ(chooseQtPlatform(wayland).platform, "wayland;xcb");
    wayland.hasXDisplay = false;
    EXPECT_EQ(chooseQtPlatform(wayland).platform, "wayland");
    wayland.requestedPlatform = "xcb";
    EXPECT_EQ(chooseQtPlatform(wayland).platform, "") << "the user's QT_QPA_PLATFORM stays";

    // Without the plugin, or without an answering compositor: XWayland, or nothing at all.
    for (auto [plugin, answers, problem] :
         {std::tuple(false, true, "package qt6-wayland"), std::tuple(true, false, "does not answer")}) {
        GraphicalSession broken{.kind = SessionKind::wayland,
                                .waylandPluginInstalled = plugin,
                                .waylandDisplayAnswers = answers,
                                .hasXDisplay = true};
        EXPECT_EQ(chooseQtPlatform(broken).platform, "xcb") << problem;
        EXPECT_THAT(chooseQtPlatform(broken).reason, HasSubstr(problem));
        broken.hasXDisplay = false;
        EXPECT_FALSE(chooseQtPlatform(broken).possible) << problem;
    }

    // The desktop: chosen by the session, else by the window manager.
    EXPECT_EQ(desktopNamed("ubuntu:GNOME", ""), Desktop::gnome);
    EXPECT_EQ(desktopNamed("", "Openbox"), Desktop::openbox);
    EXPECT_EQ(desktopNamed("i3", "i3"), Desktop::unknown);
}

TEST(GnomeShortcuts, DconfValuesOverSchemaDefaultsAndDisabledBindingsOff)
{
    // A private keyfile backend stands for dconf, set before GSettings is first used: one per
    // process, as GSettings keeps its backend.
    static const test::TemporaryFolder config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source || !g_settings_schema_source_lookup(source, "org.gnome.desktop.wm.keybindings", TRUE))
        GTEST_SKIP() << "GNOME's window-manager schema is not installed";

    GSettings* wm = g_settings_new("org.gnome.desktop.wm.keybindings");
    const char* close[] = {"<Super>q", "<Alt>F4", nullptr};
    const char* none[] = {nullptr};
    const char* unknown[] = {"<Hyper9>x", nullptr};
    g_settings_set_strv(wm, "close", close);
    g_settings_set_strv(wm, "minimize", none);
    g_settings_set_strv(wm, "maximize", unknown);
    g_settings_sync();
    g_object_unref(wm);

    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    const auto rows = test::groupRows(GnomeShortcuts(log).groups());
    EXPECT_THAT(rows, testing::Contains("Window Management: Close window=⌘Q"));
    EXPECT_THAT(rows, testing::Contains("Window Management: Minimize window=⌘H (off)"));
    EXPECT_THAT(rows, testing::Contains(HasSubstr("Maximize window=⌘↑ (off)")));
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), testing::Contains(HasSubstr("<Hyper9>x")));
}

} // namespace
} // namespace hb::linux_platform
