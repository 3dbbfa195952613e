#include "fake/fake_workspace.h"

#include <algorithm>

namespace hb::fake {

platform::RunningApplication application(pid_t pid, std::string name, std::optional<std::string> bundleIdentifier)
{
    platform::RunningApplication app;
    app.pid = pid;
    app.processName = name;
    app.name = std::move(name);
    app.iconName = bundleIdentifier;
    app.bundleIdentifier = std::move(bundleIdentifier);
    return app;
}

platform::Workspace::ObserverId FakeWorkspace::addActivationObserver(ActivationObserver observer)
{
    return observers_.add(std::move(observer));
}

void FakeWorkspace::removeActivationObserver(ObserverId id)
{
    observers_.remove(id);
}

void FakeWorkspace::activate(const platform::RunningApplication& app)
{
    launch(app);
    frontmost_ = app;
    observers_.notify(app);
}

void FakeWorkspace::activateUnidentified()
{
    observers_.notify(std::nullopt);
}

void FakeWorkspace::launch(const platform::RunningApplication& app)
{
    auto running = std::ranges::find(running_, app.pid, &platform::RunningApplication::pid);
    if (running == running_.end())
        running_.push_back(app);
    else
        *running = app;
}

void FakeWorkspace::terminate(pid_t pid)
{
    std::erase_if(running_, [pid](const auto& app) { return app.pid == pid; });
    if (frontmost_ && frontmost_->pid == pid)
        frontmost_.reset();
}

} // namespace hb::fake
