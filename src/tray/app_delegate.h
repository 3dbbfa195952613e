#pragma once

#include "base/log.h"
#include "platform/accessibility.h"
#include "platform/app_presence.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "platform/system_wake.h"
#include "platform/workspace.h"
#include "tray/status_item.h"
#include "triggers/frontmost_app_monitor.h"
#include "triggers/global_hotkey.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hb {

// What the popup controller hears from the delegate.
struct PopupCallbacks {
    std::function<void()> onGrant;
    std::function<void()> onOpenSettings;
    std::function<void()> onPermissionGranted;
    std::function<void()> onWillShow;
};

// What the onboarding wizard is given.
struct WizardHandlers {
    std::function<void()> onComplete;
    // Sets what a real trigger (hot key, double tap, `hintboard toggle` or
    // `show`) also tells the wizard, before the popup answers it; an empty
    // function stops it.
    std::function<void(std::function<void()> listener)> listenForTriggers;
};

// What a user whose desktop shows no tray icons is told: how to reach the
// program without its icon. `hotkey`: the hot key as written while its
// presses reach the program, none otherwise.
struct NoTrayNotice {
    std::string title;
    std::string text;
};
NoTrayNotice noTrayNotice(const std::optional<std::string>& hotkey);

// The objects the delegate drives. The platform comes as interfaces; the
// popup controller and the two triggers come as operations, so that the
// composition root decides what stands behind them.
struct AppServices {
    platform::MainQueue& mainQueue;
    platform::SettingsDomain& settings;
    platform::NotificationCenter& notifications;
    platform::SystemWake& systemWake;
    platform::AppPresence& appPresence;
    platform::Accessibility& accessibility;
    platform::Log& log;
    FrontmostAppMonitor& frontmostMonitor;
    StatusItem& statusItem;

    // The popup controller.
    std::function<void(PopupCallbacks)> connectPopup;
    std::function<void()> togglePopup;
    std::function<void()> showPopup;
    std::function<void()> hidePopup;
    // Pre-reads the menus of an application that came to the front.
    std::function<void(const platform::RunningApplication&)> precacheMenus;

    // Registers the stored hot key (the default once in the life of the
    // settings); its presses run `onActivate`.
    std::function<void(std::function<void()> onActivate)> setUpHotkey;
    // The stored hot key, none when unset.
    std::function<std::optional<GlobalHotkey>()> storedHotkey;
    // Whether the desktop delivers its presses (it may refuse it, or take it back).
    std::function<bool()> hotkeyWorks;
    // Applies the double-tap settings; taps run `onActivate`.
    std::function<void(std::function<void()> onActivate)> applyDoubleTap;

    // Ends the program (the event loop returns; `terminate` runs after).
    std::function<void()> quit;
    // A desktop notification; unset where there is none.
    std::function<void(const std::string& title, const std::string& text)> notify;
};

// The application's wiring: runs the launch sequence, answers the status
// icon and its menu, shows the ready hint and saves the settings at the end.
// Main thread only; lives as long as the process.
class AppDelegate {
public:
    static constexpr platform::Seconds readyHintDuration{5};
    static constexpr platform::Seconds wizardCompletionDelay{0.3};
    // A panel started with the session may take its tray a moment after us.
    static constexpr platform::Seconds trayCheckDelay{2};

    explicit AppDelegate(AppServices services);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The launch sequence; runs once.
    void launch();
    // Makes the settings durable; the program ends after.
    void terminate();

    void statusItemClicked(const StatusClick& click);
    // The entries of the status menu at this moment.
    std::vector<StatusMenuEntry> statusMenuEntries();
    void showStatusMenu();

    void grantAccess();
    // "Quiz Mode…": a quiz over the front application; nothing without one.
    void startQuiz();
    // Without a tray: a notification, the ready hint included, at most once.
    void showReadyHint();
    void closeReadyHint();
    bool isReadyHintShown() const { return hintTask_.has_value(); }
    // The wizard's handlers.
    void wizardCompleted();
    // A trigger arrived (hot key, double tap, a request over the bus): the
    // wizard hears of it, then the popup toggles or shows.
    void triggerToggle();
    void triggerShow();

    // Hooks for windows that other parts of the program open; an unset hook
    // leaves its menu entry disabled and its step out.
    std::function<void(WizardHandlers)> onOpenWizard;
    std::function<void()> onOpenSettings;
    std::function<void(const platform::RunningApplication&)> onStartQuiz;
    std::function<void()> onCheckForUpdates;
    // Settings synchronisation, started at launch when switched on.
    std::function<void()> onStartSettingsSync;
    // The update channels, re-applied when their settings change.
    std::function<void()> onUpdateChannelsChanged;

private:
    void redrawStatusIcon();
    // Tells of the missing tray icon, once in the life of the program.
    void tellNoTray();
    // The hot key as the settings say keys are written.
    std::string shownHotkey(const GlobalHotkey& hotkey) const;
    // The stored hot key while its presses reach the program.
    std::optional<GlobalHotkey> workingHotkey() const;
    // Runs `work` later unless the delegate is gone by then.
    std::function<void()> weakly(std::function<void()> work);

    AppServices services_;
    bool launched_ = false;
    std::optional<platform::MainQueue::TaskId> hintTask_;
    // The next showing of the popup leaves the ready hint up: the popup that
    // opens together with it when the wizard is done.
    bool keepHintThroughPopup_ = false;
    std::function<void()> triggerListener_;
    bool toldNoTray_ = false;
    std::optional<platform::MainQueue::TaskId> trayCheckTask_;
    std::optional<platform::SystemWake::ObserverId> wakeObserver_;
    std::vector<platform::NotificationCenter::ObserverId> settingsObservers_;
    std::shared_ptr<AppDelegate*> self_;
};

} // namespace hb
