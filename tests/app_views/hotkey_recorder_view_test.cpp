#include "app/views/hotkey_recorder_view.h"

#include "support/settings_model_fakes.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace hb::views {
namespace {

namespace flags = platform::modifier_flags;

class HotkeyRecorderViewTest : public testing::Test, public test::SettingsModelFakes {
protected:
    std::unique_ptr<SettingsModel> model = std::make_unique<SettingsModel>(modelServices());
};

// What the model does with each key is the settings model's test; here the
// view's badge and buttons follow it.
TEST_F(HotkeyRecorderViewTest, BadgeFollowsRecordingRefusalAndEscape)
{
    useHotkey(test::optionCommandK);
    model = std::make_unique<SettingsModel>(modelServices());
    HotkeyRecorderView view(*model);
    EXPECT_EQ(view.badgeText(), "Alt+Super+K");

    view.recordButton()->click();
    EXPECT_NE(view.badgeText(), "Alt+Super+K");
    EXPECT_FALSE(view.clearButton()->isEnabled());
    monitors.pressKey({53, 0, std::nullopt}); // Escape
    EXPECT_EQ(view.badgeText(), "Alt+Super+K");

    hotkeyService.holdElsewhere(3, 0x1100);
    view.recordButton()->click();
    monitors.pressKey({3, flags::control | flags::command, "f"});
    EXPECT_EQ(view.badgeText(), "Alt+Super+K");
    EXPECT_FALSE(view.failureLine()->isHidden());
    view.recordButton()->click();
    EXPECT_TRUE(view.failureLine()->isHidden());
    monitors.pressKey({96, flags::command | flags::shift, std::nullopt});
    model->setKeyLabels(notation::KeyLabels::symbols);
    EXPECT_EQ(view.badgeText(), "⇧⌘F5");

    view.clearButton()->click();
    EXPECT_FALSE(loadHotkey(settings));
}

// Keys typed into this program's windows while recording never reach them;
// without the desktop's key monitor (Wayland) the recording takes them itself.
TEST_F(HotkeyRecorderViewTest, KeysIntoOwnWindowsAreTakenOnlyWhileRecording)
{
    QLineEdit field;
    field.show();
    QApplication::setActiveWindow(&field);
    field.setFocus();
    {
        HotkeyRecorderView view(*model);
        view.recordButton()->click();
        QTest::keyClicks(&field, "ab");
        EXPECT_EQ(field.text(), "");
        model->stopRecording();
        QTest::keyClicks(&field, "ab");
        EXPECT_EQ(field.text(), "ab");
        view.recordButton()->click();
    }
    EXPECT_FALSE(model->isRecording()) << "destroying the view ends the recording";
    EXPECT_EQ(monitors.monitorCount(), 0u);

    monitors.setAvailable(false);
    HotkeyRecorderView view(*model);
    view.recordButton()->click();
    QTest::keyClick(&field, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(loadHotkey(settings));
    EXPECT_EQ(loadHotkey(settings)->displayString, "⌃⌥J");
    EXPECT_EQ(field.text(), "ab");

    DoubleTapModifierPicker picker(*model);
    picker.activated(picker.findText("Super"));
    EXPECT_EQ(model->doubleTapModifier(), DoubleTapModifier::command);
}

} // namespace
} // namespace hb::views
