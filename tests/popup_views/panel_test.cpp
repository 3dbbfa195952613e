#include "panel_fixture.h"

#include "popup/markdown_export.h"
#include "popup/views/chip_button.h"
#include "popup/views/disambiguation_overlay.h"
#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/key_translation.h"
#include "popup/views/message_views.h"
#include "popup/views/shortcut_columns_view.h"
#include "support/accessible_walk.h"
#include "support/snapshots.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <set>

using namespace hb;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

namespace flags = platform::modifier_flags;

class PanelTest : public testing::Test {
protected:
    views::ShortcutColumnsView& columns() { return *harness.view().columnsView(); }
    QLineEdit& search() { return *harness.view().searchField(); }

    void clickRow(std::string_view title, int x = -1)
    {
        auto rect = columns().rowRect(harness.row(title));
        ASSERT_TRUE(rect) << title;
        const QPoint point(x < 0 ? rect->center().x() : rect->left() + x, rect->center().y());
        QTest::mouseClick(&columns(), Qt::LeftButton, {}, point);
    }

    test::PanelHarness harness;
};

TEST_F(PanelTest, KeysReachTheControllerInVirtualKeyCodes)
{
    harness.show(test::editorApplication());
    harness.keyDownConsumes = true;
    // clang-format off
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, std::int64_t, std::uint64_t> cases[] = {
        {Qt::Key_Escape, {}, 53, 0}, {Qt::Key_Backtab, Qt::ShiftModifier, 48, flags::shift},
        {Qt::Key_Enter, Qt::KeypadModifier, 76, 0}, {Qt::Key_K, Qt::ControlModifier, 40, flags::control},
        {Qt::Key_S, Qt::MetaModifier | Qt::ShiftModifier, 1, flags::command | flags::shift},
        {Qt::Key_Up, Qt::AltModifier, 126, flags::option}};
    // clang-format on
    for (const auto& [key, modifiers, code, modifierFlags] : cases) {
        QTest::keyClick(&search(), key, modifiers);
        ASSERT_FALSE(harness.keys.empty());
        EXPECT_EQ(harness.keys.back().keyCode, code) << key;
        EXPECT_EQ(harness.keys.back().modifierFlags, modifierFlags) << key;
    }
    EXPECT_EQ(harness.keys[4].characters, "s");
    EXPECT_EQ(search().text(), "") << "consumed keys never reach the field";

    // Keys off the US layout.
    QKeyEvent shiftedDigit(QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier, "!");
    EXPECT_EQ(views::keyEvent(shiftedDigit).keyCode, 18);
    EXPECT_EQ(views::keyEvent(shiftedDigit).characters, "1");
    QKeyEvent cyrillic(QEvent::KeyPress, 0x0416, Qt::ShiftModifier, QString::fromUtf8("Ж"));
    EXPECT_EQ(views::keyEvent(cyrillic).keyCode, views::unknownKeyCode);
    EXPECT_EQ(views::keyEvent(cyrillic).characters, "ж");
    QKeyEvent keypadDigit(QEvent::KeyPress, Qt::Key_7, Qt::KeypadModifier, "7");
    EXPECT_EQ(views::keyEvent(keypadDigit).keyCode, 89);

    // Modifiers as X11 reports them, before the key changed them, are the end-to-end held trigger's.
}

// Clicks and the actions assistive technologies press (rows read under their
// menus) do the same: a dimmed row does not run, the star pins without running.
TEST_F(PanelTest, RowsRunAndPinByClickAndByAccessibleAction)
{
    harness.settings.set(keys::showDeactivatedSystemShortcuts, true);
    auto app = test::editorApplication();
    auto& rows = app.sections[0].groups[0].shortcuts;
    rows.push_back(Shortcut{.title = "Deactivated",
                            .keys = "⌃⌥⇧K",
                            .axElement = std::make_shared<platform::AccessibleElement>(),
                            .isDisabled = true});
    rows.push_back(Shortcut{.title = "Select Line", .keys = "⌃L", .cannotRunHere = true});
    harness.show(std::move(app));

    clickRow("Save");
    clickRow("Deactivated");
    clickRow("Quit", 8);
    EXPECT_TRUE(harness.model().isFavourite(harness.row("Quit")));

    const auto read = [&](const QString& title) {
        QAccessibleInterface* found = nullptr;
        test::walkAccessible(QAccessible::queryAccessibleInterface(&columns()), [&](QAccessibleInterface& element) {
            found = element.text(QAccessible::Name) == title ? &element : found;
        });
        return found;
    };
    EXPECT_EQ(read("Select Line")->text(QAccessible::Description),
              "Press Ctrl+L yourself: this desktop lets no program run it.");
    QAccessibleInterface* deactivated = read("Deactivated");
    EXPECT_TRUE(deactivated->state().disabled);
    QAccessibleInterface* save = read("Save");
    save->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    deactivated->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_THAT(harness.activated, ElementsAre("Save", "Save"));
    save->actionInterface()->doAction(save->actionInterface()->actionNames().at(1));
    EXPECT_TRUE(harness.model().isFavourite(harness.row("Save")));
    EXPECT_TRUE(read("Save")->state().checked);

    harness.model().setTipIndex(0);
    EXPECT_THAT(test::unnamedControls(harness.window()), IsEmpty());
    harness.model().setDisambiguation(DisambiguationState{.shortcuts = {harness.row("Save")}, .appName = "Mousepad"});
    EXPECT_THAT(test::unnamedControls(harness.window()), IsEmpty());
}

