#include "linux/session_services.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdlib>

namespace hb::linux_platform {

namespace {

// Whether one of Qt's plugin folders holds its Wayland platform.
bool qtWaylandPluginInstalled()
{
    // Before the application object exists these are Qt's own folder and QT_PLUGIN_PATH.
    for (const QString& folder : QCoreApplication::libraryPaths()) {
        if (!QDir(folder + QStringLiteral("/platforms"))
                 .entryList({QStringLiteral("libqwayland*")}, QDir::Files)
                 .isEmpty())
            return true;
    }
    return false;
}

std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

GraphicalSession currentGraphicalSession(SessionKind kind)
{
    GraphicalSession session{.kind = kind};
    if (kind == SessionKind::x11)
        return session;
    session.requestedPlatform = environment("QT_QPA_PLATFORM");
    session.waylandPluginInstalled = qtWaylandPluginInstalled();
    session.waylandDisplayAnswers = waylandDisplayAnswers();
    session.hasXDisplay = !environment("DISPLAY").empty();
    return session;
}

} // namespace hb::linux_platform
