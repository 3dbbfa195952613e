#include "platform/linux/qt_app_presence.h"

#include <QFile>
#include <QGuiApplication>
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

} // namespace

QtAppPresence::QtAppPresence() : ownIcon_(QGuiApplication::windowIcon()) {}

bool QtAppPresence::setIcon(std::string_view imageName)
{
    const auto icon = iconNamed(QString::fromUtf8(imageName.data(), qsizetype(imageName.size())));
    if (icon.isNull())
        return false;
    QGuiApplication::setWindowIcon(icon);
    return true;
}

void QtAppPresence::resetIcon() { QGuiApplication::setWindowIcon(ownIcon_); }

} // namespace hb::linux_platform
