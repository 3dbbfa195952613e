#pragma once

#include "platform/screens.h"

#include <QPoint>
#include <QRect>

namespace hb::linux_platform {

// Between Qt's virtual desktop (origin top left, y downwards) and the core's
// coordinates (origin at the bottom left of the primary screen, y upwards).
// `primary` is the primary screen's geometry in Qt's coordinates.
platform::Rect fromQt(const QRect& rect, const QRect& primary);
platform::Point fromQt(const QPoint& point, const QRect& primary);
QRect toQt(const platform::Rect& rect, const QRect& primary);
// The same against the primary screen of the running application.
QRect toQt(const platform::Rect& rect);

// The screens of the Qt application, the primary one first. Main thread only,
// with a QGuiApplication.
class QtScreens final : public platform::Screens {
public:
    std::vector<platform::Screen> screens() override;
    // The screen of the window with the keyboard focus, else the primary one.
    std::optional<platform::Screen> mainScreen() override;
    platform::Point mouseLocation() override;
};

} // namespace hb::linux_platform
