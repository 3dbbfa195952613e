// Applications on a Wayland compositor (weston, nested in the session's X
// display): the front application from AT-SPI window activations, and
// Hintboard's popup as a Wayland window there.
#include "accessible_tree.h"
#include "desktop_session.h"
#include "notification_server.h"
#include "tray_application.h"

#include "platform/fake/memory_log.h"
#include "platform/fake/virtual_runtime.h"
#include "platform/linux/atspi_workspace.h"
#include "settings/settings_keys.h"
#include "triggers/frontmost_app_monitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace hb::e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Field;
using ::testing::Optional;

class WaylandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session = &DesktopSession::shared();
        socket = "hintboard-wayland-" + std::to_string(getpid());
        // Without the on-screen keyboard that weston shows for text fields.
        const std::string config = session->folder() + "/weston.ini";
        std::ofstream(config) << "[input-method]\npath=\n";
        weston = session->launch({"weston", "--backend=x11-backend.so", "--socket=" + socket,
                                  "--width=" + std::to_string(outputWidth), "--height=" + std::to_string(outputHeight),
                                  "--idle-time=0", "--config=" + config});
        const auto socketPath = std::filesystem::path(std::getenv("XDG_RUNTIME_DIR")) / socket;
        compositorUp = weston > 0 && DesktopSession::waitUntil([&] { return std::filesystem::exists(socketPath); });
    }
    static void TearDownTestSuite()
    {
        if (weston > 0)
            session->stopApplication(weston);
    }
    void SetUp() override
    {
        if (!compositorUp)
            GTEST_SKIP() << "weston did not start (is the package installed?)";
    }

    // Runs the main queue until the workspace, or the monitor, has the process in front.
    template <typename Front>
    bool waitForFront(Front& front, pid_t pid)
    {
        return DesktopSession::waitUntil([&] {
            mainQueue.runMainQueue();
            std::optional<platform::RunningApplication> app;
            if constexpr (std::is_same_v<Front, FrontmostAppMonitor>)
                app = front.frontmostApp();
            else
                app = front.frontmostApplication();
            return app && app->pid == pid;
        }, std::chrono::seconds(20));
    }
    // What `hintboard ARGUMENTS` prints in the Wayland session.
    static std::string hintboard(const std::string& arguments)
    {
        return DesktopSession::commandOutput("WAYLAND_DISPLAY=" + socket + " " + HINTBOARD_EXECUTABLE + " " +
                                             arguments + " 2>/dev/null");
    }

    // Hintboard on the compositor (Qt chooses its Wayland platform by itself), its log
    // (without a journal, standard error) in the session folder under `logName`.
    static pid_t startOnCompositor(const std::string& logName, std::map<std::string, std::string> environment = {})
    {
        environment.emplace("WAYLAND_DISPLAY", socket);
        environment.emplace("QT_QPA_PLATFORM", "");
        return session->launch({"sh", "-c", "exec " HINTBOARD_EXECUTABLE " 2>" + session->folder() + "/" + logName},
                               environment);
    }
    static std::string logOf(const std::string& logName) { return DesktopSession::fileText(session->folder() + "/" + logName); }
    static bool toggle()
    {
        return DesktopSession::waitUntil([] { return hintboard("toggle >/dev/null && echo ok").starts_with("ok"); });
    }
    static void quit(pid_t instance)
    {
        EXPECT_EQ(hintboard("quit >/dev/null && echo ok"), "ok\n");
        EXPECT_TRUE(DesktopSession::waitUntil([&] { return !session->isRunning(instance); })) << "quit hung";
        session->stopApplication(instance);
    }
    // xdotool's input reaches weston through its X11 window, which this activates; its id.
    static std::string activateWeston()
    {
        std::string window;
        std::istringstream(DesktopSession::commandOutput(
            "xwininfo -root -tree | awk '/\"Weston Compositor/ { print $1; exit }'")) >> window;
        EXPECT_FALSE(window.empty());
        DesktopSession::commandOutput("xdotool windowactivate --sync " + window);
        return window;
    }

    static pid_t launchMousepad()
    {
        return session->launch({"mousepad", "--disable-server"}, {{"GDK_BACKEND", "wayland"}, {"WAYLAND_DISPLAY", socket}});
    }
    static pid_t launchFeatherPad()
    {
        return session->launch({"featherpad", "--standalone"},
                               {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", socket}});
    }

    static constexpr int outputWidth = 1024, outputHeight = 768;
    fake::VirtualRuntime mainQueue;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    static DesktopSession* session;
    static std::string socket;
    static pid_t weston;
    static bool compositorUp;
};

DesktopSession* WaylandTest::session = nullptr;
std::string WaylandTest::socket;
pid_t WaylandTest::weston = -1;
bool WaylandTest::compositorUp = false;

// The front application follows AT-SPI window activations, and the command reads it.
TEST_F(WaylandTest, FrontApplicationFollowsWindowActivationsAndTheCommandReadsIt)
{
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    ASSERT_TRUE(workspace.waitUntilReady());
    FrontmostAppMonitor monitor(workspace);
    std::vector<pid_t> changes;
    monitor.onAppChanged = [&](const platform::RunningApplication& app) { changes.push_back(app.pid); };
    const pid_t featherpad = launchFeatherPad();
    ASSERT_TRUE(waitForFront(monitor, featherpad));
    const pid_t mousepad = launchMousepad();
    ASSERT_TRUE(waitForFront(monitor, mousepad));
    // The menu bar appears a moment after the window.
    nlohmann::json printed;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        printed = nlohmann::json::parse(hintboard("shortcuts --front --json"), nullptr, false);
        return !printed.is_discarded() && !printed["sections"].empty();
    }, std::chrono::seconds(20)));
    EXPECT_EQ(printed["application"]["pid"], mousepad);
    EXPECT_EQ(printed["application"]["identifier"], "org.xfce.mousepad");
    EXPECT_THAT(hintboard("shortcuts --front"), HasSubstr("Find and Replace"));
    auto running = workspace.runningApplications();
    for (pid_t pid : {mousepad, featherpad})
        EXPECT_EQ(std::ranges::count(running, pid, &platform::RunningApplication::pid), 1) << pid;

    // Closing the window gives activation back to the first.
    session->stopApplication(mousepad);
    ASSERT_TRUE(waitForFront(monitor, featherpad));
    EXPECT_THAT(changes, ElementsAre(featherpad, mousepad, featherpad));
    for (const char* arguments : {"shortcuts --front --json", "shortcuts --app featherpad --json"}) {
        printed = nlohmann::json::parse(hintboard(arguments), nullptr, false);
        ASSERT_FALSE(printed.is_discarded()) << arguments;
        EXPECT_EQ(printed["application"]["pid"], featherpad) << arguments;
    }
    // A workspace started now finds the active window itself.
    linux_platform::AtspiWorkspace later(mainQueue, log);
    EXPECT_THAT(later.frontmostApplication(), Optional(Field(&platform::RunningApplication::pid, featherpad)));
    session->stopApplication(featherpad);
}

