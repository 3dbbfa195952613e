#pragma once

#include "base/observer_list.h"
#include "platform/workspace.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace hb {

// Remembers the last application other than this process that became active.
// Lives on the main thread.
class FrontmostAppMonitor {
public:
    using AppChangedCallback = std::function<void(const platform::RunningApplication&)>;
    using ChangeObserver = std::function<void(const std::optional<platform::RunningApplication>&)>;
    using ObservationId = platform::ObserverList<std::optional<platform::RunningApplication>>::Id;

    // Takes the workspace's front application unless it is this process; with
    // none, the application of the topmost window.
    explicit FrontmostAppMonitor(platform::Workspace& workspace, pid_t ownPID = currentProcessID());
    ~FrontmostAppMonitor();
    FrontmostAppMonitor(const FrontmostAppMonitor&) = delete;
    FrontmostAppMonitor& operator=(const FrontmostAppMonitor&) = delete;

    const std::optional<platform::RunningApplication>& frontmostApp() const { return frontmostApp_; }
    pid_t ownPID() const { return ownPID_; }

    // Called after every activation of another application, also when it is
    // the one already remembered.
    AppChangedCallback onAppChanged;

    // Observers hear of `frontmostApp` only when its value changes.
    ObservationId observeFrontmostApp(ChangeObserver observer);
    void removeObservation(ObservationId id);

private:
    static pid_t currentProcessID();
    void applicationActivated(const std::optional<platform::RunningApplication>& app);
    void setFrontmostApp(const platform::RunningApplication& app);

    platform::Workspace& workspace_;
    pid_t ownPID_;
    std::optional<platform::RunningApplication> frontmostApp_;
    platform::ObserverList<std::optional<platform::RunningApplication>> observers_;
    platform::Workspace::ObserverId observer_;
};

} // namespace hb
