#include "popup/views/symbol_icons.h"

#include "support/snapshots.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

namespace hb::views {
namespace {

int inkedPixels(const QIcon& icon, int size)
{
    return test::inkedPixels(icon.pixmap(size).toImage());
}

TEST(SymbolIcons, EveryShippedSymbolDrawsInItsTint)
{
    const auto names = QDir(QStringLiteral(":/symbols")).entryList();
    ASSERT_GE(names.size(), 20);
    for (const auto& file : names) {
        const auto symbol = file.chopped(4).toStdString();
        SCOPED_TRACE(symbol);
        const QIcon icon = shippedSymbolIcon(symbol, Qt::red, 16);
        EXPECT_GT(inkedPixels(icon, 16), 10);
        // Tinted: every drawn pixel is red, whatever the file's own colour.
        const QImage image = icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) == 255) {
                    ASSERT_EQ(qRgb(255, 0, 0), image.pixel(x, y) | 0xFF000000u);
                }
            }
        }
    }
}

TEST(SymbolIcons, NeverMissing)
{
    EXPECT_FALSE(hasShippedSymbol("no.such.symbol"));
    EXPECT_GT(inkedPixels(symbolIcon("no.such.symbol", Qt::black), 16), 10);
    EXPECT_GT(inkedPixels(symbolIcon("brain.fill", Qt::black), 48), 100);
    EXPECT_GT(inkedPixels(symbolIcon("gearshape", Qt::black), 16), 10);
}

} // namespace
} // namespace hb::views
