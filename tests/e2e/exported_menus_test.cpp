#ifdef HINTBOARD_EXPORTED_MENUS_APP

#include "desktop_session.h"
#include "menu_rows.h"

#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "linux/exported_menu_accessibility.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace hb::e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

const Shortcut* rowTitled(const std::vector<MenuSection>& sections, std::string_view title)
{
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.shortcuts)
                if (row.title == title)
                    return &row;
    return nullptr;
}

// Starts a test application without its AT-SPI bridge, so that only its
// exported menus can be read; it notes its actions in `actionsFile`.
pid_t launchWithoutAtspi(DesktopSession& session, const std::string& program, const std::string& actionsFile)
{
    // Launched by name: the session names its log after the program.
    const std::string folder = program.substr(0, program.rfind('/'));
    setenv("PATH", (folder + ":" + std::getenv("PATH")).c_str(), 1);
    const pid_t pid = session.launch({program.substr(folder.size() + 1)},
                                     {{"NO_AT_BRIDGE", "1"}, {"HINTBOARD_ACTIONS_FILE", actionsFile}});
    DesktopSession::waitUntil([pid] { return DesktopSession::managedWindowOf(pid) != 0; });
    return pid;
}

class ExportedMenus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session = &DesktopSession::shared();
        actionsFile = session->folder() + "/exported-menu-actions.txt";
        app = launchWithoutAtspi(*session, HINTBOARD_EXPORTED_MENUS_APP, actionsFile);
    }
    static void TearDownTestSuite() { session->stopApplication(app); }

    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    linux_platform::AtspiAccessibility atspi{log};
    linux_platform::ExportedMenuAccessibility exported{log};
    linux_platform::MenuExportingAccessibility accessibility{exported, atspi, SessionKind::x11};
    MenuBarReader reader{accessibility, log};

    static DesktopSession* session;
    static std::string actionsFile;
    static pid_t app;
};
DesktopSession* ExportedMenus::session = nullptr;
std::string ExportedMenus::actionsFile;
pid_t ExportedMenus::app = -1;

TEST_F(ExportedMenus, ShortcutsCommandListsTheExportedMenuBar)
{
    ASSERT_NE(DesktopSession::managedWindowOf(app), 0u);
    const auto listed = jsonRows(DesktopSession::commandOutput(std::string(HINTBOARD_EXECUTABLE) +
                                                               " shortcuts --json --all --pid " + std::to_string(app)));
    std::vector<std::string> menus;
    for (const auto& row : listed)
        if (menus.empty() || menus.back() != row.menu)
            menus.push_back(row.menu);
    const auto rows = rowTexts(listed);
    EXPECT_THAT(menus, ElementsAre("Application", "File", "View", "Help"));
    EXPECT_THAT(rows, IsSupersetOf({"Application/Preferences=⌃,", "File/New=⌃N", "File/Open…=⌃O", "File/Save As…=⌃⇧S",
                                    "File/Quit=⌃Q", "File/Open Recent/first.txt=", "File/Open Recent/second.txt=⌃2",
                                    "View/Reload=F5", "View/Zoom/Zoom In=⌃+", "View/Zoom/Reset Zoom=⌃0", "Help/About="}));
    EXPECT_THAT(rows, Not(Contains(HasSubstr("Hidden"))));  // hidden while its action is missing
}

TEST_F(ExportedMenus, ReaderSeesSectionsAndPressesThroughTheActions)
{
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = app});
    ASSERT_EQ(sections.size(), 3u);  // Help has no shortcut
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), Contains(HasSubstr("exported menus of :")));
    // File: New, Open…, a separator, Save As…, a separator, Quit; Open Recent as a group.
    std::vector<std::string> file;
    for (const auto& row : sections[1].groups.front().shortcuts)
        file.push_back(row.isSeparator ? "-" : row.title);
    EXPECT_THAT(file, ElementsAre("New", "Open…", "-", "Save As…", "-", "Quit"));

    for (const auto* title : {"Reload", "second.txt", "Preferences"}) {
        const auto* row = rowTitled(sections, title);
        ASSERT_NE(row, nullptr) << title;
        EXPECT_TRUE(press(accessibility, log, *row)) << title;
    }
    const auto* locked = rowTitled(sections, "Locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_FALSE(press(accessibility, log, *locked));  // its action is disabled
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return DesktopSession::fileText(actionsFile) == "reload\nrecent second\npreferences\n"; }))
        << DesktopSession::fileText(actionsFile);
}

TEST_F(ExportedMenus, StoppedApplicationIsNotAnsweringAndNotReadOverAtspi)
{
    ASSERT_FALSE(reader.readMenuBar(MenuReadOptions{.pid = app}).empty());
    kill(app, SIGSTOP);
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = app});
    kill(app, SIGCONT);
    EXPECT_TRUE(sections.empty());
    // One request timed out; AT-SPI was not asked to wait again.
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper),
                Contains(HasSubstr("does not answer requests for its exported menus")));
    EXPECT_FALSE(reader.readMenuBar(MenuReadOptions{.pid = app}).empty()) << "answers again after it resumed";
}

