#include "platform/linux/session_workspace.h"

#include "platform/linux/atspi_workspace.h"
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

} // namespace hb::linux_platform
