#include "platform/linux/session_services.h"

#include "platform/linux/atspi_workspace.h"
#include "platform/linux/portal_hotkey_service.h"
#include "platform/linux/x11_hotkey_service.h"
#include "platform/linux/x11_workspace.h"
#include "platform/linux/xinput_event_monitors.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdlib>

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

QtPlatformChoice chooseQtPlatform(SessionKind kind, std::string_view requested, bool waylandPluginInstalled,
                                  bool hasXDisplay)
{
    if (kind == SessionKind::x11)
        return {};
    if (!requested.empty())
        return {"", "Qt platform " + std::string(requested) + " as QT_QPA_PLATFORM asks"};
    if (waylandPluginInstalled)
        return {hasXDisplay ? "wayland;xcb" : "wayland", "Qt runs as a Wayland client"};
    if (hasXDisplay)
        return {"xcb", "Qt's Wayland platform is not installed (package qt6-wayland): windows go through XWayland"};
    return {"", "", false};
}

bool qtWaylandPluginInstalled()
{
    // Before the application object exists these are Qt's own folder and QT_PLUGIN_PATH.
    for (const QString& folder : QCoreApplication::libraryPaths()) {
        if (!QDir(folder + QStringLiteral("/platforms")).entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}

QtPlatformChoice chooseQtPlatform(SessionKind kind)
{
    if (kind == SessionKind::x11)
        return {};
    return chooseQtPlatform(kind, environment("QT_QPA_PLATFORM"), qtWaylandPluginInstalled(),
                            !environment("DISPLAY").empty());
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
