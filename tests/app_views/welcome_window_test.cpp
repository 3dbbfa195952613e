#include "app/views/welcome_window.h"

#include "platform/fake/fake_accessibility.h"
#include "settings/settings_keys.h"
#include "support/settings_model_fakes.h"
#include "support/snapshots.h"

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

class WelcomeWindowTest : public testing::Test, public test::SettingsModelFakes {
protected:
    WelcomeWindowTest() { accessibility.setTrusted(false); }

    std::unique_ptr<WelcomeWindow> makeWindow()
    {
        auto window = std::make_unique<WelcomeWindow>(WelcomeWindowServices{
            modelServices(),
            accessibility, runtime,
            WizardHandlers{.onComplete = [this] { ++completions; },
                           .listenForTriggers = [this](std::function<void()> listener) { trigger = std::move(listener); }},
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

    fake::FakeAccessibility accessibility;
    int completions = 0;
    std::function<void()> trigger;
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
    useHotkey(test::optionCommandK);
    auto window = makeWindow();
    ASSERT_TRUE(button(*window, "Try"));
    button(*window, "Try")->click();
    EXPECT_FALSE(showsText(*window, "Shortcut works!"));
    EXPECT_TRUE(showsText(*window, "Waiting for your trigger…"));
    // What works here: the default hot key and the command (no double tap is on).
    EXPECT_TRUE(showsText(*window, "Press Alt+Super+K or run “hintboard toggle”."));
    EXPECT_FALSE(button(*window, "Try")->isVisible());
    ASSERT_TRUE(trigger);
    trigger();
    EXPECT_TRUE(showsText(*window, "Shortcut works!"));
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

// With HINTBOARD_SNAPSHOT_DIR set, keeps every step in a light and a dark
// palette as wizard-<step>-<light|dark>.png there.
TEST_F(WelcomeWindowTest, Screenshots)
{
    if (qEnvironmentVariableIsEmpty("HINTBOARD_SNAPSHOT_DIR"))
        GTEST_SKIP() << "HINTBOARD_SNAPSHOT_DIR not set";
    const QPalette original = QApplication::palette();
    for (const auto& [name, palette] :
         {std::pair{"light", QApplication::style()->standardPalette()}, std::pair{"dark", test::darkPalette()}}) {
        QApplication::setPalette(palette);
        for (int step = 0; step < 4; ++step) {
            settings.set(keys::onboardingResumeStep, step);
            accessibility.setTrusted(step == 1 && QString(name) == "dark");  // both states of the permission step
            auto window = makeWindow();
            if (step == 2 && QString(name) == "dark")
                window->wizard().triggerArrived();
            QTest::qWait(300);  // the busy indicator draws a frame
            test::keepSnapshot(window->grab().toImage(), QString("wizard-%1-%2").arg(step + 1).arg(name));
        }
    }
    QApplication::setPalette(original);
}

} // namespace
} // namespace hb::views
