#include "triggers/frontmost_app_monitor.h"

#include <unistd.h>

namespace hb {

pid_t FrontmostAppMonitor::currentProcessID()
{
    return getpid();
}

FrontmostAppMonitor::FrontmostAppMonitor(platform::Workspace& workspace, pid_t ownPID)
    : workspace_(workspace), ownPID_(ownPID)
{
    // Started while no window of another application was active (from a
    // launcher, over the bare desktop): the one on top is in front.
    auto front = workspace_.frontmostApplication();
    if (!front || front->pid == ownPID_)
        front = workspace_.topmostApplication(ownPID_);
    if (front && front->pid != ownPID_)
        frontmostApp_ = std::move(front);
    // The workspace stops delivering once the registration is removed, so the
    // handler never outlives the monitor.
    observer_ = workspace_.addActivationObserver([this](const auto& app) { applicationActivated(app); });
}

FrontmostAppMonitor::~FrontmostAppMonitor()
{
    workspace_.removeActivationObserver(observer_);
}

FrontmostAppMonitor::ObservationId FrontmostAppMonitor::observeFrontmostApp(ChangeObserver observer)
{
    return observers_.add(std::move(observer));
}

void FrontmostAppMonitor::removeObservation(ObservationId id)
{
    observers_.remove(id);
}

void FrontmostAppMonitor::applicationActivated(const std::optional<platform::RunningApplication>& app)
{
    // Activations of this program leave the remembered application as it was.
    if (!app || app->pid == ownPID_)
        return;
    setFrontmostApp(*app);
    if (onAppChanged) {
        auto callback = onAppChanged; // the callback may replace itself
        callback(*app);
    }
}

void FrontmostAppMonitor::setFrontmostApp(const platform::RunningApplication& app)
{
    const bool changed = frontmostApp_ != app;
    frontmostApp_ = app;
    if (!changed)
        return;
    observers_.notify(frontmostApp_);
}

} // namespace hb