// A visible window of the process at least 200 by 100 pixels large.
bool hasLargeWindow(pid_t pid)
{
    std::istringstream ids(DesktopSession::commandOutput("xdotool search --onlyvisible --pid " + std::to_string(pid)));
    for (std::string id; ids >> id;) {
        int width = 0, height = 0;
        const std::string geometry = DesktopSession::commandOutput("xdotool getwindowgeometry --shell " + id);
        std::sscanf(geometry.c_str() + geometry.find("WIDTH="), "WIDTH=%d\nHEIGHT=%d", &width, &height);
        if (width >= 200 && height >= 100)
            return true;
    }
    return false;
}

// Names of a process's showing windows and elements, over AT-SPI.
bool showsName(pid_t pid, const std::function<bool(const std::string&)>& matches)
{
    return std::ranges::any_of(accessibleNames(pid), matches);
}
bool showsName(pid_t pid, const std::string& name)
{
    return showsName(pid, [&](const std::string& shown) { return shown == name; });
}
TEST_F(WaylandTest, PopupIsAWaylandWindowThatTakesActivationAndClosesWhenItLosesIt)
{
    // Mousepad fills weston's work area, so that a click beside the popup lands in it.
    const std::string keyfile = std::string(std::getenv("XDG_CONFIG_HOME")) + "/glib-2.0/settings/keyfile";
    std::filesystem::create_directories(std::filesystem::path(keyfile).parent_path());
    std::ofstream(keyfile) << "[org/xfce/mousepad/state/window]\nmaximized=true\n";
    const pid_t mousepad = session->launch({"mousepad", "--disable-server"}, {{"GDK_BACKEND", "wayland"},
                                                                              {"WAYLAND_DISPLAY", socket},
                                                                              {"GSETTINGS_BACKEND", "keyfile"}});
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return hintboard("shortcuts --front").find("Find") != std::string::npos; },
                                          std::chrono::seconds(20)));
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    ASSERT_TRUE(waitForFront(workspace, mousepad));

    markWizardSeen();
    const pid_t instance = startOnCompositor("hintboard-on-wayland.log");
    // The rows are drawn; the header and the search field are the popup's accessible parts.
    const auto popupShown = [&] { return showsName(instance, "Filter"); };
    const auto popupHidden = [&] { return !showsName(instance, "Filter"); };
    // The header counts the rows that match the search ("1 of 36").
    const auto filteredTo = [&](const std::string& matches) {
        return showsName(instance, [&](const std::string& name) { return name.starts_with(matches + " of "); });
    };
    const auto unfiltered = [&] { return showsName(instance, [](const std::string& name) { return name.ends_with(" shortcuts"); }); };
    const auto run = [](const std::string& command) { return DesktopSession::commandOutput(command); };
    const std::string westonWindow = activateWeston();

    ASSERT_TRUE(toggle());
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown, std::chrono::seconds(15)))
        << "the popup did not open; names: " << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(waitForFront(workspace, instance)) << "the compositor did not activate the popup";
    EXPECT_FALSE(hasLargeWindow(instance)) << "the popup is an X window";
    EXPECT_TRUE(unfiltered());
    // Looked at: the popup inside weston's window, over mousepad.
    run("import -window root popup-on-wayland.png");

    run("xdotool type --delay 60 'new window'");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return filteredTo("1"); }))
        << "typing did not filter the rows: " << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(popupShown());
    // The first Escape clears the search, the second closes; activation returns to mousepad.
    run("xdotool key --delay 150 Escape");
    EXPECT_TRUE(DesktopSession::waitUntil(unfiltered)) << "Escape did not clear the search";
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden)) << "Escape left the popup open";
    EXPECT_TRUE(waitForFront(workspace, mousepad));

    // A click into mousepad activates it, which closes the popup. The popup lies
    // somewhere in weston's work area and is narrower, so one of its bottom corners is beside it.
    ASSERT_TRUE(toggle());
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown));
    ASSERT_TRUE(waitForFront(workspace, instance));
    int left = 0, top = 0;
    std::istringstream(run("xwininfo -id " + westonWindow +
                           " | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print x, y }'")) >>
        left >> top;
    int screenWidth = 0, screenHeight = 0;
    std::istringstream(run("xdotool getdisplaygeometry")) >> screenWidth >> screenHeight;
    const auto clickAt = [&](int x) {
        // Weston's X11 backend moves its pointer by the motion since the pointer
        // entered its window: enter it from outside, then click.
        run("xdotool mousemove " + std::to_string(screenWidth - 1) + " " + std::to_string(screenHeight - 1) +
            " sleep 0.2 mousemove " + std::to_string(left + x) + " " + std::to_string(top + outputHeight - 4) +
            " sleep 0.2 click 1");
    };
    clickAt(4);
    if (!DesktopSession::waitUntil(popupHidden, std::chrono::seconds(3)))
        clickAt(outputWidth - 4);
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden)) << "activating mousepad left the popup open";
    EXPECT_TRUE(waitForFront(workspace, mousepad));

    const std::string launchLog = logOf("hintboard-on-wayland.log");
    EXPECT_THAT(launchLog, HasSubstr("Qt platform in use: wayland"));
    EXPECT_THAT(launchLog, HasSubstr("no global input monitors"));
    EXPECT_THAT(launchLog, HasSubstr("pid " + std::to_string(mousepad) + ": 6 menus"));
    quit(instance);
    session->stopApplication(mousepad);
}

