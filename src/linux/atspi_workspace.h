#pragma once

#include "base/log.h"
#include "base/observer_list.h"
#include "linux/desktop_entries.h"
#include "platform/runtime.h"
#include "platform/workspace.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;
typedef struct _GSource GSource;

namespace hb::linux_platform {

class GlibLoopThread;

// The front application from the accessibility bus, for sessions where the
// window manager's properties are not visible (Wayland): the window
// activation events that applications send over AT-SPI (window:activate,
// window:deactivate, a window's "active" state) and, at start, the window
// whose state is active. Each application is identified by the process of
// its bus connection (see application_identity.h).
//
// A connection of its own to the accessibility bus, dispatched on a thread
// of its own (libatspi's connection is never touched), posts one
// notification per change of application to the main queue. Without an
// accessibility bus or registry it reports nothing; an application that
// never answers is left out after the call timeout.
class AtspiWorkspace : public platform::Workspace {
public:
    // An empty address means the session's accessibility bus, asked from
    // org.a11y.Bus on the session bus.
    AtspiWorkspace(platform::MainQueue& mainQueue, platform::Log& log, std::string busAddress = {});
    ~AtspiWorkspace() override;
    AtspiWorkspace(const AtspiWorkspace&) = delete;
    AtspiWorkspace& operator=(const AtspiWorkspace&) = delete;

    // Waits (at most the given time) until the start has looked for the
    // active window; false when there is no accessibility bus.
    bool waitUntilReady(std::chrono::milliseconds timeout = std::chrono::seconds(2));

    std::optional<platform::RunningApplication> frontmostApplication() override;
    // One entry per application that the registry lists and whose process is known.
    std::vector<platform::RunningApplication> runningApplications() override;
    ObserverId addActivationObserver(ActivationObserver observer) override;
    void removeActivationObserver(ObserverId id) override;

private:
    using Observers = platform::ObserverList<std::optional<platform::RunningApplication>>;
    struct ActiveWindow {
        std::string busName;
        std::string path;
        std::optional<platform::RunningApplication> app;
    };

    // On the listening thread.
    void start();
    void stop();
    void findActiveWindow();
    void windowActivated(const std::string& busName, const std::string& path, bool active);
    void applicationGone(const std::string& busName);
    void settleLater();
    void settle();

    // Any thread; calls on the connection with the call timeout.
    std::optional<platform::RunningApplication> application(const std::string& busName);
    GVariant* call(const std::string& destination, const std::string& path, const char* interface, const char* method,
                   GVariant* parameters, const char* replyType);

    platform::MainQueue& mainQueue_;
    platform::Log& log_;
    std::string busAddress_;
    DesktopEntries desktopEntries_;
    std::shared_ptr<Observers> observers_; // main thread only; posted tasks hold it weakly

    std::mutex mutex_; // guards what follows
    std::condition_variable readyChanged_;
    bool ready_ = false;
    bool readyMissed_ = false; // a reader stopped waiting before the start was done
    GDBusConnection* connection_ = nullptr;
    std::vector<ActiveWindow> activeWindows_; // windows that said they are active, the latest last
    pid_t notifiedProcess_ = 0;               // the application last notified; 0 after a moment without one
    std::map<std::string, std::optional<platform::RunningApplication>> applications_; // by bus name

    GSource* settleTimer_ = nullptr;         // listening thread only
    std::vector<unsigned> subscriptions_;    // listening thread only
    std::unique_ptr<GlibLoopThread> thread_; // last: ends before the rest goes
};

} // namespace hb::linux_platform
