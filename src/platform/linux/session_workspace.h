#pragma once

#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/workspace.h"
#include "triggers/trigger_availability.h"

#include <functional>
#include <memory>
#include <string_view>

namespace hb::linux_platform {

// This process's session, from WAYLAND_DISPLAY and XDG_SESSION_TYPE.
SessionKind currentSessionKind();

// The front-application source for the session: the window manager's
// properties on X11, AT-SPI window activations on Wayland (where the X
// display, if any, shows only XWayland windows).
struct SessionWorkspace {
    std::unique_ptr<platform::Workspace> workspace;
    std::string_view sourceName;  // for the launch log line
    // Whether the source can report anything: the X display or the
    // accessibility bus answers (the latter may wait for its start).
    std::function<bool()> isReachable;
};
SessionWorkspace makeSessionWorkspace(SessionKind kind, platform::MainQueue& mainQueue, platform::Log& log);

} // namespace hb::linux_platform
