#include "platform/linux/session_services.h"

#include "platform/linux/atspi_workspace.h"
#include "platform/linux/portal_hotkey_service.h"
#include "platform/linux/x11_hotkey_service.h"
#include "platform/linux/x11_workspace.h"

#include <cstdlib>

namespace hb::linux_platform {

namespace {
std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}
} // namespace

SessionKind currentSessionKind()
{
    return sessionKind(environment("WAYLAND_DISPLAY"), environment("XDG_SESSION_TYPE"));
}

SessionWorkspace makeSessionWorkspace(SessionKind kind, platform::MainQueue& mainQueue, platform::Log& log)
{
    if (kind == SessionKind::wayland) {
        auto workspace = std::make_unique<AtspiWorkspace>(mainQueue, log);
        auto* atspi = workspace.get();
        return {std::move(workspace), "AT-SPI window activations", [atspi] { return atspi->waitUntilReady(); }};
    }
    auto workspace = std::make_unique<X11Workspace>(mainQueue);
    auto* x11 = workspace.get();
    return {std::move(workspace), "the X11 active window", [x11] { return x11->isConnected(); }};
}

SessionHotkeys makeSessionHotkeys(SessionKind kind, ReadableWatches& watches, platform::MainQueue& mainQueue,
                                  platform::Log& log)
{
    if (kind == SessionKind::wayland) {
        auto service = std::make_unique<PortalHotkeyService>(mainQueue, log);
        auto* portal = service.get();
        return {std::move(service), [portal] { return portal->isOffered(); }};
    }
    return {std::make_unique<X11HotkeyService>(watches, log), [] { return false; }};
}

} // namespace hb::linux_platform
