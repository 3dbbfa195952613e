// Every state of the panel is drawn in the desktop's palette, dark or light.
#include "panel_fixture.h"

#include "popup/views/filterable_shortcuts_view.h"
#include "support/snapshots.h"

#include <QImage>

using namespace hb;

namespace {

// The mean lightness (0–255) of the drawn pixels.
int lightness(QWidget& window)
{
    QApplication::processEvents();
    const QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    long long sum = 0, count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (qAlpha(image.pixel(x, y)) == 255)
                sum += QColor(image.pixel(x, y)).lightness(), ++count;
    return count ? int(sum / count) : -1;
}

TEST(PanelPalette, EveryStateIsDrawnInTheDesktopsPalette)
{
    const QPalette saved = QApplication::palette();
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(dark ? test::darkPalette() : saved);
        const auto expectDrawn = [&](QWidget& window, const char* state) {
            const int shade = lightness(window);
            EXPECT_TRUE(dark ? (shade >= 0 && shade < 100) : shade > 150) << state << " " << shade;
        };
        test::PanelHarness harness;
        harness.settings.set(keys::popupOpenCount, 10); // the nudge banner
        harness.settings.set(keys::popupTipIndex, 3);
        harness.show(test::editorApplication());
        harness.model().selectNext();
        expectDrawn(harness.window(), "list");
        harness.model().setDisambiguation(DisambiguationState{
            .shortcuts = {harness.row("Close Tab")},
            .appName = "Mousepad",
            .hintboardAction = HintboardAction{"Close Hintboard Popup", "Tip: press Esc to dismiss the popup", {}}});
        expectDrawn(harness.window(), "overlay");
        harness.window().showPermissionRequest();
        harness.window().resize(420, 300);
        expectDrawn(harness.window(), "permission");
    }
    QApplication::setPalette(saved);
}

} // namespace
