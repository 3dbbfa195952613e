// Applications on a Wayland compositor (weston, nested in the session's X
// display): the front application from AT-SPI window activations, and
// Hintboard there without a tray, its popup a Wayland window; without an
// answering compositor, an X window.
#include "accessible_tree.h"
#include "bus_service.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "fake/virtual_runtime.h"
#include "linux/atspi_workspace.h"
#include "settings/settings_keys.h"
#include "triggers/frontmost_app_monitor.h"

#include <fmt/format.h>
#include <gio/gio.h>
#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace hb::e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::HasSubstr;
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
        return DesktopSession::waitUntil(
            [&] {
                mainQueue.runMainQueue();
                std::optional<platform::RunningApplication> app;
                if constexpr (std::is_same_v<Front, FrontmostAppMonitor>)
                    return (app = front.frontmostApp()) && app->pid == pid;
                else
                    return (app = front.frontmostApplication()) && app->pid == pid;
            },
            std::chrono::seconds(20));
    }
    // `hintboard ARGUMENTS` in the Wayland session.
    static CommandRun hintboard(const std::string& arguments)
    {
        return hintboardCommand(arguments, "WAYLAND_DISPLAY=" + socket);
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
    static std::string logOf(const std::string& logName)
    {
        return DesktopSession::fileText(session->folder() + "/" + logName);
    }
    static bool toggle()
    {
        return DesktopSession::waitUntil([] { return hintboard("toggle").status == 0; });
    }
    static void quit(pid_t instance)
    {
        EXPECT_EQ(hintboard("quit").status, 0);
        EXPECT_TRUE(DesktopSession::waitUntil([&] { return !session->isRunning(instance); })) << "quit hung";
        session->stopApplication(instance);
    }

    static constexpr int outputWidth = 1024, outputHeight = 768;
    fake::VirtualRuntime mainQueue;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    static inline DesktopSession* session = nullptr;
    static inline std::string socket;
    static inline pid_t weston = -1;
    static inline bool compositorUp = false;
};

// A stand-in for the desktop's notification service that keeps the text of each Notify.
struct Notifications {
    std::vector<std::string> received()
    {
        std::lock_guard lock(mutex);
        return list;
    }

    std::mutex mutex;
    std::vector<std::string> list;
    BusService service{"org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                       DesktopSession::fileText(dataFile("notifications.xml")),
                       [this](const std::string&, const std::string&, GVariant* parameters) {
                           const char* text = nullptr;
                           g_variant_get_child(parameters, 4, "&s", &text);
                           std::lock_guard lock(mutex);
                           list.push_back(text);
                           return g_variant_new("(u)", guint32(list.size()));
                       }};
};

