#pragma once

#include "platform/screens.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hb::platform {

// A running application as the workspace reports it.
struct RunningApplication {
    pid_t pid = 0;
    std::string name;                            // display name
    std::optional<std::string> bundleIdentifier; // desktop-entry id, else the window class
    std::optional<std::string> iconName;         // freedesktop icon name
    std::string processName;                     // the executable's name

    // The key for per-application data: the identifier, else the name.
    std::string appID() const { return bundleIdentifier.value_or(name); }

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// The desktop's notion of the front application. Notifications arrive on the
// main queue.
class Workspace {
public:
    using ActivationObserver = std::function<void(const std::optional<RunningApplication>&)>;
    using ObserverId = std::uint64_t;

    virtual ~Workspace() = default;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // One call per activation, with the activated application (absent when it
    // could not be identified).
    virtual ObserverId addActivationObserver(ActivationObserver observer) = 0;
    virtual void removeActivationObserver(ObserverId id) = 0;
    // Where the active window is: its frame in the window system's own
    // coordinates (origin at the top left of the first screen, y growing
    // downwards). Asks the window system, never the application; absent
    // without an active window or where the window system does not tell.
    virtual std::optional<Rect> activeWindowFrame() { return std::nullopt; }
    // The application of the highest visible window of another process than
    // `excluding`, in the window system's stacking order: the application in
    // front while no window is active. Absent where the window system does not tell.
    virtual std::optional<RunningApplication> topmostApplication(pid_t /*excluding*/) { return std::nullopt; }
};

} // namespace hb::platform
