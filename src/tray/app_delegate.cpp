#include "tray/app_delegate.h"

#include "settings/app_icon.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "settings_window/settings_model.h"

#include <utility>

namespace hb {
namespace {

constexpr std::uint64_t controlFlag = 0x40000;

using platform::LogCategory;

} // namespace

NoTrayNotice noTrayNotice(const std::optional<std::string>& hotkey)
{
    const std::string command = "“hintboard toggle”";
    std::string text = "This desktop shows no tray icons. To see the active app's shortcuts, ";
    text += hotkey ? "press " + *hotkey + " or a key you bind to " + command + "."
                   : "bind a key to " + command + " in the desktop's keyboard settings.";
    text += " Settings, Quiz and Quit are in Hintboard's menu in the app launcher, or run “hintboard settings” "
            "or “hintboard quiz”.";
    return {"Hintboard runs without a tray icon", std::move(text)};
}

AppDelegate::AppDelegate(AppServices services)
    : services_(std::move(services)), self_(std::make_shared<AppDelegate*>(this))
{}

AppDelegate::~AppDelegate()
{
    *self_ = nullptr;
    if (hintTask_)
        services_.mainQueue.cancel(*hintTask_);
    if (trayCheckTask_)
        services_.mainQueue.cancel(*trayCheckTask_);
    if (wakeObserver_)
        services_.systemWake.removeWakeObserver(*wakeObserver_);
    for (auto id : settingsObservers_)
        services_.notifications.removeObserver(id);
    services_.statusItem.onClick = nullptr;
    services_.statusItem.onMenuOpening = nullptr;
    services_.frontmostMonitor.onAppChanged = nullptr;
}

std::function<void()> AppDelegate::weakly(std::function<void()> work)
{
    return [self = std::weak_ptr<AppDelegate*>(self_), work = std::move(work)] {
        if (auto alive = self.lock(); alive && *alive)
            work();
    };
}

void AppDelegate::launch()
{
    if (launched_)
        return;
    launched_ = true;
    auto& s = services_;

    // No taskbar entry of its own: the tray icon is the program's presence.
    s.appPresence.setRegular(false);

    s.connectPopup(PopupCallbacks{
        .onGrant = weakly([this] { grantAccess(); }),
        .onOpenSettings = weakly([this] {
            if (onOpenSettings)
                onOpenSettings();
        }),
        .onPermissionGranted = weakly([this] { services_.showPopup(); }),
        .onWillShow = weakly([this] {
            // The popup that opens with the hint after the wizard leaves it up.
            if (!std::exchange(keepHintThroughPopup_, false))
                closeReadyHint();
        }),
    });

    s.frontmostMonitor.onAppChanged =
        [self = std::weak_ptr<AppDelegate*>(self_)](const platform::RunningApplication& app) {
            if (auto alive = self.lock(); alive && *alive)
                (*alive)->services_.precacheMenus(app);
        };

    s.statusItem.onClick = [this](const StatusClick& click) { statusItemClicked(click); };
    s.statusItem.onMenuOpening = [this] {
        closeReadyHint();
        services_.hidePopup();
        return statusMenuEntries();
    };
    redrawStatusIcon();

    auto toggle = weakly([this] { triggerToggle(); });
    s.setUpHotkey(toggle);
    s.applyDoubleTap(toggle);
    // The icons follow the double-tap settings also when these were written
    // without the settings window (an import, a synchronised change).
    if (applyTriggerIconsAtLaunch(s.settings, s.appPresence))
        redrawStatusIcon();
    wakeObserver_ = s.systemWake.addWakeObserver(weakly([this, toggle] { services_.applyDoubleTap(toggle); }));

    applyAppIconVariant(Settings(s.settings).appIconVariant(), s.appPresence);

    if (s.settings.boolean(keys::iCloudSyncEnabled) && onStartSettingsSync)
        onStartSettingsSync();

    logLaunchSnapshot(s.settings, s.log);

    // Without a tray the wizard says it itself, and its ready hint becomes the notification.
    if (s.settings.boolean(keys::didShowOnboardingWizard)) {
        trayCheckTask_ = s.mainQueue.postAfter(trayCheckDelay, weakly([this] {
                                                   trayCheckTask_.reset();
                                                   if (!services_.statusItem.exists())
                                                       tellNoTray();
                                               }));
    } else {
        s.mainQueue.post(weakly([this] {
            if (!onOpenWizard) {
                services_.log.info(LogCategory::settings, "Onboarding not completed; no wizard to open");
                return;
            }
            onOpenWizard(WizardHandlers{
                .onComplete = weakly([this] { wizardCompleted(); }),
                .listenForTriggers =
                    [self = std::weak_ptr<AppDelegate*>(self_)](std::function<void()> listener) {
                        if (auto alive = self.lock(); alive && *alive)
                            (*alive)->triggerListener_ = std::move(listener);
                    },
            });
        }));
    }

    auto updateChannels = weakly([this] {
        if (onUpdateChannelsChanged)
            onUpdateChannelsChanged();
    });
    settingsObservers_ = {
        s.notifications.addObserver(notifications::receiveBetaUpdatesChanged, updateChannels),
        s.notifications.addObserver(notifications::receiveAlphaUpdatesChanged, updateChannels),
        s.notifications.addObserver(notifications::menuBarIconStyleChanged, weakly([this] { redrawStatusIcon(); })),
    };
}

void AppDelegate::terminate()
{
    closeReadyHint();
    if (!services_.settings.synchronize())
        services_.log.error(LogCategory::settings, "Settings could not be saved at exit");
}

std::string AppDelegate::shownHotkey(const GlobalHotkey& hotkey) const
{
    return notation::keyLabel(hotkey.displayString, Settings(services_.settings).keyLabels());
}

std::optional<GlobalHotkey> AppDelegate::workingHotkey() const
{
    auto hotkey = services_.storedHotkey ? services_.storedHotkey() : std::nullopt;
    if (hotkey && services_.hotkeyWorks && !services_.hotkeyWorks())
        return std::nullopt;
    return hotkey;
}

void AppDelegate::redrawStatusIcon()
{
    services_.statusItem.setIconStyle(Settings(services_.settings).menuBarIconStyle());
}

void AppDelegate::statusItemClicked(const StatusClick& click)
{
    if (click.secondaryButton || (click.modifierFlags & controlFlag) != 0)
        showStatusMenu();
    else
        services_.togglePopup();
}

std::vector<StatusMenuEntry> AppDelegate::statusMenuEntries()
{
    using Kind = StatusMenuEntry::Kind;
    auto& s = services_;
    std::vector<StatusMenuEntry> entries;
    const bool trusted = s.accessibility.isProcessTrusted();

    if (!trusted) {
        entries.push_back({.title = "Grant Accessibility Access…", .action = weakly([this] { grantAccess(); })});
        entries.push_back({.kind = Kind::separator});
    }

    const auto stored = s.storedHotkey ? s.storedHotkey() : std::nullopt;
    const auto working = workingHotkey();
    // The hot key stands where menus show keys; without one the title says why.
    // Does what a click on the icon does (the menu has already closed the popup).
    StatusMenuEntry show{.title = "Show Shortcuts", .action = weakly([this] { services_.showPopup(); })};
    if (working) {
        show.keys = working->displayString;
        show.keyText = shownHotkey(*working);
    } else {
        show.title += stored ? "  (hot key not working)" : "  (unset)";
    }
    entries.push_back(std::move(show));

    entries.push_back(
        {.title = "Check for Updates…", .enabled = static_cast<bool>(onCheckForUpdates), .action = weakly([this] {
                                                                                             if (onCheckForUpdates)
                                                                                                 onCheckForUpdates();
                                                                                         })});

    if (trusted && s.frontmostMonitor.frontmostApp()) {
        entries.push_back({.title = "Quiz Mode…", .enabled = static_cast<bool>(onStartQuiz), .action = weakly([this] {
                                                                                                 startQuiz();
                                                                                             })});
    }

    entries.push_back({.title = "Settings…",
                       .keyEquivalent = ",",
                       .commandModifier = true,
                       .keyText = notation::keyLabel("⌃,", Settings(s.settings).keyLabels()),
                       .keys = "⌃,",
                       .enabled = static_cast<bool>(onOpenSettings),
                       .action = weakly([this] {
                           if (onOpenSettings)
                               onOpenSettings();
                       })});
    entries.push_back({.title = "About Hintboard", .action = weakly([this] { services_.statusItem.showAbout(); })});
    entries.push_back({.kind = Kind::separator});
    entries.push_back({.title = "Quit Hintboard",
                       .keyEquivalent = "q",
                       .commandModifier = true,
                       .keyText = notation::keyLabel("⌃Q", Settings(s.settings).keyLabels()),
                       .keys = "⌃Q",
                       .action = weakly([this] { services_.quit(); })});
    return entries;
}

void AppDelegate::showStatusMenu()
{
    closeReadyHint();
    services_.hidePopup();
    services_.statusItem.showMenu(statusMenuEntries());
}

void AppDelegate::grantAccess()
{
    auto& log = services_.log;
    if (services_.accessibility.requestTrust()) {
        log.notice(LogCategory::accessibility,
                   "Accessibility is on; applications started before it was switched on may need a restart to be read");
    } else {
        log.error(LogCategory::accessibility, "The session's accessibility switch could not be turned on");
    }
}

void AppDelegate::startQuiz()
{
    const auto& app = services_.frontmostMonitor.frontmostApp();
    if (!app) {
        services_.log.info(LogCategory::settings, "Quiz not started: no application is active");
        return;
    }
    if (onStartQuiz)
        onStartQuiz(*app);
}

void AppDelegate::tellNoTray()
{
    if (std::exchange(toldNoTray_, true))
        return;
    const auto hotkey = workingHotkey();
    const auto notice = noTrayNotice(hotkey ? std::optional(shownHotkey(*hotkey)) : std::nullopt);
    services_.log.notice(LogCategory::settings, "No tray host (no status-notifier watcher, no system tray "
                                                "selection): telling the user how to reach Hintboard");
    if (services_.notify)
        services_.notify(notice.title, notice.text);
}

void AppDelegate::showReadyHint()
{
    auto& item = services_.statusItem;
    if (!item.exists()) {
        tellNoTray();
        return;
    }
    closeReadyHint();
    const auto hotkey = workingHotkey();
    const std::string text = hotkey ? "Press " + shownHotkey(*hotkey) + " to show shortcuts for the active app."
                                    : std::string("Click this icon to show shortcuts for the active app.");
    item.showReadyHint("Hintboard is ready", text);
    hintTask_ = services_.mainQueue.postAfter(readyHintDuration, weakly([this] {
                                                  hintTask_.reset();
                                                  services_.statusItem.closeReadyHint();
                                              }));
}

void AppDelegate::closeReadyHint()
{
    if (!hintTask_)
        return;
    services_.mainQueue.cancel(*hintTask_);
    hintTask_.reset();
    services_.statusItem.closeReadyHint();
}

void AppDelegate::wizardCompleted()
{
    auto& settings = services_.settings;
    settings.set(keys::didShowOnboardingWizard, true);
    settings.remove(keys::onboardingResumeStep);
    services_.mainQueue.postAfter(wizardCompletionDelay, weakly([this] {
                                      services_.applyDoubleTap(weakly([this] { triggerToggle(); }));
                                      showReadyHint();
                                      if (services_.accessibility.isProcessTrusted()) {
                                          keepHintThroughPopup_ = isReadyHintShown();
                                          services_.showPopup();
                                      }
                                  }));
}

void AppDelegate::triggerToggle()
{
    if (triggerListener_)
        triggerListener_();
    services_.togglePopup();
}

void AppDelegate::triggerShow()
{
    if (triggerListener_)
        triggerListener_();
    services_.showPopup();
}

} // namespace hb
