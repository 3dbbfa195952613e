#pragma once

#include "base/observer_list.h"
#include "platform/accessibility.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "tray/app_delegate.h"

#include <functional>
#include <optional>

namespace hb {

// The onboarding wizard's steps, in order; the raw values are stored in
// `onboardingResumeStep`.
enum class WelcomeStep : int { intro = 0, permission = 1, trigger = 2, loginItem = 3 };

inline constexpr int welcomeStepCount = 4;

// The trigger step's check: it succeeds only when a real trigger arrives.
enum class TriggerCheck {
    notTried,
    waiting,   // "Try" was pressed; no trigger has arrived since
    succeeded, // a trigger arrived while the step was shown
};

// The step stored in `onboardingResumeStep`; `intro` when it is absent, not an
// integer or out of range.
WelcomeStep storedWelcomeStep(const platform::SettingsDomain& settings);

struct WelcomeWizardServices {
    platform::SettingsDomain& settings;
    platform::Accessibility& accessibility;
    platform::MainQueue& mainQueue;
    // What the application is told (the wizard finished) and how it tells
    // the wizard of triggers.
    WizardHandlers handlers;
    // Ends the program; called at most once.
    std::function<void()> quit;
};

// The onboarding wizard's state and rules, for any window to show: the step
// (resumed from the settings, written back on every change), the way through
// the steps, the permission, the trigger step's check, and how the
// window's closing ends the program or completes onboarding.
// The permission is read when its step is shown and then every
// `permissionPollInterval`; when it turns granted there (the first reading
// included, so a wizard resumed after the grant moves on), the wizard moves to
// the next step `autoAdvanceDelay` later. Coming back to the step while it is
// still granted does not move on again.
// Main thread only; timers stop when the wizard is destroyed.
class WelcomeWizard {
public:
    static constexpr platform::Seconds permissionPollInterval{0.5};
    static constexpr platform::Seconds autoAdvanceDelay{0.8};

    explicit WelcomeWizard(WelcomeWizardServices services);
    ~WelcomeWizard();
    WelcomeWizard(const WelcomeWizard&) = delete;
    WelcomeWizard& operator=(const WelcomeWizard&) = delete;

    WelcomeStep step() const { return step_; }
    // Direction of the last move, for the transition.
    bool goingForward() const { return goingForward_; }
    bool isFirstStep() const { return step_ == WelcomeStep::intro; }
    bool isLastStep() const { return step_ == WelcomeStep::loginItem; }
    // As last read on the permission step; false before that step was shown.
    bool permissionGranted() const { return permissionGranted_; }
    TriggerCheck triggerCheck() const { return triggerCheck_; }
    bool isCompleted() const { return completed_; }

    // To the following step; on the last one, completes: the wizard asks its
    // window to close (`onCloseRequested`) and the window's closing then
    // tells the application.
    void next();
    // To the previous step; nothing on the first.
    void back();
    // Asks the desktop for the permission ("Turn On Accessibility…").
    void grantAccess();
    // "Try": waits for a trigger; the popup opens only when one arrives.
    void tryItNow();
    // A real trigger arrived (hot key, double tap, `hintboard toggle`):
    // on the trigger step the check succeeds.
    void triggerArrived();
    // "Quit Hintboard".
    void quit();
    // The window closed: completes onboarding when finished, otherwise ends
    // the program (once, however often it is called).
    void windowClosed();

    // Asked when the wizard is done and its window should close.
    std::function<void()> onCloseRequested;
    // Called after every change of the state above.
    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    void moveTo(WelcomeStep step, bool forward);
    // Starts or stops the permission poll for the current step.
    void followPermission();
    void stopTimers();
    // Takes the permission's state; a change to granted on the permission
    // step moves on after `autoAdvanceDelay`.
    void updatePermission(bool trusted);
    void pollPermission();

    WelcomeWizardServices services_;
    WelcomeStep step_;
    bool goingForward_ = true;
    bool permissionGranted_ = false;
    TriggerCheck triggerCheck_ = TriggerCheck::notTried;
    bool completed_ = false;
    bool terminating_ = false;
    bool closed_ = false;
    std::optional<platform::MainQueue::TaskId> pollTask_;
    std::optional<platform::MainQueue::TaskId> advanceTask_;
    platform::ObserverList<> observers_;
};

} // namespace hb
