#include "linux/qt/qt_app_presence.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QString>

namespace hb::linux_platform {
namespace {

QIcon iconNamed(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    for (const auto& path : {name, ":/icons/" + name + ".svg", ":/icons/" + name + ".png"})
        if (QFile::exists(path))
            return QIcon(path);
    return {};
}

// Without a desktop that names its icon theme (headless sessions, bare window
// managers) Qt knows only the bare "hicolor" theme: look in the system's icon
// folders and fall back to the common Adwaita theme.
void completeIconTheme()
{
    auto paths = QIcon::themeSearchPaths();
    for (const auto& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const auto icons = QDir(data).filePath("icons");
        if (!paths.contains(icons) && QDir(icons).exists())
            paths.append(icons);
    }
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName("hicolor");
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
        QIcon::setFallbackThemeName("Adwaita");
}

} // namespace

QtAppPresence::QtAppPresence() : ownIcon_(QGuiApplication::windowIcon())
{
    completeIconTheme();
}

bool QtAppPresence::setIcon(std::string_view imageName)
{
    const auto icon = iconNamed(QString::fromUtf8(imageName.data(), qsizetype(imageName.size())));
    if (icon.isNull())
        return false;
    QGuiApplication::setWindowIcon(icon);
    return true;
}

void QtAppPresence::resetIcon()
{
    QGuiApplication::setWindowIcon(ownIcon_);
}

} // namespace hb::linux_platform