// KDE's global menu form: a dbusmenu tree named by _KDE_NET_WM_APPMENU_*.
TEST_F(ExportedMenus, DbusMenuTreeReadsAndClicks)
{
    const std::string clicks = session->folder() + "/dbus-menu-actions.txt";
    const pid_t kde = launchWithoutAtspi(*session, HINTBOARD_DBUS_MENU_APP, clicks);
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = kde});
    std::vector<std::string> rows;
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.shortcuts)
                rows.push_back(row.isSeparator ? "-" : section.title + "/" + row.title + "=" + row.keys);
    EXPECT_THAT(rows, ElementsAre("File/New=⌃N", "-", "File/Save As…=⌃⇧S", "File/first.txt=⌃1", "Edit/Undo=⌃Z",
                                  "Edit/Locked=⌃L", "Edit/Reload=F5"));
    const auto* undo = rowTitled(sections, "Undo");
    const auto* locked = rowTitled(sections, "Locked");
    ASSERT_TRUE(undo && locked);
    EXPECT_TRUE(press(accessibility, log, *undo));
    EXPECT_FALSE(press(accessibility, log, *locked));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return DesktopSession::fileText(clicks) == "clicked _Undo\n"; })) << DesktopSession::fileText(clicks);
    session->stopApplication(kde);
}

// A GTK application that exports no menus: its "Open…" runs a file chooser in
// a nested main loop. Pressed inside a request of ours, the application cannot
// answer until the dialog closes, and the keys typed into the dialog can block
// its accessibility bridge for good.
TEST_F(ExportedMenus, PlainGtkMenuItemWhoseDialogTakesKeysLeavesTheApplicationAnswering)
{
    const pid_t plain = session->launch({HINTBOARD_EXPORTED_MENUS_APP}, {{"HINTBOARD_PLAIN_MENU_BAR", "1"}});
    ASSERT_TRUE(DesktopSession::waitForMenuBar(accessibility, plain));
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = plain});
    const auto* open = rowTitled(sections, "Open…");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->keys, "⌃O");
    const auto dialogShown = [&] { return DesktopSession::windowTitles(plain).find("Open File") != std::string::npos; };
    EXPECT_TRUE(press(accessibility, log, *open));
    EXPECT_TRUE(DesktopSession::waitUntil(dialogShown)) << DesktopSession::windowTitles(plain);
    EXPECT_THAT(sink.messages(platform::LogCategory::accessibility), Contains(HasSubstr("pressing <Primary>o")));

    DesktopSession::commandOutput("xdotool key q");  // opens the dialog's file name entry
    linux_platform::AtspiAccessibility fresh(log);
    const auto start = std::chrono::steady_clock::now();
    const auto menuBar = platform::readElement(fresh, fresh.applicationElement(plain), platform::ax::menuBar);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(menuBar) << "the application does not answer accessibility requests";
    // The first Escape may only close the file name's completions.
    DesktopSession::commandOutput("xdotool key --delay 100 Escape Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !dialogShown(); }, std::chrono::seconds(2)));
    session->stopApplication(plain);
}


// GTK 4's demo application: its GtkApplication exports its menu model with
// accelerators; its accessible menu bar holds only labels until a menu opens.
TEST_F(ExportedMenus, Gtk4DemoReadsItsExportedMenusAndPressesAnItem)
{
    if (access("/usr/bin/gtk4-demo-application", X_OK) != 0)
        GTEST_SKIP() << "gtk-4-examples is not installed";
    const pid_t demo = session->launch({"gtk4-demo-application"});
    ASSERT_TRUE(DesktopSession::waitForMenuBar(accessibility, demo)) << "no menu bar";
    // Its accessible menu bar comes before the window names its exported menus.
    // Each try is a read of its own: a request at start may time out.
    using State = linux_platform::ExportedMenuAccessibility::MenuBarState;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        exported.setMessagingTimeout(exported.applicationElement(demo), std::chrono::seconds(1));
        return exported.readMenuBar(demo).state == State::read;
    }, std::chrono::seconds(30)));

    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = demo});
    // As the open menus show them; Color and Shape each name a key per choice (the demo gives ⌃S and ⌃R twice).
    EXPECT_THAT(rowTexts(sections),
                testing::UnorderedElementsAre("Application/New=⌃N", "Application/Save=⌃S", "Application/Save As...=⌃⇧S",
                            "Application/Quit=⌃Q", "File/Bold=⌃⇧B", "File/Color/Red=⌃R", "File/Color/Green=⌃G",
                            "File/Color/Blue=⌃B", "File/Shape/Square=⌃S", "File/Shape/Rectangle=⌃R",
                            "File/Shape/Oval=⌃O", "Help/About=⌃A"));
    // Items without a key come with every item only.
    EXPECT_THAT(rowTexts(reader.readMenuBar(MenuReadOptions{.pid = demo, .includeAll = true})),
                IsSupersetOf({"Application/Open=", "File/Prefer Dark Theme="}));

    // The command finds it by its full program name (longer than a process name).
    EXPECT_THAT(DesktopSession::commandOutput(HINTBOARD_EXECUTABLE " shortcuts --app gtk4-demo-application 2>/dev/null"),
                testing::StartsWith("gtk4-demo-application (org.gtk.Demo4.App, pid " + std::to_string(demo) + ")\n"));

    // Help › About is a window action: its dialog opens.
    EXPECT_THAT(DesktopSession::windowTitles(demo), Not(HasSubstr("About")));
    const auto* about = rowTitled(sections, "About");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(press(accessibility, log, *about));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return DesktopSession::windowTitles(demo).find("About") != std::string::npos; }))
        << DesktopSession::windowTitles(demo);
    session->stopApplication(demo);
}

} // namespace
} // namespace hb::e2e

#endif