TEST_F(WaylandTest, WithoutAnAnsweringCompositorThePopupIsAnActivatedWindowOnTheXDisplay)
{
    markWizardSeen();
    const pid_t instance = startOnCompositor("hintboard-without-compositor.log", {{"WAYLAND_DISPLAY", "no-compositor-here"}});
    ASSERT_TRUE(toggle());
    // The window manager manages it and makes it the active window, so it gets the keys.
    unsigned long popup = 0;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (popup = DesktopSession::managedWindowOf(instance)) != 0; },
                                          std::chrono::seconds(20)));
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", popup);
    EXPECT_TRUE(DesktopSession::waitUntil(
        [&] { return DesktopSession::commandOutput("xprop -root _NET_ACTIVE_WINDOW").find(hex) != std::string::npos; }));
    DesktopSession::commandOutput("import -window root popup-on-xwayland.png");
    DesktopSession::commandOutput("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !hasLargeWindow(instance); })) << "Escape left it open";
    EXPECT_THAT(logOf("hintboard-without-compositor.log"),
                HasSubstr("compositor does not answer: windows go through the X display (XWayland); Qt platform in use: xcb"));
    quit(instance);
}

// The desktop entry as installed, naming the command under test.
std::string installedDesktopEntry(const std::string& folder)
{
    std::string entry = DesktopSession::fileText(HINTBOARD_SOURCE_DIR "/data/org.mirelo.Hintboard.desktop.in");
    for (std::size_t at; (at = entry.find("@HINTBOARD_BINARY@")) != std::string::npos;)
        entry.replace(at, std::strlen("@HINTBOARD_BINARY@"), HINTBOARD_EXECUTABLE);
    const std::string path = folder + "/org.mirelo.Hintboard.desktop";
    std::ofstream(path) << entry;
    return path;
}