TEST_F(PanelTest, PaintedColumnsAreAsTallAsTheLayoutEstimatesAndTheFrameIsTurnedForQt)
{
    harness.show(test::editorApplication());
    const auto& laidOut = harness.model().columns();
    ASSERT_GE(laidOut.size(), 3u);
    double tallest = 0;
    for (std::size_t c = 0; c < laidOut.size(); ++c) {
        EXPECT_DOUBLE_EQ(columns().columnHeight(c), layout::columnHeight(laidOut[c])) << "column " << c;
        tallest = std::max(tallest, layout::columnHeight(laidOut[c]));
    }
    EXPECT_GE(harness.window().fittingHeight(layout::panelWidth(laidOut.size())), tallest);

    // The frame turns around the screen's bottom left.
    EXPECT_EQ(views::PopupWindow::qtGeometry({{100, 50}, {300, 200}}, QRect(0, 0, 1440, 900)),
              QRect(100, 650, 300, 200));
    EXPECT_EQ(views::PopupWindow::qtGeometry({{-200, 950}, {100, 100}}, QRect(0, 0, 1440, 900)),
              QRect(-200, -150, 100, 100));
}

TEST_F(PanelTest, OverlayOptionsReportTheirIndex)
{
    harness.show(test::editorApplication());
    harness.model().setDisambiguation(
        DisambiguationState{.shortcuts = {harness.row("Reload"), harness.row("Find and Replace…")},
                            .appName = "Mousepad",
                            .hintboardAction = HintboardAction{"Quit Hintboard", std::nullopt, {}}});
    harness.model().setDisambiguationFocusedIndex(2);
    auto* overlay = harness.view().overlay();
    ASSERT_TRUE(overlay->isVisibleTo(&harness.view()));
    const auto& options = overlay->options();
    ASSERT_EQ(options.size(), 4u); // two commands, the own action, Cancel
    EXPECT_TRUE(options[2]->isFocusedOption());
    for (auto* option : options)
        QTest::mouseClick(option, Qt::LeftButton);
    EXPECT_THAT(harness.options, ElementsAre(0u, 1u, 2u, 3u));

    clickRow("Reload");
    EXPECT_THAT(harness.activated, IsEmpty()) << "the list underneath takes no clicks";
    harness.model().setDisambiguation(std::nullopt);
    EXPECT_FALSE(overlay->isVisibleTo(&harness.view()));
}

TEST_F(PanelTest, HeaderTogglesAndTheTipBannerDriveTheModel)
{
    int dismissed = 0;
    harness.window().context().events.dismissTip = [&] {
        ++dismissed;
        harness.model().setTipIndex(harness.model().tipIndex() + 1);
    };
    harness.show(test::editorApplication());
    QTest::mouseClick(harness.view().modifierToggle(1), Qt::LeftButton); // ⌥
    EXPECT_EQ(harness.model().toggledModifiers(), PopupFilterModel::ModifierSet{"⌥"});
    EXPECT_EQ(columns().drawnRowCount(), 2u); // Line Up, Line Down
    harness.model().setToggledModifiers({});
    EXPECT_FALSE(harness.view().modifierToggle(1)->isChecked());
    QTest::mouseClick(harness.view().favouritesToggle(), Qt::LeftButton);
    EXPECT_TRUE(harness.model().showOnlyFavourites());

    const auto tip = [&] { return harness.view().banner()->findChild<QLabel*>("tipText")->text().toStdString(); };
    EXPECT_EQ(tip(), tipText(PopupTip::modifierFilter, notation::defaultKeyLabels));
    QTest::mouseClick(harness.view().banner()->findChild<views::ChipButton*>(), Qt::LeftButton);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(tip(), tipText(PopupTip::search, notation::defaultKeyLabels));
}

