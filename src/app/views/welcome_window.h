#pragma once

#include "base/observer_list.h"
#include "onboarding/welcome_wizard.h"
#include "settings_window/settings_model.h"
#include "tray/app_delegate.h"

#include <QWidget>

#include <functional>
#include <memory>

class QPushButton;
class QStackedWidget;

namespace hb::views {

class WelcomePage;
class StepTransition;

// What the onboarding window is built from.
struct WelcomeWindowServices {
    // The window edits the settings through a SettingsModel of its own, made
    // from these; their settings domain also keeps the step to resume at.
    SettingsModelServices settingsModel;
    platform::Accessibility& accessibility;
    // Every timer of the wizard (permission poll, delayed advance) runs here.
    platform::MainQueue& mainQueue;
    // The application delegate's handlers (AppDelegate::onOpenWizard).
    WizardHandlers handlers;
    // Ends the program; called at most once, when the window closes before
    // the wizard is finished or on "Quit Hintboard".
    std::function<void()> quit;
    // Whether the desktop shows the tray icon; without one the last step says
    // how to reach the program instead.
    bool trayIconShown = true;
};

// The position among the steps: one dot per step, the current one in the
// accent colour.
class StepDotsView final : public QWidget {
    Q_OBJECT
public:
    explicit StepDotsView(int total, QWidget* parent = nullptr);
    void setCurrent(int current);
    int current() const { return current_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int total_;
    int current_ = 0;
};

// The onboarding window "Welcome to Hintboard", 420 by 490, not resizable:
// four steps (introduction, accessibility, trigger, last preferences) with
// step dots and a bottom bar, shown over a WelcomeWizard.
//
// Use from the composition root:
//   appDelegate.onOpenWizard = [&](WizardHandlers handlers) {
//       wizardWindow = std::make_unique<WelcomeWindow>(WelcomeWindowServices{
//           modelServices, accessibility, mainQueue, std::move(handlers), quit});
//       wizardWindow->present();
//   };
// Closing the window before the last step (title-bar button, "Quit
// Hintboard") calls `quit` once; "Done" closes it and then calls
// `handlers.onComplete`. Closing only hides the window: its owner may destroy
// it later, but not from inside the handlers (use deleteLater()). Return
// presses the focused button or else the default one (Get started, Next,
// Done); Escape does nothing. Main thread only.
class WelcomeWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int contentWidth = 420;
    static constexpr int contentHeight = 490;
    // The slide between steps, in milliseconds.
    static constexpr int transitionMilliseconds = 220;

    explicit WelcomeWindow(WelcomeWindowServices services, QWidget* parent = nullptr);
    ~WelcomeWindow() override;

    // Centres the window on the screen, shows it and brings it to the front.
    void present();

    WelcomeWizard& wizard() { return *wizard_; }
    SettingsModel& model() { return *model_; }
    // The bottom bar's buttons: "Quit Hintboard"/"Back" and "Get started"/"Next"/"Done".
    QPushButton* leadingButton() const { return leading_; }
    QPushButton* primaryButton() const { return primary_; }
    // The page of the current step.
    QWidget* currentPage() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showStep();
    void refresh();
    // Says the new page's title and step to screen readers.
    void announcePage();

    std::unique_ptr<SettingsModel> model_;
    std::unique_ptr<WelcomeWizard> wizard_;
    platform::ObserverList<>::Id modelObserver_ = 0;
    platform::ObserverList<>::Id wizardObserver_ = 0;
    // Everything drawn; deleted before the model and the wizard.
    QWidget* content_;
    QStackedWidget* stack_;
    std::vector<WelcomePage*> pages_;
    StepDotsView* dots_;
    QPushButton* leading_;
    QPushButton* primary_;
    StepTransition* transition_;
    int shownStep_ = -1;
};

} // namespace hb::views
