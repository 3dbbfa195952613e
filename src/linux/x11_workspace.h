#pragma once

#include "base/observer_list.h"
#include "linux/desktop_entries.h"
#include "platform/runtime.h"
#include "platform/workspace.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace hb::linux_platform {

class X11Connection;

// The kernel's name of a process (/proc/PID/comm), whole even beyond the
// kernel's 15 characters; empty when it has ended.
std::string processName(pid_t pid);

// Every name the process goes by: its process name, its executable's file
// name from the command line and that name without extension ("soffice.bin",
// "soffice"). Empty when it has ended.
std::vector<std::string> commandNames(pid_t pid);

// The desktop entry that launched the process, when the launcher said so in
// its environment (GIO_LAUNCHED_DESKTOP_FILE, BAMF_DESKTOP_FILE_HINT).
std::optional<std::string> launchedDesktopFile(pid_t pid);

// The front application and the running ones, from the window manager's
// properties on the root window (_NET_ACTIVE_WINDOW, _NET_CLIENT_LIST) and each
// window's process, class and application id. Once someone observes
// activations, a thread of its own watches the active window and posts one
// notification per change of application to the main queue.
class X11Workspace : public platform::Workspace {
public:
    // An empty display name means $DISPLAY. Without a display the workspace
    // reports nothing; see `isConnected`.
    explicit X11Workspace(platform::MainQueue& mainQueue, const std::string& displayName = {});
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    bool isConnected() const;

    std::optional<platform::RunningApplication> frontmostApplication() override;
    // One entry per process that has a managed window, in stacking-list order.
    std::vector<platform::RunningApplication> runningApplications() override;
    ObserverId addActivationObserver(ActivationObserver observer) override;
    void removeActivationObserver(ObserverId id) override;
    std::optional<platform::Rect> activeWindowFrame() override;
    // From _NET_CLIENT_LIST_STACKING: viewable normal windows, docks and the desktop left out.
    std::optional<platform::RunningApplication> topmostApplication(pid_t excluding) override;

private:
    using Observers = platform::ObserverList<std::optional<platform::RunningApplication>>;

    void startWatching();
    void watchActiveWindow();

    platform::MainQueue& mainQueue_;
    std::string displayName_;
    DesktopEntries desktopEntries_;
    std::mutex queriesMutex_;
    std::unique_ptr<X11Connection> queries_; // for calls from the main thread
    std::unique_ptr<X11Connection> events_;  // the watcher thread's own
    std::shared_ptr<Observers> observers_;   // main thread only; posted tasks hold it weakly
    int stopEvent_ = -1;
    std::thread watcher_;
};

} // namespace hb::linux_platform