TEST_F(PanelTest, ExportCopiesOrSavesAndGivesTheKeyboardBackMeanwhile)
{
    std::vector<QWidget*> grabbersDuringDialogs;
    harness.window().context().exportDialogs.ask = [&](QWidget*, const QString&) {
        grabbersDuringDialogs.push_back(QWidget::keyboardGrabber());
        // Out of the dialog's way, still open for the controller.
        EXPECT_FALSE(harness.window().QWidget::isVisible());
        return views::ExportChoice::copyToClipboard;
    };
    harness.show(test::editorApplication());
    harness.window().fadeIn(platform::Seconds(0));
    const std::string document = markdown::document(harness.model().app(), notation::KeyLabels::words);
    QTest::mouseClick(harness.view().exportButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), document);
    EXPECT_THAT(grabbersDuringDialogs, ElementsAre(nullptr));
    EXPECT_EQ(QWidget::keyboardGrabber(), &search());
    EXPECT_TRUE(harness.window().QWidget::isVisible());

    // Saving is the end-to-end test's; a folder that is not there is reported.
    int failures = 0;
    auto& dialogs = harness.window().context().exportDialogs;
    dialogs.ask = [](QWidget*, const QString&) { return views::ExportChoice::saveAsFile; };
    dialogs.saveLocation = [](QWidget*, const QString&) { return QStringLiteral("/nonexistent/folder/sheet.md"); };
    dialogs.reportSaveFailure = [&](QWidget*, const QString&) { ++failures; };
    QTest::mouseClick(harness.view().exportButton(), Qt::LeftButton);
    EXPECT_EQ(failures, 1);
}

TEST_F(PanelTest, ExportFinishesWhenThePopupClosesWhileItsFileDialogIsOpen)
{
    test::TemporaryFolder folder;
    const auto location = QString::fromStdString((folder.path() / "sheet.md").string());
    auto& context = harness.window().context();
    context.exportDialogs.ask = [](QWidget*, const QString&) { return views::ExportChoice::saveAsFile; };
    context.exportDialogs.saveLocation = [&](QWidget* panel, const QString&) {
        EXPECT_NE(panel, nullptr);
        // Activation went elsewhere meanwhile: the controller hid the popup and let its window go.
        harness.releaseWindow();
        return location;
    };
    harness.show(test::editorApplication());
    const std::string document = markdown::document(harness.model().app(), notation::defaultKeyLabels);
    QTest::mouseClick(harness.view().exportButton(), Qt::LeftButton);
    QFile saved(location);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), document);
}

// The identities of the pixmaps that the widget's labels and actions draw.
std::set<qint64> drawnPixmaps(const QWidget& widget)
{
    std::set<qint64> keys;
    for (const auto* label : widget.findChildren<QLabel*>())
        if (!label->pixmap().isNull())
            keys.insert(label->pixmap().cacheKey());
    for (const auto* action : widget.findChildren<QAction*>())
        if (!action->icon().isNull())
            keys.insert(action->icon().pixmap(16).cacheKey());
    return keys;
}

// Every opening makes the views anew. Qt keeps the pixmaps that icons hand out
// in its pixmap cache under each pixmap's identity, so views that drew new
// pixmaps every time would make the program grow with every opening.
TEST(RepeatedShowings, DrawTheSamePixmapsEveryTime)
{
    test::PanelHarness first, second;
    first.show(test::editorApplication());
    second.show(test::editorApplication());
    const auto drawn = drawnPixmaps(first.window());
    EXPECT_FALSE(drawn.empty());
    EXPECT_EQ(drawnPixmaps(second.window()), drawn);
    const views::MessageView message(views::Glyph::keyboard, QStringLiteral("No keyboard shortcuts found for A"));
    const views::MessageView again(views::Glyph::keyboard, QStringLiteral("No keyboard shortcuts found for B"));
    EXPECT_EQ(drawnPixmaps(again), drawnPixmaps(message));
}

// Every state of the panel is drawn in the desktop's palette, dark or light:
// the mean lightness of the drawn pixels follows it.
TEST(PanelPalette, EveryStateIsDrawnInTheDesktopsPalette)
{
    const QPalette saved = QApplication::palette();
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QApplication::setPalette(dark ? test::darkPalette() : saved);
        const auto expectDrawn = [&](QWidget& window, const char* state) {
            QApplication::processEvents();
            const QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
            long long sum = 0, count = 0;
            for (int y = 0; y < image.height(); y += 2)
                for (int x = 0; x < image.width(); x += 2)
                    if (qAlpha(image.pixel(x, y)) == 255)
                        sum += QColor(image.pixel(x, y)).lightness(), ++count;
            const int shade = count ? int(sum / count) : -1;
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
