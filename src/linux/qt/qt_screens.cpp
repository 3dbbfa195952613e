#include "linux/qt/qt_screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace hb::linux_platform {
namespace {

QRect primaryGeometry()
{
    const auto* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

platform::Screen screenOf(const QScreen& screen, const QRect& primary)
{
    return platform::Screen{fromQt(screen.geometry(), primary), fromQt(screen.availableGeometry(), primary)};
}

} // namespace

platform::Rect fromQt(const QRect& rect, const QRect& primary)
{
    const double bottom = double(rect.y()) + rect.height();
    return platform::Rect{{double(rect.x() - primary.x()), double(primary.y() + primary.height()) - bottom},
                          {double(rect.width()), double(rect.height())}};
}

platform::Point fromQt(const QPoint& point, const QRect& primary)
{
    return platform::Point{double(point.x() - primary.x()), double(primary.y() + primary.height() - point.y())};
}

QRect toQt(const platform::Rect& rect, const QRect& primary)
{
    const double top = double(primary.y() + primary.height()) - rect.maxY();
    return QRect(int(std::lround(rect.minX() + primary.x())), int(std::lround(top)), int(std::lround(rect.size.width)),
                 int(std::lround(rect.size.height)));
}

QRect toQt(const platform::Rect& rect)
{
    return toQt(rect, primaryGeometry());
}

std::vector<platform::Screen> QtScreens::screens()
{
    const auto* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return {};
    const auto origin = primary->geometry();
    std::vector<platform::Screen> result{screenOf(*primary, origin)};
    for (const auto* screen : QGuiApplication::screens())
        if (screen != primary)
            result.push_back(screenOf(*screen, origin));
    return result;
}

std::optional<platform::Screen> QtScreens::mainScreen()
{
    const QScreen* screen = nullptr;
    if (const auto* focused = QGuiApplication::focusWindow())
        screen = focused->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return screenOf(*screen, primaryGeometry());
}

platform::Point QtScreens::mouseLocation()
{
    return fromQt(QCursor::pos(), primaryGeometry());
}

} // namespace hb::linux_platform
