#pragma once

#include "platform/hotkey_service.h"
#include "platform/linux/readable_watches.h"
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

// The global hot key for the session: a key grab on X11, the desktop
// portal's global shortcuts on Wayland (where no application can grab keys).
struct SessionHotkeys {
    std::unique_ptr<platform::HotkeyService> service;
    // Whether the portal offers global shortcuts (always false on X11), for
    // triggerAvailability().
    std::function<bool()> portalOffersShortcuts;
};
SessionHotkeys makeSessionHotkeys(SessionKind kind, ReadableWatches& watches, platform::MainQueue& mainQueue,
                                  platform::Log& log);

} // namespace hb::linux_platform
