// Two menu bars of other kinds: GTK 4's demo application, whose GtkApplication
// exports its menu model with accelerators (its accessible menu bar holds only
// labels until a menu opens), and Firefox, whose menu bar sits inside a tool
// bar and whose menus are filled only once they have been opened (they are
// read from its archive instead).
#include "accessible_tree.h"
#include "desktop_session.h"
#include "menu_rows.h"

#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "platform/fake/memory_log.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/exported_menu_accessibility.h"
#include "platform/linux/mozilla_menu_accessibility.h"

#include <nlohmann/json.hpp>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace hb {
namespace {

using e2e::DesktopSession;
using testing::Contains;
using testing::IsSupersetOf;
using testing::Not;
using testing::StartsWith;

std::string shortcutsCommand(const std::string& arguments)
{
    return DesktopSession::commandOutput(std::string(HINTBOARD_EXECUTABLE) + " shortcuts " + arguments +
                                         " 2>/dev/null");
}

class OtherMenuBars : public testing::Test {
protected:
    static void SetUpTestSuite() { session = &DesktopSession::shared(); }
    void TearDown() override
    {
        if (pid <= 0)
            return;
        // Firefox runs helper processes below it; they end with it, or are ended here.
        const auto helpers = DesktopSession::descendantsOf(pid);
        session->stopApplication(pid);
        DesktopSession::waitUntil([&] {
            return std::all_of(helpers.begin(), helpers.end(), [](pid_t helper) { return kill(helper, 0) != 0; });
        });
        for (pid_t helper : helpers)
            if (kill(helper, 0) == 0)
                kill(helper, SIGKILL);
    }

    // Starts the program and waits for its menu bar; false (and the test skips) when it is not installed.
    bool start(const std::string& program, const std::vector<std::string>& arguments, std::chrono::seconds timeout)
    {
        if (access(program.c_str(), X_OK) != 0)
            return false;
        std::vector<std::string> command{program.substr(program.rfind('/') + 1)};
        command.insert(command.end(), arguments.begin(), arguments.end());
        pid = session->launch(command);
        EXPECT_GT(pid, 0) << program;
        EXPECT_TRUE(DesktopSession::waitForMenuBar(accessibility, pid, timeout)) << program << " shows no menu bar";
        return true;
    }

    std::vector<MenuSection> read(bool includeAll = false)
    {
        return reader.readMenuBar(MenuReadOptions{.pid = pid, .includeAll = includeAll});
    }

