#pragma once

#include "base/log.h"
#include "linux/readable_watches.h"
#include "platform/event_monitors.h"
#include "platform/hotkey_service.h"
#include "platform/runtime.h"
#include "platform/workspace.h"
#include "triggers/trigger_availability.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace hb::linux_platform {

// This process's session, from WAYLAND_DISPLAY and XDG_SESSION_TYPE.
SessionKind currentSessionKind();

// What decides the Qt platform plugin to run on.
struct GraphicalSession {
    SessionKind kind = SessionKind::x11;
    std::string_view requestedPlatform; // QT_QPA_PLATFORM
    bool waylandPluginInstalled = false;
    bool waylandDisplayAnswers = false;
    bool hasXDisplay = false; // DISPLAY is set
};
// The Qt platform plugin to run on, decided before the application object
// exists. On Wayland Qt runs as a native client when its Wayland plugin is
// installed and the compositor answers (with the X display as fallback), on
// XWayland otherwise; a platform the user asked for in QT_QPA_PLATFORM is
// kept. X11 sessions keep Qt's own choice.
struct QtPlatformChoice {
    std::string platform; // for QT_QPA_PLATFORM; empty: leave it as it is
    std::string reason;   // for the log and, when not possible, the error
    bool possible = true; // false: neither Wayland nor an X display to run on
};
QtPlatformChoice chooseQtPlatform(const GraphicalSession& session);
// This process's session: the environment, Qt's plugin folders and the
// compositor's socket (defined with the Qt part of the platform).
GraphicalSession currentGraphicalSession(SessionKind kind);
// Whether the compositor's socket takes a connection.
bool waylandDisplayAnswers();

// The global input monitors for the session: XInput on X11. On Wayland the
// compositor keeps other applications' input to itself (an X display there
// sees only XWayland windows), so every monitor is reported as none.
std::unique_ptr<platform::EventMonitors> makeSessionEventMonitors(SessionKind kind, ReadableWatches& watches,
                                                                  platform::Log& log);

// The front-application source for the session: the window manager's
// properties on X11, AT-SPI window activations on Wayland (where the X
// display, if any, shows only XWayland windows).
struct SessionWorkspace {
    std::unique_ptr<platform::Workspace> workspace;
    std::string_view sourceName; // for the launch log line
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
