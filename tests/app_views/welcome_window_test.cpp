#include "app/views/welcome_window.h"

#include "fake/fake_accessibility.h"
#include "settings/settings_keys.h"
#include "support/settings_model_fakes.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <memory>

// The wizard's steps, the permission poll and the trigger check are the
// wizard's tests; here the window shows them and takes the keys.
namespace hb::views {
namespace {

using platform::Seconds;

class WelcomeWindowTest : public testing::Test, public test::SettingsModelFakes {
protected:
    WelcomeWindowTest() { accessibility.setTrusted(false); }

    std::unique_ptr<WelcomeWindow> makeWindow()
    {
        auto window = std::make_unique<WelcomeWindow>(WelcomeWindowServices{
            modelServices(), accessibility, runtime,
            WizardHandlers{.onComplete = [this] { ++completions; },
                           .listenForTriggers = [this](std::function<void()> listener) { trigger = std::move(listener); }},
            [this] { ++quits; }});
        window->present();
        return window;
    }

    static int stepShown(WelcomeWindow& window) { return window.findChild<QStackedWidget*>()->indexOf(window.currentPage()); }
    static bool showsText(WelcomeWindow& window, const QString& text)
    {
        for (const auto* label : window.currentPage()->findChildren<QLabel*>())
            if (label->isVisible() && label->text() == text)
                return true;
        return false;
    }
    static void press(WelcomeWindow& window, Qt::Key key)
    {
        QTest::keyClick(window.focusWidget() ? window.focusWidget() : &window, key);
    }

    fake::FakeAccessibility accessibility;
    int completions = 0;
    std::function<void()> trigger;
    int quits = 0;
};

TEST_F(WelcomeWindowTest, StepsFitAndReturnGoesOnEscapeStaysDoneCompletes)
{
    auto window = makeWindow();
    auto* stack = window->findChild<QStackedWidget*>();
    for (int step = 0; step < 4; ++step) {  // nothing clipped
        QWidget* page = stack->widget(step);
        EXPECT_LE(page->minimumSizeHint().width(), stack->width()) << step;
        EXPECT_LE(page->layout()->totalHeightForWidth(stack->width()), stack->height()) << step;
    }
    press(*window, Qt::Key_Return);
    EXPECT_EQ(stepShown(*window), 1);
    press(*window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(stepShown(*window), 1);

    window->leadingButton()->setFocus();  // a focused button takes Return itself: Back
    press(*window, Qt::Key_Return);
    EXPECT_EQ(stepShown(*window), 0);

    window->primaryButton()->setFocus();
    for (int i = 0; i < 4; ++i)
        press(*window, Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(quits, 0);
}

TEST_F(WelcomeWindowTest, PermissionAndTriggerStepsShowWhatTheWizardReports)
{
    settings.set(keys::onboardingResumeStep, 1);
    useHotkey(test::optionCommandK);
    auto window = makeWindow();
    EXPECT_TRUE(showsText(*window, "Waiting for permission…"));
    accessibility.setTrusted(true);
    runtime.advance(Seconds(0.5));
    EXPECT_TRUE(showsText(*window, "Access granted"));

    window->primaryButton()->click();
    EXPECT_EQ(stepShown(*window), 2);
    QPushButton* tryButton = nullptr;
    for (auto* b : window->currentPage()->findChildren<QPushButton*>())
        if (b->text() == "Try")
            tryButton = b;
    ASSERT_TRUE(tryButton);
    tryButton->click();
    EXPECT_TRUE(showsText(*window, "Waiting for your trigger…"));
    EXPECT_FALSE(tryButton->isVisible());
    ASSERT_TRUE(trigger);
    trigger();
    EXPECT_TRUE(showsText(*window, "Shortcut works!"));
}

TEST_F(WelcomeWindowTest, ClosingBeforeTheEndQuitsOnce)
{
    auto window = makeWindow();
    window->leadingButton()->click();  // "Quit Hintboard"
    window->close();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(completions, 0);
}

} // namespace
} // namespace hb::views