    static inline DesktopSession* session = nullptr;
    pid_t pid = -1;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
    linux_platform::AtspiAccessibility atspi{log};
    linux_platform::ExportedMenuAccessibility exported{log};
    linux_platform::MenuExportingAccessibility accessibility{exported, atspi, SessionKind::x11};
    MenuBarReader reader{accessibility, log};
};

TEST_F(OtherMenuBars, Gtk4DemoReadsItsExportedMenusAndPressesAnItem)
{
    if (!start("/usr/bin/gtk4-demo-application", {}, std::chrono::seconds(20)))
        GTEST_SKIP() << "gtk-4-examples is not installed";
    // Its accessible menu bar comes before the window names its exported menus.
    // Each try is a read of its own: a request at start may time out.
    using State = linux_platform::ExportedMenuAccessibility::MenuBarState;
    State state = State::none;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        exported.setMessagingTimeout(exported.applicationElement(pid), std::chrono::seconds(1));
        return (state = exported.readMenuBar(pid).state) == State::read;
    }, std::chrono::seconds(30)))
        << "state " << int(state) << "; managed: " << DesktopSession::commandOutput("xprop -root _NET_CLIENT_LIST 2>&1")
        << DesktopSession::commandOutput(fmt::format(
               "for w in $(xdotool search --pid {} 2>/dev/null); do echo $w; xprop -id $w | grep _GTK; done", pid));

    const auto sections = read();
    const auto rows = e2e::rowTexts(sections);
    // As the open menus show them; Color and Shape each name a key per choice (the demo gives ⌃S and ⌃R twice).
    EXPECT_THAT(rows, IsSupersetOf({"Application/New=⌃N", "Application/Save=⌃S", "Application/Save As...=⌃⇧S",
                                    "Application/Quit=⌃Q", "File/Bold=⌃⇧B", "File/Color/Red=⌃R",
                                    "File/Color/Green=⌃G", "File/Color/Blue=⌃B", "File/Shape/Square=⌃S",
                                    "File/Shape/Rectangle=⌃R", "File/Shape/Oval=⌃O", "Help/About=⌃A"}))
        << fmt::format("{}", fmt::join(rows, "\n"));
    EXPECT_EQ(rows.size(), 12u) << fmt::format("{}", fmt::join(rows, "\n"));
    // Items without a key come with --all only.
    EXPECT_THAT(rows, Not(Contains(StartsWith("Application/Open="))));
    EXPECT_THAT(e2e::rowTexts(read(true)), IsSupersetOf({"Application/Open=", "File/Prefer Dark Theme="}));

    // The command finds it by its full program name (longer than a process name).
    EXPECT_THAT(shortcutsCommand("--app gtk4-demo-application"),
                StartsWith(fmt::format("gtk4-demo-application (org.gtk.Demo4.App, pid {})\n", pid)));

    // Help › About is a window action: its dialog opens.
    const auto about = e2e::findRow(sections, "Help", "About");
    ASSERT_TRUE(about);
    EXPECT_THAT(DesktopSession::windowTitles(pid), Not(testing::HasSubstr("About")));
    EXPECT_TRUE(press(accessibility, log, *about));
    EXPECT_TRUE(
        DesktopSession::waitUntil([&] { return DesktopSession::windowTitles(pid).find("About") != std::string::npos; }))
        << DesktopSession::windowTitles(pid);
}

TEST_F(OtherMenuBars, FirefoxMenusInsideItsToolBarReadOnceOpened)
{
    const std::string profile = session->folder() + "/firefox-profile";
    std::filesystem::create_directories(profile);
    if (!start("/usr/bin/firefox-esr", {"--profile", profile, "--no-remote", "about:blank"}, std::chrono::seconds(60)))
        GTEST_SKIP() << "firefox-esr is not installed";
    unsigned long window = 0;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (window = DesktopSession::managedWindowOf(pid)) != 0; },
                                          std::chrono::seconds(30)))
        << "managed: " << DesktopSession::commandOutput("xprop -root _NET_CLIENT_LIST 2>&1")
        << "firefox: " << DesktopSession::commandOutput(fmt::format("xdotool search --pid {} 2>&1", pid));

    // Each menu fills when it opens and keeps its items once closed.
    for (const char* key : {"alt+f", "alt+e"})
        DesktopSession::commandOutput(
            fmt::format("xdotool windowactivate --sync {} key {} sleep 1 key Escape sleep 0.3 2>/dev/null", window, key));
    std::vector<std::string> rows;
    DesktopSession::waitUntil([&] {
        rows = e2e::rowTexts(read());
        return std::find(rows.begin(), rows.end(), "Edit/Find in Page…=⌃F") != rows.end();
    });
    EXPECT_THAT(rows, IsSupersetOf({"File/New Tab=⌃T", "File/New Window=⌃N", "File/New Private Window=⌃⇧P",
                                    "File/Open File…=⌃O", "File/Close Tab=⌃W", "File/Close Window=⌃⇧W",
                                    "File/Save Page As…=⌃S", "File/Print…=⌃P", "File/Quit=⌃Q", "Edit/Undo=⌃Z",
                                    "Edit/Redo=⌃⇧Z", "Edit/Paste=⌃V", "Edit/Select All=⌃A",
                                    "Edit/Find in Page…=⌃F", "Edit/Find Again=⌃G"}))
        << fmt::format("{}", fmt::join(rows, "\n"));
    // Mnemonics are no keys: such items come with --all only.
    EXPECT_THAT(rows, Not(Contains(StartsWith("File/Email Link…="))));
    EXPECT_THAT(e2e::rowTexts(read(true)), IsSupersetOf({"File/Email Link…=", "File/Work Offline=", "Edit/Settings="}));

    EXPECT_THAT(shortcutsCommand("--app firefox-esr"),
                StartsWith(fmt::format("Firefox ESR (firefox-esr, pid {})\n", pid)));
}

