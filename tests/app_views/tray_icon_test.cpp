#include "app/views/tray_icon.h"

#include "support/snapshots.h"

#include <gtest/gtest.h>

#include <QImage>

namespace hb::views {
namespace {

// The double tap's icons: a key cap with the key's name, drawn at the sizes panels ask for.
TEST(TrayIcon, EveryStyleDrawsOnBothPanels)
{
    for (const bool dark : {false, true})
        for (auto style : {MenuBarIconStyle::keyboard, MenuBarIconStyle::command, MenuBarIconStyle::option,
                           MenuBarIconStyle::control}) {
            const QIcon icon = TrayIcon::statusIcon(style, dark);
            for (int size : {16, 22, 32, 48})
                EXPECT_GT(test::inkedPixels(icon.pixmap(size).toImage()), size * 2) << int(style) << " at " << size;
        }
}

} // namespace
} // namespace hb::views
