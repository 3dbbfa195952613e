#pragma once

#include "base/observer_list.h"
#include "platform/workspace.h"

#include <optional>
#include <vector>

namespace hb::fake {

// A running application for tests; the identifier doubles as the icon name.
platform::RunningApplication application(pid_t pid, std::string name, std::optional<std::string> bundleIdentifier = {});

// An in-memory desktop's application switcher. Activations are delivered
// synchronously, within the call that makes them (the test's thread is the
// main thread).
class FakeWorkspace : public platform::Workspace {
public:
    std::optional<platform::RunningApplication> frontmostApplication() override { return frontmost_; }
    std::vector<platform::RunningApplication> runningApplications() override { return running_; }
    ObserverId addActivationObserver(ActivationObserver observer) override;
    void removeActivationObserver(ObserverId id) override;

    // Brings the application to the front (launching it when it is not running)
    // and tells every observer.
    void activate(const platform::RunningApplication& app);
    // An activation whose application could not be identified.
    void activateUnidentified();
    // The front application without any notification, as found at start.
    void setFrontmost(std::optional<platform::RunningApplication> app) { frontmost_ = std::move(app); }
    void launch(const platform::RunningApplication& app);
    void terminate(pid_t pid);

    std::size_t observerCount() const { return observers_.size(); }

    std::optional<platform::Rect> activeWindowFrame() override { return activeWindowFrame_; }
    std::optional<platform::RunningApplication> topmostApplication(pid_t excluding) override
    {
        return topmost_ && topmost_->pid != excluding ? topmost_ : std::nullopt;
    }
    // The application of the top window, whether active or not.
    void setTopmost(std::optional<platform::RunningApplication> app) { topmost_ = std::move(app); }
    void setActiveWindowFrame(std::optional<platform::Rect> frame) { activeWindowFrame_ = frame; }

private:
    std::optional<platform::RunningApplication> frontmost_;
    std::optional<platform::Rect> activeWindowFrame_;
    std::optional<platform::RunningApplication> topmost_;
    std::vector<platform::RunningApplication> running_;
    platform::ObserverList<std::optional<platform::RunningApplication>> observers_;
};

} // namespace hb::fake
