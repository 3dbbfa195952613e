#include "app/views/welcome_window.h"

#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_app_presence.h"
#include "platform/fake/fake_event_monitors.h"
#include "platform/fake/fake_hotkey_service.h"
#include "platform/fake/fake_login_item.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>

#include <memory>

namespace hb::views {
namespace {

using platform::Seconds;

class WelcomeWindowTest : public testing::Test {
protected:
    WelcomeWindowTest() { accessibility.setTrusted(false); }

    std::unique_ptr<WelcomeWindow> makeWindow()
    {
        auto window = std::make_unique<WelcomeWindow>(WelcomeWindowServices{
            SettingsModelServices{settings, hotkeys, doubleTap, monitors, center, loginItems, presence,
                                  [] { return false; }, [](bool) {}},
            accessibility, runtime,
            WizardHandlers{.onComplete = [this] { ++completions; }, .onTryItNow = [this] { ++tries; }},
            [this] { ++quits; }});
        window->present();
        return window;
    }

    static int stepShown(WelcomeWindow& window)
    {
        return window.findChild<QStackedWidget*>()->indexOf(window.currentPage());
    }
    static bool showsText(WelcomeWindow& window, const QString& text)
    {
        for (const auto* label : window.currentPage()->findChildren<QLabel*>())
            if (label->isVisible() && label->text() == text)
                return true;
        return false;
    }
    static QPushButton* button(WelcomeWindow& window, const QString& text)
    {
        for (auto* b : window.currentPage()->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    static void press(WelcomeWindow& window, Qt::Key key)
    {
        QWidget* target = window.focusWidget() ? window.focusWidget() : &window;
        QTest::keyClick(target, key);
    }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, nullptr};
    fake::FakeEventMonitors monitors;
    fake::FakeHotkeyService hotkeyService;
    HotkeyManager hotkeys{hotkeyService, runtime, log};
    DoubleTapTrigger doubleTap{monitors, runtime, settings, log};
    platform::NotificationCenter center{runtime};
    fake::FakeLoginItemService loginService;
    LoginItemManager loginItems{loginService, log};
    fake::FakeAppPresence presence;
    fake::FakeAccessibility accessibility;
    int completions = 0;
    int tries = 0;
    int quits = 0;
};

TEST_F(WelcomeWindowTest, ResumesAtTheStoredStepAndLabelsTheButtonsPerStep)
{
    settings.set(keys::onboardingResumeStep, 2);
    auto window = makeWindow();
    EXPECT_EQ(window->windowTitle(), "Welcome to Hintboard");
    EXPECT_EQ(window->size(), QSize(420, 490));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_EQ(stepShown(*window), 2);
    EXPECT_TRUE(showsText(*window, "Set your trigger"));
    auto* stack = window->findChild<QStackedWidget*>();
    for (int step = 0; step < 4; ++step) {  // nothing clipped
        QWidget* page = stack->widget(step);
        EXPECT_LE(page->minimumSizeHint().width(), stack->width()) << step;
        EXPECT_LE(page->layout()->totalHeightForWidth(stack->width()), stack->height()) << step;
    }

    const std::pair<QString, QString> expected[] = {
        {"Quit Hintboard", "Get started"}, {"Back", "Next"}, {"Back", "Next"}, {"Back", "Done"}};
    window->leadingButton()->click();
    window->leadingButton()->click();
    for (int step = 0; step < 4; ++step) {
        EXPECT_EQ(stepShown(*window), step);
        EXPECT_EQ(window->leadingButton()->text(), expected[step].first);
        EXPECT_EQ(window->primaryButton()->text(), expected[step].second);
        if (step < 3)
            window->primaryButton()->click();
    }
    EXPECT_EQ(settings.integer(keys::onboardingResumeStep), 3);
    EXPECT_EQ(quits + completions, 0);
}

TEST_F(WelcomeWindowTest, MovesOnByItselfAfterTheGrant)
{
    settings.set(keys::onboardingResumeStep, 1);
    auto window = makeWindow();
    EXPECT_TRUE(showsText(*window, "Waiting for permission…"));
    ASSERT_TRUE(button(*window, "Turn On Accessibility…"));
    EXPECT_TRUE(button(*window, "Turn On Accessibility…")->isVisible());

    accessibility.setTrusted(true);
    runtime.advance(Seconds(0.5));
    EXPECT_TRUE(showsText(*window, "Access granted"));
    EXPECT_FALSE(button(*window, "Turn On Accessibility…")->isVisible());
    runtime.advance(Seconds(0.8));
    EXPECT_EQ(stepShown(*window), 2);
}

TEST_F(WelcomeWindowTest, TryMarksTheTriggerStep)
{
    settings.set(keys::onboardingResumeStep, 2);
    auto window = makeWindow();
    ASSERT_TRUE(button(*window, "Try"));
    button(*window, "Try")->click();
    EXPECT_EQ(tries, 1);
    EXPECT_TRUE(showsText(*window, "Shortcut works!"));
    EXPECT_FALSE(button(*window, "Try")->isVisible());
}

TEST_F(WelcomeWindowTest, ReturnGoesOnEscapeStaysAndDoneCompletes)
{
    auto window = makeWindow();
    press(*window, Qt::Key_Return);
    EXPECT_EQ(stepShown(*window), 1);
    press(*window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(stepShown(*window), 1);

    window->leadingButton()->setFocus();  // a focused button takes Return itself
    press(*window, Qt::Key_Return);
    EXPECT_EQ(stepShown(*window), 0);

    window->primaryButton()->setFocus();
    for (int i = 0; i < 4; ++i)
        press(*window, Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(quits, 0);
}

TEST_F(WelcomeWindowTest, ClosingBeforeTheEndQuitsOnce)
{
    auto window = makeWindow();
    window->leadingButton()->click();  // "Quit Hintboard"
    window->close();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(completions, 0);
}

// With HINTBOARD_SHOT_DIR set, saves every step in a light and a dark palette
// as wizard-<step>-<light|dark>.png there.
TEST_F(WelcomeWindowTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("HINTBOARD_SHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "HINTBOARD_SHOT_DIR not set";
    const QPalette original = QApplication::palette();
    const QPalette light = QApplication::style()->standardPalette();
    QPalette dark = light;
    for (auto [role, color] : {std::pair{QPalette::Window, QColor(0x2B, 0x2B, 0x2B)},
                               {QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE)}, {QPalette::Base, QColor(0x1E, 0x1E, 0x1E)},
                               {QPalette::AlternateBase, QColor(0x33, 0x33, 0x33)}, {QPalette::Text, QColor(0xEE, 0xEE, 0xEE)},
                               {QPalette::Button, QColor(0x3A, 0x3A, 0x3A)}, {QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE)},
                               {QPalette::Highlight, QColor(0x3D, 0x8E, 0xE0)}, {QPalette::Link, QColor(0x6C, 0xB4, 0xFF)},
                               {QPalette::HighlightedText, QColor(Qt::white)}, {QPalette::Mid, QColor(0x50, 0x50, 0x50)}})
        dark.setColor(role, color);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    for (const auto& [name, palette] : {std::pair{"light", light}, std::pair{"dark", dark}}) {
        QApplication::setPalette(palette);
        for (int step = 0; step < 4; ++step) {
            settings.set(keys::onboardingResumeStep, step);
            accessibility.setTrusted(step == 1 && QString(name) == "dark");  // both states of the permission step
            auto window = makeWindow();
            if (step == 2 && QString(name) == "dark")
                window->wizard().tryItNow();
            QTest::qWait(300);  // the busy indicator draws a frame
            EXPECT_TRUE(window->grab().save(QDir(folder).filePath(QString("wizard-%1-%2.png").arg(step + 1).arg(name))));
        }
    }
    QApplication::setPalette(original);
}

} // namespace
} // namespace hb::views
