#include "popup/views/window_placement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace hb::views {

void centreOnPointerScreen(QWidget& window)
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Before the first showing the frame is not known: the window's own size stands for it.
    const QSize size = window.isVisible() ? window.frameGeometry().size() : window.size();
    QRect frame(QPoint(), size);
    frame.moveCenter(area.center());
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - size.height()));
    window.move(x, y);
}

} // namespace hb::views