// The Exec line of a desktop entry's action, without its line end.
std::string actionCommand(const std::string& entryPath, const std::string& action)
{
    std::string line = DesktopSession::commandOutput("sed -n '/^\\[Desktop Action " + action + "\\]/,/^\\[/s/^Exec=//p' " +
                                                     entryPath);
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

TEST_F(WaylandTest, WithoutATrayTheUserIsToldOnceAndTheDesktopEntryActionsReachTheProgram)
{
    NotificationServer notifications;
    ASSERT_TRUE(notifications.owned());
    const std::string entry = installedDesktopEntry(session->folder());
    EXPECT_EQ(DesktopSession::commandOutput("desktop-file-validate " + entry + " 2>&1"), "");
    EXPECT_EQ(DesktopSession::commandOutput("grep '^Actions=' " + entry), "Actions=Settings;Quiz;Quit;\n");

    const std::string config = freshConfigFolder("without-tray");
    seedSettings(config, {keys::didShowOnboardingWizard});
    // The compositor's desktop shows no tray icons.
    const pid_t instance = startOnCompositor("hintboard-without-tray.log", {{"XDG_CONFIG_HOME", config}});
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return !notifications.received().empty(); }, std::chrono::seconds(20)))
        << logOf("hintboard-without-tray.log");
    const auto notice = notifications.received().front();
    EXPECT_EQ(notice.application, "Hintboard");
    EXPECT_EQ(notice.title, "Hintboard runs without a tray icon");
    EXPECT_THAT(notice.text, HasSubstr("“hintboard toggle”"));
    EXPECT_THAT(notice.text, HasSubstr("“hintboard settings”"));

    // The launcher's "Settings" opens the settings window, which leads with the command to bind.
    const std::string settings = actionCommand(entry, "Settings");
    ASSERT_EQ(settings, std::string(HINTBOARD_EXECUTABLE) + " settings");
    EXPECT_EQ(DesktopSession::commandOutput("WAYLAND_DISPLAY=" + socket + " " + settings + " && echo ok"), "ok\n");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return showsName(instance, "Copy Command"); }, std::chrono::seconds(15)))
        << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(showsName(instance, "Command to bind"));
    EXPECT_FALSE(showsName(instance, [](const std::string& name) { return name.starts_with("Record Shortcut"); }));
    EXPECT_EQ(notifications.received().size(), 1u) << "told more than once";

    const std::string quitCommand = actionCommand(entry, "Quit");
    EXPECT_EQ(DesktopSession::commandOutput("WAYLAND_DISPLAY=" + socket + " " + quitCommand + " && echo ok"), "ok\n");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !session->isRunning(instance); })) << "quit hung";
    session->stopApplication(instance);
}