TEST_F(OtherMenuBars, FirefoxMenusComeFromItsArchiveAndTheirRowsPressTheirKeys)
{
    const std::string profile = session->folder() + "/firefox-archive-profile";
    std::filesystem::create_directories(profile);
    if (!start("/usr/bin/firefox-esr", {"--profile", profile, "--no-remote", "about:blank"}, std::chrono::seconds(60)))
        GTEST_SKIP() << "firefox-esr is not installed";
    unsigned long window = 0;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (window = DesktopSession::managedWindowOf(pid)) != 0; },
                                          std::chrono::seconds(30)));

    // No menu has been opened: the command lists them all the same.
    const auto listed = nlohmann::json::parse(shortcutsCommand("--app firefox-esr --json"), nullptr, false);
    ASSERT_TRUE(listed.is_object()) << shortcutsCommand("--app firefox-esr");
    std::map<std::string, std::string> labels;
    std::size_t withKeys = 0;
    for (const auto& section : listed["sections"])
        for (const auto& group : section["groups"])
            for (const auto& row : group["rows"])
                if (!row["keys"].get<std::string>().empty()) {
                    ++withKeys;
                    labels.emplace(section["title"].get<std::string>() + "/" + row["title"].get<std::string>(),
                                   row["label"].get<std::string>());
                }
    EXPECT_GE(withKeys, 40u) << listed.dump(1);
    EXPECT_EQ(labels["File/New Tab"], "Ctrl+T");
    EXPECT_EQ(labels["File/New Window"], "Ctrl+N");
    EXPECT_EQ(labels["File/Quit"], "Ctrl+Q");
    EXPECT_EQ(labels["Edit/Undo"], "Ctrl+Z");
    EXPECT_EQ(labels["Tools/Downloads"], "Ctrl+Shift+Y");
    // --verbose names where the rows came from.
    EXPECT_THAT(DesktopSession::commandOutput(std::string(HINTBOARD_EXECUTABLE) +
                                              " shortcuts --app firefox-esr --verbose 2>&1 >/dev/null"),
                testing::HasSubstr("browser.xhtml in /usr/lib/firefox-esr/browser/omni.ja (en-US)"));

    // New Tab presses Ctrl+T in Firefox's window: one more tab opens.
    linux_platform::MozillaMenuSource source(log);
    linux_platform::ShortcutRunner runner(log, SessionKind::x11);
    linux_platform::MozillaMenuAccessibility mozilla(accessibility, source, runner);
    const MenuBarReader archiveReader(mozilla, log);
    const auto newTab = e2e::findRow(archiveReader.readMenuBar(MenuReadOptions{.pid = pid}), "File", "New Tab");
    ASSERT_TRUE(newTab);
    auto tabCount = [&] {
        const auto strip = e2e::accessibleDescendantsOf(pid, "page tab list");
        return std::count_if(strip.begin(), strip.end(), [](const auto& e) { return e.role == "page tab"; });
    };
    const auto tabsBefore = tabCount();
    EXPECT_GT(tabsBefore, 0);
    EXPECT_TRUE(press(mozilla, log, *newTab));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return tabCount() == tabsBefore + 1; }))
        << tabsBefore << " tabs before, " << tabCount() << " after";
}

} // namespace
} // namespace hb
