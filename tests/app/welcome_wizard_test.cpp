#include "app/welcome_wizard.h"

#include "platform/fake/fake_accessibility.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <memory>

namespace hb {
namespace {

using platform::Seconds;

// Counts the permission reads and requests; a request grants when `grants`.
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
        if (grants)
            setTrusted(true);
        return FakeAccessibility::isProcessTrusted();
    }
    int checks = 0;
    int requests = 0;
    bool grants = true;
};

class WelcomeWizardTest : public testing::Test {
protected:
    WelcomeWizardTest() { accessibility.setTrusted(false); }

    std::unique_ptr<WelcomeWizard> makeWizard()
    {
        auto wizard = std::make_unique<WelcomeWizard>(WelcomeWizardServices{
            settings, accessibility, runtime,
            WizardHandlers{
                // What the application delegate does on completion.
                .onComplete = [this] {
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

    std::optional<platform::PlistValue> storedStep() const { return settings.object(keys::onboardingResumeStep); }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    CountingAccessibility accessibility;
    int completions = 0;
    // What the application calls when a real trigger arrives.
    std::function<void()> trigger;
    int quits = 0;
    int closeRequests = 0;
};

TEST_F(WelcomeWizardTest, ResumesAtTheStoredStepAndWritesEveryChange)
{
    settings.set(keys::onboardingResumeStep, 2);
    auto wizard = makeWizard();
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);

    wizard->back();
    EXPECT_EQ(wizard->step(), WelcomeStep::permission);
    EXPECT_FALSE(wizard->goingForward());
    EXPECT_EQ(storedStep(), platform::PlistValue(1));
    wizard->next();
    wizard->next();
    EXPECT_EQ(wizard->step(), WelcomeStep::loginItem);
    EXPECT_TRUE(wizard->goingForward());
    EXPECT_EQ(storedStep(), platform::PlistValue(3));

    for (platform::PlistValue invalid : {platform::PlistValue(4), platform::PlistValue(-1),
                                         platform::PlistValue("2"), platform::PlistValue(true),
                                         platform::PlistValue(2.0)}) {
        settings.set(keys::onboardingResumeStep, invalid);
        EXPECT_EQ(makeWizard()->step(), WelcomeStep::intro) << platform::describe(invalid);
    }
    settings.remove(keys::onboardingResumeStep);
    auto fresh = makeWizard();
    EXPECT_EQ(fresh->step(), WelcomeStep::intro);
    fresh->back();
    EXPECT_FALSE(storedStep());
}

TEST_F(WelcomeWizardTest, GrantOnThePermissionStepMovesOnAfterADelay)
{
    settings.set(keys::onboardingResumeStep, 1);
    auto wizard = makeWizard();
    EXPECT_FALSE(wizard->permissionGranted());

    accessibility.setTrusted(true);
    runtime.advance(Seconds(0.49));
    EXPECT_FALSE(wizard->permissionGranted());
    runtime.advance(Seconds(0.01));
    EXPECT_TRUE(wizard->permissionGranted());
    runtime.advance(Seconds(0.79));
    EXPECT_EQ(wizard->step(), WelcomeStep::permission);
    runtime.advance(Seconds(0.01));
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);
    EXPECT_EQ(storedStep(), platform::PlistValue(2));

    // Away from the permission step nothing is polled.
    const int checks = accessibility.checks;
    runtime.advance(Seconds(10));
    EXPECT_EQ(accessibility.checks, checks);
}

TEST_F(WelcomeWizardTest, GrantElsewhereWaitsForThePermissionStepAndMovesOnOnce)
{
    settings.set(keys::onboardingResumeStep, 2);
    auto wizard = makeWizard();
    accessibility.setTrusted(true);
    runtime.advance(Seconds(5));
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);

    // Reached already granted: it says so and waits, the first time as after Back.
    for (int visit = 0; visit < 2; ++visit) {
        wizard->back();
        EXPECT_TRUE(wizard->permissionGranted());
        runtime.advance(Seconds(5));
        EXPECT_EQ(wizard->step(), WelcomeStep::permission) << "visit " << visit + 1;
        wizard->next();
    }
}

TEST_F(WelcomeWizardTest, GetStartedWithAccessAlreadyOnStopsAtTheAccessStep)
{
    accessibility.setTrusted(true);
    auto wizard = makeWizard();
    wizard->next();  // "Get started"
    runtime.advance(Seconds(5));
    EXPECT_EQ(wizard->step(), WelcomeStep::permission);
    EXPECT_TRUE(wizard->permissionGranted());
}

TEST_F(WelcomeWizardTest, GrantButtonAsksOnceAndLeavingCancelsTheAdvance)
{
    settings.set(keys::onboardingResumeStep, 1);
    auto wizard = makeWizard();
    accessibility.grants = false;
    wizard->grantAccess();
    EXPECT_EQ(accessibility.requests, 1);
    EXPECT_FALSE(wizard->permissionGranted());

    accessibility.grants = true;
    wizard->grantAccess();
    EXPECT_TRUE(wizard->permissionGranted());
    wizard->next();  // the user is quicker than the delay
    runtime.advance(Seconds(2));
    EXPECT_EQ(wizard->step(), WelcomeStep::trigger);
}

TEST_F(WelcomeWizardTest, TryItNowSucceedsOnlyWhenARealTriggerArrives)
{
    settings.set(keys::onboardingResumeStep, 1);
    auto wizard = makeWizard();
    ASSERT_TRUE(trigger);
    trigger();  // not on the trigger step: nothing to check yet
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::notTried);

    wizard->next();
    wizard->tryItNow();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::waiting);
    runtime.advance(Seconds(60));  // however long it waits
    wizard->tryItNow();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::waiting);
    trigger();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::succeeded);
    wizard->back();
    wizard->next();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::succeeded);

    // A trigger without "Try" counts as well; a gone wizard stops listening.
    wizard.reset();
    EXPECT_FALSE(trigger);
    settings.set(keys::onboardingResumeStep, 2);
    wizard = makeWizard();
    trigger();
    EXPECT_EQ(wizard->triggerCheck(), TriggerCheck::succeeded);
}

TEST_F(WelcomeWizardTest, DoneClosesTheWindowAndOnlyThenCompletes)
{
    settings.set(keys::onboardingResumeStep, 3);
    auto wizard = makeWizard();
    wizard->next();
    EXPECT_TRUE(wizard->isCompleted());
    EXPECT_EQ(closeRequests, 1);
    EXPECT_EQ(completions, 0);

    wizard->windowClosed();
    wizard->windowClosed();
    wizard->next();
    wizard->back();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(settings.boolean(keys::didShowOnboardingWizard));
    EXPECT_FALSE(storedStep());
}

TEST_F(WelcomeWizardTest, ClosingEarlyOrQuittingEndsTheProgramOnce)
{
    settings.set(keys::onboardingResumeStep, 1);
    auto wizard = makeWizard();
    wizard->quit();
    wizard->quit();
    wizard->windowClosed();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(storedStep(), platform::PlistValue(1));  // resumed there next time

    const int checks = accessibility.checks;
    runtime.advance(Seconds(5));
    EXPECT_EQ(accessibility.checks, checks);

    auto other = makeWizard();
    other->windowClosed();
    other->windowClosed();
    EXPECT_EQ(quits, 2);
}

} // namespace
} // namespace hb
