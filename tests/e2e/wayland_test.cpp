// Applications on a Wayland compositor (weston, nested in the session's X
// display): the front application from AT-SPI window activations.
#include "desktop_session.h"

#include "platform/fake/memory_log.h"
#include "platform/fake/virtual_runtime.h"
#include "platform/linux/atspi_workspace.h"
#include "triggers/frontmost_app_monitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>
#include <filesystem>
#include <string>

namespace hb::e2e {
namespace {

using ::testing::AllOf;
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
        weston = session->launch({"weston", "--backend=x11-backend.so", "--socket=" + socket, "--width=1024",
                                  "--height=768", "--idle-time=0"});
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
    bool waitForFront(platform::Workspace& workspace, pid_t pid)
    {
        return waitUntilFront([&] { return workspace.frontmostApplication(); }, pid);
    }
    bool waitForFront(FrontmostAppMonitor& monitor, pid_t pid)
    {
        return waitUntilFront([&] { return monitor.frontmostApp(); }, pid);
    }
    bool waitUntilFront(const std::function<std::optional<platform::RunningApplication>()>& front, pid_t pid)
    {
        return DesktopSession::waitUntil([&] {
            mainQueue.runMainQueue();
            auto app = front();
            return app && app->pid == pid;
        }, std::chrono::seconds(20));
    }
    // What `hintboard ARGUMENTS` prints in the Wayland session.
    static std::string hintboard(const std::string& arguments)
    {
        return DesktopSession::commandOutput("WAYLAND_DISPLAY=" + socket + " " + HINTBOARD_EXECUTABLE + " " +
                                             arguments + " 2>/dev/null");
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

TEST_F(WaylandTest, FrontApplicationFollowsWindowActivations)
{
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    ASSERT_TRUE(workspace.waitUntilReady());
    FrontmostAppMonitor monitor(workspace);
    std::vector<pid_t> changes;
    monitor.onAppChanged = [&](const platform::RunningApplication& app) { changes.push_back(app.pid); };

    const pid_t mousepad = launchMousepad();
    ASSERT_TRUE(waitForFront(monitor, mousepad));
    EXPECT_THAT(monitor.frontmostApp(),
                Optional(AllOf(Field(&platform::RunningApplication::bundleIdentifier, "org.xfce.mousepad"),
                               Field(&platform::RunningApplication::name, "Mousepad"),
                               Field(&platform::RunningApplication::processName, "mousepad"))));

    // A new window is activated; closing it gives activation back to the first.
    const pid_t featherpad = launchFeatherPad();
    ASSERT_TRUE(waitForFront(monitor, featherpad));
    EXPECT_THAT(monitor.frontmostApp(), Optional(Field(&platform::RunningApplication::processName, "featherpad")));
    auto running = workspace.runningApplications();
    for (pid_t pid : {mousepad, featherpad})
        EXPECT_EQ(std::ranges::count(running, pid, &platform::RunningApplication::pid), 1) << pid;

    session->stopApplication(featherpad);
    ASSERT_TRUE(waitForFront(monitor, mousepad));
    EXPECT_THAT(changes, ElementsAre(mousepad, featherpad, mousepad));

    // A workspace started now finds the active window itself.
    linux_platform::AtspiWorkspace later(mainQueue, log);
    EXPECT_THAT(later.frontmostApplication(), Optional(Field(&platform::RunningApplication::pid, mousepad)));
    session->stopApplication(mousepad);
}

TEST_F(WaylandTest, ShortcutsCommandReadsTheActiveApplication)
{
    const pid_t featherpad = launchFeatherPad();
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    ASSERT_TRUE(waitForFront(workspace, featherpad));
    const pid_t mousepad = launchMousepad();
    ASSERT_TRUE(waitForFront(workspace, mousepad));
    // The menu bar appears a moment after the window.
    nlohmann::json printed;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        printed = nlohmann::json::parse(hintboard("shortcuts --front --json"), nullptr, false);
        return !printed.is_discarded() && !printed["sections"].empty();
    }, std::chrono::seconds(20)));
    EXPECT_EQ(printed["application"]["pid"], mousepad);
    EXPECT_EQ(printed["application"]["identifier"], "org.xfce.mousepad");
    EXPECT_THAT(hintboard("shortcuts --front"), HasSubstr("Find and Replace"));

    session->stopApplication(mousepad);
    ASSERT_TRUE(waitForFront(workspace, featherpad));
    for (const char* arguments : {"shortcuts --front --json", "shortcuts --app featherpad --json"}) {
        printed = nlohmann::json::parse(hintboard(arguments), nullptr, false);
        ASSERT_FALSE(printed.is_discarded()) << arguments;
        EXPECT_EQ(printed["application"]["pid"], featherpad) << arguments;
    }
    session->stopApplication(featherpad);
}

TEST_F(WaylandTest, AnApplicationThatDoesNotAnswerHoldsNothingUp)
{
    const pid_t mousepad = launchMousepad();
    {
        linux_platform::AtspiWorkspace workspace(mainQueue, log);
        ASSERT_TRUE(waitForFront(workspace, mousepad));
    }
    kill(mousepad, SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    linux_platform::AtspiWorkspace workspace(mainQueue, log);
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    workspace.runningApplications();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    session->stopApplication(mousepad);
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

TEST_F(WaylandTest, ToggleOpensThePopupWithTheRowsOfTheActiveApplication)
{
    const pid_t mousepad = launchMousepad();
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return hintboard("shortcuts --front").find("Find") != std::string::npos; },
                                          std::chrono::seconds(20)));
    // This program draws on the X display (Qt 6 without its Wayland platform here).
    const std::string logPath = session->folder() + "/hintboard-on-wayland.log";
    const pid_t instance = session->launch({"sh", "-c", std::string("exec ") + HINTBOARD_EXECUTABLE + " 2>" + logPath},
                                            {{"WAYLAND_DISPLAY", socket}});
    const std::string toggle = "toggle >/dev/null && echo ok";
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return hintboard(toggle).starts_with("ok"); }));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return hasLargeWindow(instance); }))
        << "the popup did not open; the program logged:\n"
        << DesktopSession::commandOutput("grep -v '^\\[scraper\\]' " + logPath);
    // Looked at: the popup with mousepad's rows beside weston's window.
    DesktopSession::commandOutput("import -window root popup-on-wayland.png");

    const std::string launchLog = DesktopSession::commandOutput("cat " + logPath);
    if (launchLog.find("front application from AT-SPI window activations") != std::string::npos) {
        // Without a journal the log goes to standard error: the read was mousepad's.
        EXPECT_THAT(launchLog, HasSubstr("pid " + std::to_string(mousepad) + ": 6 menus"));
    }
    ASSERT_TRUE(hintboard(toggle).starts_with("ok"));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !hasLargeWindow(instance); })) << "the popup did not close";
    session->stopApplication(instance);
    session->stopApplication(mousepad);
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