TEST_F(WaylandTest, ARowThatCannotRunKeepsThePopupOpenAndSaysWhy)
{
    const std::string config = freshConfigFolder("rows-that-cannot-run");
    seedSettings(config, {keys::didShowOnboardingWizard});
    const pid_t editor = session->launch({"gnome-text-editor", "--standalone"},
                                         {{"GDK_BACKEND", "wayland"}, {"WAYLAND_DISPLAY", socket}});
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    ASSERT_TRUE(waitForFront(workspace, editor));
    ASSERT_TRUE(DesktopSession::waitUntil(
        [&] { return hintboard("shortcuts --front").find("Select all") != std::string::npos; }, std::chrono::seconds(20)));
    const pid_t instance = startOnCompositor("hintboard-rows-that-cannot-run.log", {{"XDG_CONFIG_HOME", config}});
    const auto run = [](const std::string& command) { return DesktopSession::commandOutput(command); };
    activateWeston();
    const auto popupShown = [&] { return showsName(instance, "Filter"); };
    const auto noticeStarting = [&](const std::string& start) {
        return showsName(instance, [&](const std::string& name) { return name.starts_with(start); });
    };

    // A row of gnome-text-editor's shortcuts window that no exported action runs.
    ASSERT_TRUE(toggle());
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown, std::chrono::seconds(15)));
    ASSERT_TRUE(waitForFront(workspace, instance));
    run("xdotool type --delay 60 'select all'");
    // Said with the row, before it is chosen.
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        const auto row = findAccessible(instance, "Select all");
        return row && row->description.starts_with("Press Ctrl+A yourself");
    })) << findAccessible(instance, "Select all").value_or(AccessibleElement{}).description;
    run("xdotool key --delay 150 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return noticeStarting("Press Ctrl+A yourself"); }))
        << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(popupShown()) << "the popup closed";
    run("import -window root press-yourself-on-wayland.png");
    run("xdotool key --delay 150 Escape Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !popupShown(); }));
    quit(instance);
    session->stopApplication(editor);
}

TEST(AtspiWorkspaceTest, NoAccessibilityBusGivesNoApplicationAtOnce)
{
    fake::VirtualRuntime mainQueue;
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    const auto start = std::chrono::steady_clock::now();
    linux_platform::AtspiWorkspace workspace(mainQueue, log, "unix:path=/nonexistent/bus");
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    EXPECT_TRUE(workspace.runningApplications().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_THAT(sink.messages(platform::LogCategory::accessibility), Contains(HasSubstr("No accessibility bus")));
}

} // namespace
} // namespace hb::e2e
