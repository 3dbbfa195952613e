#pragma once

#include "base/observer_list.h"
#include "platform/app_presence.h"
#include "platform/event_monitors.h"
#include "platform/notification_center.h"
#include "platform/settings_domain.h"
#include "settings/login_item_manager.h"
#include "settings/settings.h"
#include "triggers/double_tap_trigger.h"
#include "triggers/global_hotkey.h"
#include "triggers/trigger_availability.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hb {

// What a settings model edits and drives. Long-lived objects that outlive
// every model.
struct SettingsModelServices {
    platform::SettingsDomain& settings;
    HotkeyManager& hotkeys;
    DoubleTapTrigger& doubleTap;
    platform::EventMonitors& eventMonitors;
    platform::NotificationCenter& notifications;
    LoginItemManager& loginItems;
    platform::AppPresence& appPresence;
    // Settings synchronisation: whether the cloud holds a value newer than
    // this machine's for any synchronised key...
    std::function<bool()> hasNewerRemoteSettings;
    // ...and starting (true) or stopping (false) it.
    std::function<void(bool enabled)> onSyncEnabledChanged;
    // Which triggers this session allows; the views explain what is missing.
    TriggerAvailability triggers{};
    // The system's package manager brings the updates: no automatic checks.
    bool updatesFromPackageManager = false;
};

// The settings as the settings window and the onboarding wizard edit them.
// Fields follow the stored settings, also when another part of the program
// writes them (import, synchronisation); each setter writes its key at once
// and applies the change (hot key, double tap, icons, notifications,
// synchronisation). A setter given the value the field holds
// does nothing. Also records a new global shortcut. Main thread only.
class SettingsModel {
public:
    explicit SettingsModel(SettingsModelServices services);
    // Ends a recording still running, so the hot key and double tap work again.
    ~SettingsModel();
    SettingsModel(const SettingsModel&) = delete;
    SettingsModel& operator=(const SettingsModel&) = delete;

    const TriggerAvailability& triggerAvailability() const { return services_.triggers; }

    // The recorder.
    const std::optional<GlobalHotkey>& hotkey() const { return hotkey_; }
    bool isRecording() const { return isRecording_; }
    // The last recorded combination was refused: "Shortcut already in use".
    bool registrationFailed() const { return registrationFailed_; }
    // The hot key does nothing: the desktop refused it, or took it back later.
    bool hotkeyLost() const { return hotkey_ && !isRecording_ && !services_.hotkeys.isRegistered(); }
    // Unregisters the hot key and the double tap and hands every key press
    // to record(). Ignored while recording.
    void startRecording();
    // One key press while recording: Escape cancels; a key without Command,
    // Control or Option is ignored; any other combination becomes the hot
    // key when the desktop accepts it. Either way recording then stops.
    void record(const platform::KeyEvent& key);
    // Registers the model's hot key again and re-applies the double tap.
    void stopRecording();
    // Whether the desktop's key presses reach record() while recording. Where
    // they cannot (Wayland), the window that records hands its own presses.
    bool hearsDesktopKeys() const { return eventMonitor_.has_value(); }
    // The recorder's "Clear": no hot key from now on.
    void clearHotkey();

    bool launchAtLogin() const { return launchAtLogin_; }
    // Follows the login item's real state: a refused change leaves it as it was.
    void setLaunchAtLogin(bool enabled);

    bool showAllMenuItems() const { return showAllMenuItems_; }
    void setShowAllMenuItems(bool value);
    bool requireFilterForAllMenuItems() const { return requireFilterForAllMenuItems_; }
    void setRequireFilterForAllMenuItems(bool value);
    bool hideLargeSubmenus() const { return hideLargeSubmenus_; }
    void setHideLargeSubmenus(bool value);
    bool showSystemShortcuts() const { return showSystemShortcuts_; }
    void setShowSystemShortcuts(bool value);
    bool showDeactivatedSystemShortcuts() const { return showDeactivatedSystemShortcuts_; }
    void setShowDeactivatedSystemShortcuts(bool value);
    bool showThirdPartyShortcuts() const { return showThirdPartyShortcuts_; }
    void setShowThirdPartyShortcuts(bool value);
    // Always off, and not changed, while updates come from the package manager.
    bool automaticUpdatesEnabled() const { return automaticUpdatesEnabled_; }
    void setAutomaticUpdatesEnabled(bool value);
    bool updatesFromPackageManager() const { return services_.updatesFromPackageManager; }
    // Empty: the build's own feed, if any.
    const std::string& updateFeedAddress() const { return updateFeedAddress_; }
    void setUpdateFeedAddress(std::string address);
    bool debugLoggingEnabled() const { return debugLoggingEnabled_; }
    void setDebugLoggingEnabled(bool value);
    bool receiveBetaUpdates() const { return receiveBetaUpdates_; }
    void setReceiveBetaUpdates(bool value);
    bool receiveAlphaUpdates() const { return receiveAlphaUpdates_; }
    void setReceiveAlphaUpdates(bool value);

