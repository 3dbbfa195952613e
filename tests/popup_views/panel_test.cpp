#include "panel_fixture.h"

#include "popup/markdown_export.h"
#include "popup/views/chip_button.h"
#include "popup/views/disambiguation_overlay.h"
#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/key_translation.h"
#include "popup/views/message_views.h"
#include "popup/views/shortcut_columns_view.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

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
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::int64_t code;
        std::uint64_t flags;
    };
    // clang-format off
    const Case cases[] = {
        {Qt::Key_Escape, {}, 53, 0}, {Qt::Key_Backtab, Qt::ShiftModifier, 48, flags::shift},
        {Qt::Key_Enter, Qt::KeypadModifier, 76, 0}, {Qt::Key_K, Qt::ControlModifier, 40, flags::control},
        {Qt::Key_S, Qt::MetaModifier | Qt::ShiftModifier, 1, flags::command | flags::shift},
        {Qt::Key_Up, Qt::AltModifier, 126, flags::option}};
    // clang-format on
    for (const auto& c : cases) {
        QTest::keyClick(&search(), c.key, c.modifiers);
        ASSERT_FALSE(harness.keys.empty());
        EXPECT_EQ(harness.keys.back().keyCode, c.code) << c.key;
        EXPECT_EQ(harness.keys.back().modifierFlags, c.flags) << c.key;
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

TEST_F(PanelTest, ClicksOnRowsAndStars)
{
    harness.settings.set(keys::showDeactivatedSystemShortcuts, true);
    auto app = test::editorApplication();
    Shortcut deactivated{.title = "Deactivated",
                         .keys = "⌃⌥⇧K",
                         .axElement = std::make_shared<platform::AccessibleElement>(),
                         .isDisabled = true};
    app.sections[0].groups[0].shortcuts.push_back(deactivated);
    harness.show(std::move(app));

    clickRow("Save");
    clickRow("Deactivated");
    EXPECT_THAT(harness.activated, ElementsAre("Save"));

    // The star toggles the favourite and does not run the command.
    EXPECT_FALSE(harness.model().isFavourite(harness.row("Quit")));
    clickRow("Quit", 8);
    EXPECT_TRUE(harness.model().isFavourite(harness.row("Quit")));
    EXPECT_THAT(harness.activated, ElementsAre("Save"));
}

TEST_F(PanelTest, PaintedColumnsAreAsTallAsTheLayoutEstimates)
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

TEST_F(PanelTest, WindowFrameTurnsAroundTheScreensBottomLeft)
{
    EXPECT_EQ(views::PopupWindow::qtGeometry({{100, 50}, {300, 200}}, QRect(0, 0, 1440, 900)),
              QRect(100, 650, 300, 200));
    EXPECT_EQ(views::PopupWindow::qtGeometry({{-200, 950}, {100, 100}}, QRect(0, 0, 1440, 900)),
              QRect(-200, -150, 100, 100));
    // Showing takes the keyboard and hiding gives it back: the end-to-end popup's keyboard journey.
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

} // namespace
