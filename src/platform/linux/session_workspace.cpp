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
    if (kind == SessionKind::wayland)
        return {std::make_unique<AtspiWorkspace>(mainQueue, log), "AT-SPI window activations"};
    return {std::make_unique<X11Workspace>(mainQueue), "the X11 active window"};
}

} // namespace hb::linux_platform
