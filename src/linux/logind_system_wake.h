#pragma once

#include "base/log.h"
#include "base/observer_list.h"
#include "platform/runtime.h"
#include "platform/system_wake.h"

#include <memory>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace hb::linux_platform {

// Wake from sleep as logind's PrepareForSleep(false) on the system bus. The
// signal arrives through GLib's default main context (iterated by the Qt
// event loop) and is handed to the observers through the main queue.
// Without a system bus it logs once and never fires.
class LogindSystemWake : public platform::SystemWake {
public:
    // An empty address means the system bus.
    LogindSystemWake(platform::MainQueue& mainQueue, platform::Log& log, const std::string& busAddress = {});
    ~LogindSystemWake() override;
    LogindSystemWake(const LogindSystemWake&) = delete;
    LogindSystemWake& operator=(const LogindSystemWake&) = delete;

    bool isConnected() const { return connection_ != nullptr; }

    ObserverId addWakeObserver(std::function<void()> observer) override;
    void removeWakeObserver(ObserverId id) override;

private:
    using Observers = platform::ObserverList<>;

    void preparingForSleep(bool sleeping);

    platform::MainQueue& mainQueue_;
    platform::Log& log_;
    GDBusConnection* connection_ = nullptr;
    unsigned subscription_ = 0;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>(); // posted tasks hold it weakly
};

} // namespace hb::linux_platform
