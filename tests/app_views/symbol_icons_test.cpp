#include "popup/views/symbol_icons.h"

#include "support/snapshots.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

namespace hb::views {
namespace {

TEST(SymbolIcons, EveryShippedSymbolDrawsInItsTint)
{
    const auto names = QDir(QStringLiteral(":/symbols")).entryList();
    ASSERT_GE(names.size(), 20);
    for (const auto& file : names) {
        const auto symbol = file.chopped(4).toStdString();
        SCOPED_TRACE(symbol);
        // Drawn, and tinted: every drawn pixel is red, whatever the file's own colour.
        const QImage image =
            shippedSymbolIcon(symbol, Qt::red, 16).pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_GT(test::inkedPixels(image), 10);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) == 255) {
                    ASSERT_EQ(qRgb(255, 0, 0), image.pixel(x, y) | 0xFF000000u);
                }
            }
        }
    }
}

TEST(SymbolIcons, AnUnknownSymbolStillDrawsSomething)
{
    EXPECT_FALSE(hasShippedSymbol("no.such.symbol"));
    EXPECT_GT(test::inkedPixels(symbolIcon("no.such.symbol", Qt::black).pixmap(16).toImage()), 10);
}

} // namespace
} // namespace hb::views
