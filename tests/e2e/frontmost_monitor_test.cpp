#include "desktop_session.h"

#include "fake/virtual_runtime.h"
#include "linux/x11_workspace.h"
#include "triggers/frontmost_app_monitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

namespace hb::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::ContainsRegex;
using ::testing::Optional;

// Activates the window through the window manager; a window that has only
// just been mapped may not be managed yet, so this tries again.
bool activate(unsigned long window)
{
    const std::string command = "timeout 5 xdotool windowactivate --sync " + std::to_string(window) + " >/dev/null 2>&1";
    return DesktopSession::waitUntil([&] { return std::system(command.c_str()) == 0; });
}

// A top-level window of this process, as an application of its own would show.
class OwnWindow {
public:
    OwnWindow() : connection_(xcb_connect(nullptr, nullptr))
    {
        auto* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        auto pidAtom = xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, 11, "_NET_WM_PID"), nullptr);
        const std::uint32_t pid = getpid();
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, pidAtom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        std::free(pidAtom);
        constexpr char windowClass[] = "hintboard\0Hintboard";
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof windowClass, windowClass);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
    }
    ~OwnWindow() { xcb_disconnect(connection_); }

    unsigned long id() const { return window_; }

private:
    xcb_connection_t* connection_;
    xcb_window_t window_;
};

TEST(FrontmostMonitorOnX11, FollowsActivationsOfOtherApplicationsAndIgnoresItsOwn)
{
    auto& session = DesktopSession::shared();
    const pid_t mousepad = session.launch({"mousepad", "--disable-server"});
    const pid_t featherpad = session.launch({"featherpad", "--standalone"});
    OwnWindow own;
    unsigned long mousepadWindow = 0, featherpadWindow = 0, ownWindow = 0;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        mousepadWindow = DesktopSession::managedWindowOf(mousepad);
        featherpadWindow = DesktopSession::managedWindowOf(featherpad);
        ownWindow = DesktopSession::managedWindowOf(getpid());
        return mousepadWindow && featherpadWindow && ownWindow;
    }, std::chrono::seconds(20)));
    ASSERT_TRUE(activate(mousepadWindow));

    fake::VirtualRuntime mainQueue;
    linux_platform::X11Workspace workspace(mainQueue);
    FrontmostAppMonitor monitor(workspace);
    auto front = monitor.frontmostApp();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->pid, mousepad);
    EXPECT_EQ(front->name, "Mousepad");
    EXPECT_EQ(front->bundleIdentifier, "org.xfce.mousepad");
    EXPECT_EQ(front->iconName, "org.xfce.mousepad");
    EXPECT_EQ(front->processName, "mousepad");

    std::vector<pid_t> changes;
    int observedChanges = 0;
    monitor.onAppChanged = [&](const platform::RunningApplication& app) { changes.push_back(app.pid); };
    monitor.observeFrontmostApp([&](const auto&) { ++observedChanges; });
    auto waitForChanges = [&](std::size_t count) {
        return DesktopSession::waitUntil([&] {
            mainQueue.runMainQueue();
            return changes.size() >= count;
        });
    };

    ASSERT_TRUE(activate(featherpadWindow));
    ASSERT_TRUE(waitForChanges(1));
    EXPECT_THAT(monitor.frontmostApp(), Optional(Field(&platform::RunningApplication::bundleIdentifier, "featherpad")));

    ASSERT_TRUE(activate(mousepadWindow));
    ASSERT_TRUE(waitForChanges(2));
    // This process in front, then the remembered application again.
    ASSERT_TRUE(activate(ownWindow));
    ASSERT_TRUE(activate(mousepadWindow));
    ASSERT_TRUE(waitForChanges(3));

    EXPECT_THAT(changes, ElementsAre(featherpad, mousepad, mousepad));
    EXPECT_EQ(observedChanges, 2);
    EXPECT_THAT(monitor.frontmostApp(), Optional(Field(&platform::RunningApplication::pid, mousepad)));

    auto running = workspace.runningApplications();
    for (pid_t pid : {mousepad, featherpad, getpid()})
        EXPECT_EQ(std::ranges::count(running, pid, &platform::RunningApplication::pid), 1) << pid;

    // The active window's place, from the window system as xwininfo sees it.
    const auto frame = workspace.activeWindowFrame();
    ASSERT_TRUE(frame);
    const auto geometry = DesktopSession::commandOutput("xwininfo -id " + std::to_string(mousepadWindow));
    for (const auto& [name, value] : {std::pair{"Absolute upper-left X:", frame->origin.x},
                                      {"Absolute upper-left Y:", frame->origin.y},
                                      {"Width:", frame->size.width}, {"Height:", frame->size.height}})
        EXPECT_THAT(geometry, ContainsRegex(std::string(name) + " +" + std::to_string(int(value)) + "\n"));
    session.stopApplication(mousepad);
    session.stopApplication(featherpad);
}

} // namespace
} // namespace hb::e2e
