#include "app/views/tray_icon.h"

#include "support/snapshots.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace hb::views {
namespace {

// The double tap's icons: a key cap with the key's name, drawn at the sizes
// panels ask for; kept side by side on both panel colours for a look.
TEST(TrayIcon, EveryStyleDrawsOnBothPanels)
{
    for (const bool dark : {false, true}) {
        QImage panel(4 * 56, 56, QImage::Format_ARGB32);
        panel.fill(dark ? QColor(0x2b, 0x2b, 0x2e) : QColor(0xf0, 0xf0, 0xf0));
        QPainter painter(&panel);
        int column = 0;
        for (auto style : {MenuBarIconStyle::keyboard, MenuBarIconStyle::command, MenuBarIconStyle::option,
                           MenuBarIconStyle::control}) {
            const QIcon icon = TrayIcon::statusIcon(style, dark);
            for (int size : {16, 22, 32, 48})
                EXPECT_GT(test::inkedPixels(icon.pixmap(size).toImage()), size * 2) << int(style) << " at " << size;
            painter.drawPixmap(column++ * 56 + 4, 4, icon.pixmap(48));
        }
        painter.end();
        test::keepSnapshot(panel, dark ? "tray-icons-dark" : "tray-icons-light");
    }
}

} // namespace
} // namespace hb::views