    PopupDisplayMode popupDisplayMode() const { return popupDisplayMode_; }
    void setPopupDisplayMode(PopupDisplayMode mode);
    MenuBarIconStyle menuBarIconStyle() const { return menuBarIconStyle_; }
    void setMenuBarIconStyle(MenuBarIconStyle style);
    AppIconVariant appIconVariant() const { return appIconVariant_; }
    void setAppIconVariant(AppIconVariant variant);
    notation::KeyLabels keyLabels() const { return keyLabels_; }
    void setKeyLabels(notation::KeyLabels labels);

    bool matchAppIconToTrigger() const { return matchAppIconToTrigger_; }
    void setMatchAppIconToTrigger(bool value);
    bool showConflictIndicator() const { return showConflictIndicator_; }
    void setShowConflictIndicator(bool value);
    bool wrapLongSections() const { return wrapLongSections_; }
    void setWrapLongSections(bool value);
    bool alwaysShowFavourites() const { return alwaysShowFavourites_; }
    void setAlwaysShowFavourites(bool value);
    bool iCloudSyncEnabled() const { return iCloudSyncEnabled_; }
    // Turning it on starts synchronisation, unless the cloud holds newer
    // values: then the conflict alert is asked for instead.
    void setICloudSyncEnabled(bool value);

    bool showingICloudConflictAlert() const { return showingICloudConflictAlert_; }
    void setShowingICloudConflictAlert(bool value);
    bool showingClearICloudAlert() const { return showingClearICloudAlert_; }
    void setShowingClearICloudAlert(bool value);

    bool doubleTapEnabled() const { return doubleTapEnabled_; }
    void setDoubleTapEnabled(bool value);
    DoubleTapModifier doubleTapModifier() const { return doubleTapModifier_; }
    void setDoubleTapModifier(DoubleTapModifier modifier);

    // Called after every change of a field.
    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    // Reads every field but the login item from the settings; true when one changed.
    bool readStored();
    // Writes a Boolean field that has no further effect; false when unchanged.
    bool setFlag(bool& field, std::string_view key, bool value);
    void applyDoubleTap();
    void applyTriggerIcons();
    void endRecording(bool notify);

    SettingsModelServices services_;
    std::optional<GlobalHotkey> hotkey_;
    bool isRecording_ = false;
    bool registrationFailed_ = false;
    bool launchAtLogin_ = false;
    bool showAllMenuItems_ = false;
    bool requireFilterForAllMenuItems_ = false;
    bool hideLargeSubmenus_ = false;
    bool showSystemShortcuts_ = false;
    bool showDeactivatedSystemShortcuts_ = false;
    bool showThirdPartyShortcuts_ = false;
    bool automaticUpdatesEnabled_ = true;
    std::string updateFeedAddress_;
    bool debugLoggingEnabled_ = false;
    bool receiveBetaUpdates_ = false;
    bool receiveAlphaUpdates_ = false;
    PopupDisplayMode popupDisplayMode_ = PopupDisplayMode::activeAppWindow;
    MenuBarIconStyle menuBarIconStyle_ = MenuBarIconStyle::keyboard;
    AppIconVariant appIconVariant_ = AppIconVariant::command;
    notation::KeyLabels keyLabels_ = notation::defaultKeyLabels;
    bool matchAppIconToTrigger_ = false;
    bool showConflictIndicator_ = false;
    bool wrapLongSections_ = false;
    bool alwaysShowFavourites_ = false;
    bool iCloudSyncEnabled_ = false;
    bool showingICloudConflictAlert_ = false;
    bool showingClearICloudAlert_ = false;
    bool doubleTapEnabled_ = false;
    DoubleTapModifier doubleTapModifier_ = DoubleTapModifier::option;
    std::optional<platform::EventMonitors::Token> eventMonitor_;
    platform::ObserverList<> observers_;
    platform::SettingsDomain::ObserverId settingsObserver_{};
    platform::ObserverList<>::Id lossObserver_ = 0;
    // The key-down monitor holds this weakly.
    std::shared_ptr<SettingsModel*> self_;
};

// The menu-bar icon that shows the double tap's modifier; the keyboard when
// the double tap is off.
MenuBarIconStyle triggerIconStyle(bool doubleTapEnabled, DoubleTapModifier modifier);
// The application icon variant named like the modifier.
AppIconVariant appIconVariantFor(DoubleTapModifier modifier);

// The same rule at launch, on the stored keys: writes the icon style that the
// double tap asks for and, when the application icon follows the trigger, the
// variant too (`command` without double tap), each only where the stored
// value differs. True when the style was written: the status icon needs
// redrawing.
bool applyTriggerIconsAtLaunch(platform::SettingsDomain& settings, platform::AppPresence& presence);

} // namespace hb
