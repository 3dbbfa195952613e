#include "linux/session_services.h"

#include "linux/atspi_workspace.h"
#include "linux/portal_hotkey_service.h"
#include "linux/x11_hotkey_service.h"
#include "linux/x11_workspace.h"
#include "linux/xinput_event_monitors.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace hb::linux_platform {

namespace {
std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}
// No monitor can be had.
class AbsentEventMonitors final : public platform::EventMonitors {
public:
    std::optional<Token> addFlagsChangedMonitor(std::function<void(std::uint64_t)>) override { return {}; }
    std::optional<Token> addKeyDownMonitor(std::function<void(const platform::KeyEvent&)>) override { return {}; }
    std::optional<Token> addMouseDownMonitor(std::function<void(platform::MouseButton)>) override { return {}; }
    void removeMonitor(Token) override {}
    std::uint64_t currentModifierFlags() override { return 0; }
};

} // namespace

QtPlatformChoice chooseQtPlatform(const GraphicalSession& session)
{
    if (session.kind == SessionKind::x11)
        return {};
    if (!session.requestedPlatform.empty())
        return {"", "Qt platform " + std::string(session.requestedPlatform) + " as QT_QPA_PLATFORM asks"};
    if (session.waylandPluginInstalled && session.waylandDisplayAnswers)
        return {session.hasXDisplay ? "wayland;xcb" : "wayland", "Qt runs as a Wayland client"};
    const std::string missing = session.waylandPluginInstalled
                                    ? "The Wayland compositor does not answer"
                                    : "Qt's Wayland platform is not installed (package qt6-wayland)";
    if (session.hasXDisplay)
        return {"xcb", missing + ": windows go through the X display (XWayland)"};
    return {"", missing + " and there is no X display (DISPLAY is not set)", false};
}

// A Unix socket answers at once.
bool waylandDisplayAnswers()
{
    std::string path(environment("WAYLAND_DISPLAY"));
    if (path.empty())
        path = "wayland-0";
    if (path.front() != '/') {
        const std::string_view runtime = environment("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    const bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(socket);
    return connected;
}

std::unique_ptr<platform::EventMonitors> makeSessionEventMonitors(SessionKind kind, ReadableWatches& watches,
                                                                  platform::Log& log)
{
    if (kind == SessionKind::wayland) {
        log.notice(platform::LogCategory::hotkey,
                   "Wayland session: no global input monitors (clicks and keys in other applications are not seen)");
        return std::make_unique<AbsentEventMonitors>();
    }
    return std::make_unique<XInputEventMonitors>(watches, log);
}

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
