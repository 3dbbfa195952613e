#pragma once

// A private desktop session for end-to-end tests and benchmarks: Xvfb,
// openbox, a session D-Bus and the AT-SPI bus with the accessibility switch
// on, started with scripts/session.
//
// Typical use, one session for the whole test program:
//
//   class MenuTest : public ::testing::Test {
//   protected:
//       static void SetUpTestSuite() { session = &hb::e2e::DesktopSession::shared(); }
//       static hb::e2e::DesktopSession* session;
//   };
//   ...
//   pid_t pid = session->launch({"mousepad"});
//   ASSERT_TRUE(session->waitUntil([&] { return ...; }));
//   session->stopApplication(pid);
//
// The session's variables (DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG folders,
// QT_LINUX_ACCESSIBILITY_ALWAYS_ON) are set in this process's environment, so
// X11 and AT-SPI clients created afterwards talk to the session. Because
// libatspi keeps its first bus connection, a process uses one session for
// its whole life: use shared(). Launched applications inherit the
// environment. Everything started here is stopped by process id.

#include "platform/accessibility.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace hb::e2e {

class DesktopSession {
public:
    // The session of this process, started on first use and stopped at exit.
    // Aborts the program when no session can be started.
    static DesktopSession& shared();

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;
    ~DesktopSession();

    // Starts a program (looked up in PATH unless given by path) inside the session with
    // `environment` added; its output goes to a log in the session folder.
    // Gives its process id, or -1 when it could not be started.
    pid_t launch(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& environment = {});
    // Ends a launched program (also a stopped one) with the processes below it, and reaps it.
    void stopApplication(pid_t pid);
    // Whether a launched program still runs.
    bool isRunning(pid_t pid);

    // What a shell command prints on standard output.
    static std::string commandOutput(const std::string& command);
    // A whole file's text; empty when it cannot be read.
    static std::string fileText(const std::string& path);
    // The titles of the process's visible windows, one a line.
    static std::string windowTitles(pid_t pid);
    // A window of the process that the window manager manages (one in
    // _NET_CLIENT_LIST), or 0.
    static unsigned long managedWindowOf(pid_t pid);

    // The child of `parent` with this process name (a launcher's real program), or -1.
    static pid_t childOf(pid_t parent, std::string_view name);
    // Every process below `parent`, children before grandchildren.
    static std::vector<pid_t> descendantsOf(pid_t parent);

    // Waits until the application's menu bar can be read over `accessibility`.
    static bool waitForMenuBar(platform::Accessibility& accessibility, pid_t pid,
                               std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Polls `condition` every 50 ms until it holds or `timeout` passes.
    static bool waitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));

    const std::string& folder() const { return folder_; }

private:
    DesktopSession() = default;
    bool start();

    std::string folder_;
    std::vector<pid_t> launched_;
};

} // namespace hb::e2e
