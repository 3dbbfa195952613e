#include "onboarding/welcome_wizard.h"

#include "settings/settings_keys.h"

#include <utility>

namespace hb {

WelcomeStep storedWelcomeStep(const platform::SettingsDomain& settings)
{
    const auto value = settings.object(keys::onboardingResumeStep);
    const auto* raw = value ? value->as<std::int64_t>() : nullptr;
    if (!raw || *raw < 0 || *raw >= welcomeStepCount)
        return WelcomeStep::intro;
    return static_cast<WelcomeStep>(*raw);
}

WelcomeWizard::WelcomeWizard(WelcomeWizardServices services)
    : services_(std::move(services)), step_(storedWelcomeStep(services_.settings))
{
    if (services_.handlers.listenForTriggers)
        services_.handlers.listenForTriggers([this] { triggerArrived(); });
    followPermission();
}

WelcomeWizard::~WelcomeWizard()
{
    stopTimers();
    if (services_.handlers.listenForTriggers)
        services_.handlers.listenForTriggers(nullptr);
}

void WelcomeWizard::next()
{
    if (closed_ || terminating_)
        return;
    if (!isLastStep()) {
        moveTo(static_cast<WelcomeStep>(static_cast<int>(step_) + 1), true);
        return;
    }
    if (completed_)
        return;
    completed_ = true;
    stopTimers();
    observers_.notify();
    if (onCloseRequested)
        onCloseRequested();
}

void WelcomeWizard::back()
{
    if (closed_ || terminating_ || completed_ || isFirstStep())
        return;
    moveTo(static_cast<WelcomeStep>(static_cast<int>(step_) - 1), false);
}

void WelcomeWizard::moveTo(WelcomeStep step, bool forward)
{
    goingForward_ = forward;
    step_ = step;
    services_.settings.set(keys::onboardingResumeStep, static_cast<std::int64_t>(step));
    followPermission();
    observers_.notify();
}

void WelcomeWizard::grantAccess()
{
    if (closed_ || terminating_)
        return;
    updatePermission(services_.accessibility.requestTrust());
}

void WelcomeWizard::tryItNow()
{
    if (closed_ || terminating_ || triggerCheck_ != TriggerCheck::notTried)
        return;
    triggerCheck_ = TriggerCheck::waiting;
    observers_.notify();
}

void WelcomeWizard::triggerArrived()
{
    if (closed_ || terminating_ || step_ != WelcomeStep::trigger || triggerCheck_ == TriggerCheck::succeeded)
        return;
    triggerCheck_ = TriggerCheck::succeeded;
    observers_.notify();
}

void WelcomeWizard::quit()
{
    if (terminating_ || closed_)
        return;
    terminating_ = true;
    stopTimers();
    if (services_.quit)
        services_.quit();
}

void WelcomeWizard::windowClosed()
{
    if (closed_)
        return;
    closed_ = true;
    stopTimers();
    if (completed_) {
        if (services_.handlers.onComplete)
            services_.handlers.onComplete();
        return;
    }
    if (!terminating_) {
        terminating_ = true;
        if (services_.quit)
            services_.quit();
    }
}

void WelcomeWizard::followPermission()
{
    if (step_ != WelcomeStep::permission) {
        stopTimers();
        return;
    }
    if (pollTask_)
        return;
    pollTask_ = services_.mainQueue.postAfter(permissionPollInterval, [this] { pollPermission(); });
    // Access granted before the step is reached: the step says so and waits
    // for the user, every time; only a grant seen on the step moves on by itself.
    if (const bool trusted = services_.accessibility.isProcessTrusted(); trusted != permissionGranted_) {
        permissionGranted_ = trusted;
        observers_.notify();
    }
}

void WelcomeWizard::pollPermission()
{
    pollTask_.reset();
    if (step_ != WelcomeStep::permission || closed_ || terminating_ || completed_)
        return;
    pollTask_ = services_.mainQueue.postAfter(permissionPollInterval, [this] { pollPermission(); });
    updatePermission(services_.accessibility.isProcessTrusted());
}

void WelcomeWizard::updatePermission(bool trusted)
{
    if (trusted == permissionGranted_)
        return;
    permissionGranted_ = trusted;
    if (trusted && step_ == WelcomeStep::permission && !advanceTask_) {
        advanceTask_ = services_.mainQueue.postAfter(autoAdvanceDelay, [this] {
            advanceTask_.reset();
            if (step_ == WelcomeStep::permission)
                next();
        });
    }
    observers_.notify();
}

void WelcomeWizard::stopTimers()
{
    if (pollTask_)
        services_.mainQueue.cancel(*std::exchange(pollTask_, std::nullopt));
    if (advanceTask_)
        services_.mainQueue.cancel(*std::exchange(advanceTask_, std::nullopt));
}

} // namespace hb
