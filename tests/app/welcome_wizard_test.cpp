#include "onboarding/welcome_wizard.h"

#include "fake/fake_accessibility.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <memory>

namespace hb {
namespace {

using platform::PlistValue;
using platform::Seconds;

// Counts the permission reads and requests.
class CountingAccessibility : public fake::FakeAccessibility {
public:
    bool isProcessTrusted() override
    {
        ++checks;
        return FakeAccessibility::isProcessTrusted();
    }
    bool requestTrust() override
    {
        ++requests;
        return FakeAccessibility::requestTrust();
    }
    int checks = 0;
    int requests = 0;
};

class WelcomeWizardTest : public testing::Test {
protected:
    WelcomeWizardTest() { accessibility.setTrusted(false); }

    std::unique_ptr<WelcomeWizard> makeWizard(std::optional<int> step = std::nullopt)
    {
        if (step)
            settings.set(keys::onboardingResumeStep, *step);
        auto wizard = std::make_unique<WelcomeWizard>(WelcomeWizardServices{
            settings, accessibility, runtime,
            WizardHandlers{
                // What the application delegate does on completion.
                .onComplete =
                    [this] {
                        ++completions;
                        settings.set(keys::didShowOnboardingWizard, true);
                        settings.remove(keys::onboardingResumeStep);
                    },
                .listenForTriggers = [this](std::function<void()> listener) { trigger = std::move(listener); },
            },
            [this] { ++quits; }});
        wizard->onCloseRequested = [this] { ++closeRequests; };
        return wizard;
    }
    std::optional<PlistValue> storedStep() const { return settings.object(keys::onboardingResumeStep); }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    CountingAccessibility accessibility;
    std::function<void()> trigger; // what the application calls when a real trigger arrives
    int completions = 0;
    int quits = 0;
    int closeRequests = 0;
};

TEST_F(WelcomeWizardTest, ResumesAtTheStoredStepAndWritesEveryChange)
{
    auto wizard = makeWizard(2);
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);
    wizard->back();
    EXPECT_EQ(wizard->step(), WelcomeStep::permission);
    EXPECT_FALSE(wizard->goingForward());
    EXPECT_EQ(storedStep(), PlistValue(1));
    wizard->next();
    wizard->next();
    EXPECT_TRUE(wizard->goingForward());
    EXPECT_EQ(storedStep(), PlistValue(3));

    for (PlistValue invalid : {PlistValue(4), PlistValue(-1), PlistValue("2")}) {
        settings.set(keys::onboardingResumeStep, invalid);
        EXPECT_EQ(makeWizard()->step(), WelcomeStep::intro) << platform::describe(invalid);
    }
    settings.remove(keys::onboardingResumeStep);
    makeWizard()->back();
    EXPECT_FALSE(storedStep());
}

TEST_F(WelcomeWizardTest, AGrantOnThePermissionStepMovesOnAfterADelayAndOnlyThere)
{
    auto wizard = makeWizard(1);
    accessibility.setTrusted(true);
    runtime.advance(Seconds(0.49));
    EXPECT_FALSE(wizard->permissionGranted());
    runtime.advance(Seconds(0.01));
    EXPECT_TRUE(wizard->permissionGranted());
    runtime.advance(Seconds(0.79));
    EXPECT_EQ(wizard->step(), WelcomeStep::permission);
    runtime.advance(Seconds(0.01));
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);
    // Away from the permission step nothing is polled.
    const int checks = accessibility.checks;
    runtime.advance(Seconds(10));
    EXPECT_EQ(accessibility.checks, checks);

    // Reached already granted: it says so and waits.
    wizard->back();
    runtime.advance(Seconds(5));
    EXPECT_EQ(wizard->step(), WelcomeStep::permission);

    // The button asks once per press; the user quicker than the delay is not moved twice.
    accessibility.setTrusted(false);
    wizard = makeWizard(1);
    wizard->grantAccess();
    EXPECT_EQ(accessibility.requests, 1);
    EXPECT_FALSE(wizard->permissionGranted());
    accessibility.setTrusted(true);
    wizard->grantAccess();
    wizard->next();
    runtime.advance(Seconds(2));
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);
}

TEST_F(WelcomeWizardTest, TryItNowSucceedsOnlyWhenARealTriggerArrivesAndDoneCompletesOnce)
{
    auto wizard = makeWizard(1);
    trigger(); // not on the trigger step: nothing to check yet
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::notTried);
    wizard->next();
    wizard->tryItNow();
    runtime.advance(Seconds(60)); // however long it waits
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::waiting);
    trigger();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::succeeded);
    wizard.reset();
    EXPECT_FALSE(trigger) << "a gone wizard stops listening";
    wizard = makeWizard(2);
    trigger();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::succeeded) << "without Try as well";
    wizard.reset();

    // Done closes the window, then completes once; closing early quits once.
    wizard = makeWizard(3);
    wizard->next();
    EXPECT_EQ(closeRequests, 1);
    EXPECT_EQ(completions, 0);
    wizard->windowClosed();
    wizard->windowClosed();
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(storedStep());
    wizard = makeWizard(1);
    wizard->quit();
    wizard->quit();
    wizard->windowClosed();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(storedStep(), PlistValue(1)); // resumed there next time
}

} // namespace
} // namespace hb