// The one test on weston: the front application follows AT-SPI window
// activations and the command reads it; Hintboard, with no tray there, says so
// once; its popup is a Wayland window that takes activation, filters, says why
// a row cannot run and closes when it loses activation; the desktop entry's
// actions reach the program.
TEST_F(WaylandTest, FrontApplicationPopupAndDesktopEntryOnWeston)
{
    Notifications notifications;
    ASSERT_TRUE(notifications.service.owned());
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    ASSERT_TRUE(workspace.waitUntilReady());
    FrontmostAppMonitor monitor(workspace);
    std::vector<pid_t> changes;
    monitor.onAppChanged = [&](const platform::RunningApplication& app) { changes.push_back(app.pid); };
    // Mousepad fills weston's work area, so that a click beside the popup lands in it.
    const std::string keyfile = std::string(std::getenv("XDG_CONFIG_HOME")) + "/glib-2.0/settings/keyfile";
    std::filesystem::create_directories(std::filesystem::path(keyfile).parent_path());
    std::ofstream(keyfile) << "[org/xfce/mousepad/state/window]\nmaximized=true\n";
    const pid_t mousepad =
        session->launch({"mousepad", "--disable-server"},
                        {{"GDK_BACKEND", "wayland"}, {"WAYLAND_DISPLAY", socket}, {"GSETTINGS_BACKEND", "keyfile"}});
    ASSERT_TRUE(waitForFront(monitor, mousepad));
    // A new window is activated; closing it gives activation back to the first.
    const pid_t featherpad =
        session->launch({"featherpad", "--standalone"}, {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", socket}});
    ASSERT_TRUE(waitForFront(monitor, featherpad));
    session->stopApplication(featherpad);
    ASSERT_TRUE(waitForFront(monitor, mousepad));
    EXPECT_THAT(changes, ElementsAre(mousepad, featherpad, mousepad));
    // The menu bar appears a moment after the window.
    std::pair<pid_t, std::vector<std::string>> front;
    ASSERT_TRUE(DesktopSession::waitUntil(
        [&] { return !(front = frontAnswer("WAYLAND_DISPLAY=" + socket)).second.empty(); }, std::chrono::seconds(20)));
    EXPECT_EQ(front.first, mousepad);
    EXPECT_THAT(hintboard("shortcuts --front").output, HasSubstr("Find and Replace"));
    // A workspace started now finds the active window itself.
    linux_platform::AtspiWorkspace later(mainQueue, log);
    EXPECT_THAT(later.frontmostApplication(), Optional(Field(&platform::RunningApplication::pid, mousepad)));

    // The compositor's desktop shows no tray icons: the user is told how to reach the program.
    const std::string config = freshConfigFolder("wayland");
    writeSettings(config, {{keys::didShowOnboardingWizard, true}});
    const pid_t instance = startOnCompositor("hintboard-on-wayland.log", {{"XDG_CONFIG_HOME", config}});
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return !notifications.received().empty(); }, std::chrono::seconds(20)))
        << logOf("hintboard-on-wayland.log");
    EXPECT_THAT(notifications.received().front(), HasSubstr("“hintboard toggle”"));

    // The rows are drawn; the header and the search field are the popup's accessible parts.
    const auto filterShown = [&] { return findAccessible(instance, "Filter").has_value(); };
    const auto filterHidden = [&] { return !filterShown(); };
    // The header counts the rows that match the search ("1 of 36").
    const auto startsWith = [&](const std::string& start) {
        return std::ranges::any_of(accessibleNames(instance),
                                   [&](const auto& name) { return name.starts_with(start); });
    };
    const auto unfiltered = [&] {
        return std::ranges::any_of(accessibleNames(instance),
                                   [](const auto& name) { return name.ends_with(" shortcuts"); });
    };
    // xdotool's input reaches weston through its X11 window, once activated.
    std::string westonWindow;
    std::istringstream(run("xwininfo -root -tree | awk '/\"Weston Compositor/ { print $1; exit }'")) >> westonWindow;
    ASSERT_FALSE(westonWindow.empty());
    run("xdotool windowactivate --sync " + westonWindow);
    ASSERT_TRUE(toggle());
    ASSERT_TRUE(DesktopSession::waitUntil(filterShown, std::chrono::seconds(15)))
        << "the popup did not open; names: " << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(waitForFront(workspace, instance)) << "the compositor did not activate the popup";
    EXPECT_FALSE(popupShown()) << "the popup is an X window";
    EXPECT_TRUE(unfiltered());
    // Looked at: the popup inside weston's window, over mousepad.
    run("import -window root popup-on-wayland.png");
    run("xdotool type --delay 60 'new window'");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return startsWith("1 of "); }))
        << "typing did not filter the rows: " << ::testing::PrintToString(accessibleNames(instance));
    // The first Escape clears the search.
    run("xdotool key --delay 150 Escape");
    EXPECT_TRUE(DesktopSession::waitUntil(unfiltered)) << "Escape did not clear the search";
    // Mousepad's "Select All" in an empty document is disabled: the popup stays and says so.
    run("xdotool type --delay 60 'select all'");
    run("xdotool key --delay 150 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return startsWith("“Select All” is disabled in Mousepad"); }))
        << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(filterShown()) << "the popup closed";
    // Escape removes one layer (the notice, the search) at a time, then closes.
    EXPECT_TRUE(closeWithEscape(filterShown)) << "Escape left the popup open";
    EXPECT_TRUE(waitForFront(workspace, mousepad));

    // A click into mousepad activates it, which closes the popup. The popup lies
    // somewhere in weston's work area and is narrower, so one of its bottom corners is beside it.
    ASSERT_TRUE(toggle());
    ASSERT_TRUE(DesktopSession::waitUntil(filterShown));
    ASSERT_TRUE(waitForFront(workspace, instance));
    int left = 0, top = 0, screenWidth = 0, screenHeight = 0;
    std::istringstream(
        run("xwininfo -id " + westonWindow
            + " | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 } END { print "
              "x, y }'; xdotool getdisplaygeometry"))
        >> left >> top >> screenWidth >> screenHeight;
    const auto clickAt = [&](int x) {
        // Weston's X11 backend moves its pointer by the motion since the pointer
        // entered its window: enter it from outside, then click.
        run(fmt::format("xdotool mousemove {} {} sleep 0.2 mousemove {} {} sleep 0.2 click 1", screenWidth - 1,
                        screenHeight - 1, left + x, top + outputHeight - 4));
    };
    clickAt(4);
    if (!DesktopSession::waitUntil(filterHidden, std::chrono::seconds(3)))
        clickAt(outputWidth - 4);
    EXPECT_TRUE(DesktopSession::waitUntil(filterHidden)) << "activating mousepad left the popup open";
    EXPECT_TRUE(waitForFront(workspace, mousepad));
    const std::string launchLog = logOf("hintboard-on-wayland.log");
    EXPECT_THAT(launchLog, HasSubstr("Qt platform in use: wayland"));
    EXPECT_THAT(launchLog, HasSubstr("no global input monitors"));
    EXPECT_THAT(launchLog, HasSubstr("pid " + std::to_string(mousepad) + ": 6 menus"));

    // The launcher's "Settings" action (`hintboard settings`, the package's own check) opens the settings
    // window, which leads with the command to bind; its "Quit" ends the program.
    EXPECT_EQ(hintboard("settings").status, 0);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(instance, "Copy Command").has_value(); },
                                          std::chrono::seconds(15)))
        << ::testing::PrintToString(accessibleNames(instance));
    EXPECT_TRUE(findAccessible(instance, "Command to bind"));
    EXPECT_FALSE(startsWith("Record Shortcut"));
    EXPECT_EQ(notifications.received().size(), 1u) << "told more than once";
    quit(instance);
    session->stopApplication(mousepad);
}

TEST_F(WaylandTest, WithoutAnAnsweringCompositorThePopupIsAnActivatedWindowOnTheXDisplay)
{
    markWizardSeen();
    const pid_t instance =
        startOnCompositor("hintboard-without-compositor.log", {{"WAYLAND_DISPLAY", "no-compositor-here"}});
    ASSERT_TRUE(toggle());
    // The window manager manages it and makes it the active window, so it gets the keys.
    unsigned long popup = 0;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (popup = DesktopSession::managedWindowOf(instance)) != 0; },
                                          std::chrono::seconds(20)));
    EXPECT_TRUE(DesktopSession::waitUntil(
        [&] { return activeWindow().find(fmt::format("0x{:x}", popup)) != std::string::npos; }));
    run("import -window root popup-on-xwayland.png");
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden)) << "Escape left it open";
    EXPECT_THAT(
        logOf("hintboard-without-compositor.log"),
        HasSubstr("compositor does not answer: windows go through the X display (XWayland); Qt platform in use: xcb"));
    quit(instance);
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
