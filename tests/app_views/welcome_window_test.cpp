#include "app/views/welcome_window.h"

#include "fake/fake_accessibility.h"
#include "settings/settings_keys.h"
#include "support/settings_model_fakes.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStackedWidget>

// The wizard's steps, the permission poll and the trigger check are the
// wizard's tests; here the window shows them and takes the keys.
namespace hb::views {
namespace {

class WelcomeWindowTest : public testing::Test, public test::SettingsModelFakes {
protected:
    fake::FakeAccessibility accessibility;
    int completions = 0;
    int quits = 0;
};

TEST_F(WelcomeWindowTest, StepsFitAndShowTheWizardsState)
{
    accessibility.setTrusted(false);
    WelcomeWindow window(WelcomeWindowServices{modelServices(), accessibility, runtime,
                                               WizardHandlers{.onComplete = [this] { ++completions; }},
                                               [this] { ++quits; }});
    window.present();
    auto* stack = window.findChild<QStackedWidget*>();
    for (int step = 0; step < 4; ++step) { // nothing clipped
        QWidget* page = stack->widget(step);
        EXPECT_LE(page->minimumSizeHint().width(), stack->width()) << step;
        EXPECT_LE(page->layout()->totalHeightForWidth(stack->width()), stack->height()) << step;
    }
    // The permission step shows the grant the wizard saw; keys and buttons are the end-to-end test's.
    window.primaryButton()->click();
    const auto shows = [&](const QString& text) {
        for (const auto* label : window.currentPage()->findChildren<QLabel*>())
            if (label->isVisible() && label->text() == text)
                return true;
        return false;
    };
    EXPECT_TRUE(shows("Waiting for permission…"));
    accessibility.setTrusted(true);
    runtime.advance(platform::Seconds(0.5));
    EXPECT_TRUE(shows("Access granted"));
}

TEST_F(WelcomeWindowTest, ClosingBeforeTheEndQuits)
{
    WelcomeWindow window(
        WelcomeWindowServices{modelServices(), accessibility, runtime, WizardHandlers{}, [this] { ++quits; }});
    window.present();
    window.close();
    EXPECT_EQ(quits, 1);
}

} // namespace
} // namespace hb::views
