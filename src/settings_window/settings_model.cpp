#include "settings_window/settings_model.h"

#include "settings/app_icon.h"
#include "settings/settings_keys.h"

#include <limits>

namespace hb {
namespace {

namespace flags = platform::modifier_flags;

constexpr std::int64_t escapeKeyCode = 53;
// Command, Control or Option: one of them makes a key a hot key.
constexpr std::uint64_t hotkeyModifiers = flags::control | flags::option | flags::command;

} // namespace

MenuBarIconStyle triggerIconStyle(bool doubleTapEnabled, DoubleTapModifier modifier)
{
    if (!doubleTapEnabled)
        return MenuBarIconStyle::keyboard;
    switch (modifier) {
    case DoubleTapModifier::command:
        return MenuBarIconStyle::command;
    case DoubleTapModifier::control:
        return MenuBarIconStyle::control;
    case DoubleTapModifier::option:
        break;
    }
    return MenuBarIconStyle::option;
}

AppIconVariant appIconVariantFor(DoubleTapModifier modifier)
{
    switch (modifier) {
    case DoubleTapModifier::command:
        return AppIconVariant::command;
    case DoubleTapModifier::control:
        return AppIconVariant::control;
    case DoubleTapModifier::option:
        break;
    }
    return AppIconVariant::option;
}

bool applyTriggerIconsAtLaunch(platform::SettingsDomain& domain, platform::AppPresence& presence)
{
    Settings settings(domain);
    const bool doubleTapEnabled = domain.boolean(keys::doubleTapEnabled);
    const auto modifier = settings.doubleTapModifier();
    const auto style = triggerIconStyle(doubleTapEnabled, modifier);
    const bool styleChanged = domain.integer(keys::menuBarIconStyle) != static_cast<std::int64_t>(style);
    if (styleChanged)
        settings.setMenuBarIconStyle(style);
    if (domain.boolean(keys::matchAppIconToTrigger)) {
        const auto variant = doubleTapEnabled ? appIconVariantFor(modifier) : AppIconVariant::command;
        if (domain.integer(keys::appIconVariant) != static_cast<std::int64_t>(variant)) {
            settings.setAppIconVariant(variant);
            applyAppIconVariant(variant, presence);
        }
    }
    return styleChanged;
}

SettingsModel::SettingsModel(SettingsModelServices services)
    : services_(std::move(services)), self_(std::make_shared<SettingsModel*>(this))
{
    launchAtLogin_ = services_.loginItems.isEnabled();
    readStored();
    // Import and synchronisation write keys directly: show what is now in effect.
    settingsObserver_ = services_.settings.addObserver([this](std::string_view) {
        if (readStored())
            observers_.notify();
    });
    lossObserver_ = services_.hotkeys.addLossObserver([this] { observers_.notify(); });
}

namespace {

template <typename T>
bool assign(T& field, T value)
{
    if (field == value)
        return false;
    field = std::move(value);
    return true;
}

} // namespace

bool SettingsModel::readStored()
{
    const auto& domain = services_.settings;
    const Settings settings(services_.settings);
    bool changed = false;
    if (!isRecording_)
        changed |= assign(hotkey_, loadHotkey(domain));
    const auto flag = [&](bool& field, std::string_view key) { changed |= assign(field, domain.boolean(key)); };
    flag(showAllMenuItems_, keys::showAllMenuItems);
    flag(requireFilterForAllMenuItems_, keys::requireFilterForAllMenuItems);
    flag(hideLargeSubmenus_, keys::hideLargeSubmenus);
    flag(showSystemShortcuts_, keys::showSystemShortcuts);
    flag(showDeactivatedSystemShortcuts_, keys::showDeactivatedSystemShortcuts);
    flag(showThirdPartyShortcuts_, keys::showThirdPartyShortcuts);
    changed |=
        assign(automaticUpdatesEnabled_, !services_.updatesFromPackageManager && settings.automaticUpdateChecks());
    const auto feed = domain.object(keys::updateFeedAddress);
    const std::string* feedAddress = feed ? feed->as<std::string>() : nullptr;
    changed |= assign(updateFeedAddress_, feedAddress ? *feedAddress : std::string());
    flag(debugLoggingEnabled_, keys::debugLoggingEnabled);
    flag(receiveBetaUpdates_, keys::receiveBetaUpdates);
    flag(receiveAlphaUpdates_, keys::receiveAlphaUpdates);
    changed |= assign(popupDisplayMode_, settings.popupDisplayMode());
    changed |= assign(menuBarIconStyle_, settings.menuBarIconStyle());
    changed |= assign(appIconVariant_, settings.appIconVariant());
    changed |= assign(keyLabels_, settings.keyLabels());
    flag(matchAppIconToTrigger_, keys::matchAppIconToTrigger);
    flag(showConflictIndicator_, keys::showConflictIndicator);
    flag(wrapLongSections_, keys::wrapLongSections);
    flag(alwaysShowFavourites_, keys::alwaysShowFavourites);
    flag(iCloudSyncEnabled_, keys::iCloudSyncEnabled);
    flag(doubleTapEnabled_, keys::doubleTapEnabled);
    changed |= assign(doubleTapModifier_, settings.doubleTapModifier());
    return changed;
}

SettingsModel::~SettingsModel()
{
    services_.settings.removeObserver(settingsObserver_);
    services_.hotkeys.removeLossObserver(lossObserver_);
    if (isRecording_)
        endRecording(false);
}

// The recorder.

void SettingsModel::startRecording()
{
    if (isRecording_)
        return;
    isRecording_ = true;
    registrationFailed_ = false;
    services_.hotkeys.unregister();
    services_.doubleTap.stop();
    eventMonitor_ = services_.eventMonitors.addKeyDownMonitor(
        [weak = std::weak_ptr<SettingsModel*>(self_)](const platform::KeyEvent& key) {
            if (auto self = weak.lock())
                (*self)->record(key);
        });
    observers_.notify();
}

void SettingsModel::record(const platform::KeyEvent& key)
{
    if (!isRecording_)
        return;
    if (key.keyCode == escapeKeyCode) {
        stopRecording();
        return;
    }
    if ((key.modifierFlags & hotkeyModifiers) == 0 || key.keyCode < 0
        || key.keyCode > std::numeric_limits<std::uint32_t>::max())
        return;
    const std::uint64_t held = key.modifierFlags & flags::all;
    const auto keyCode = static_cast<std::uint32_t>(key.keyCode);
    GlobalHotkey recorded{keyCode, carbonModifiers(held), hotkeyDisplayString(keyCode, held, key.characters)};
    if (services_.hotkeys.registerHotkey(recorded)) {
        hotkey_ = recorded;
        saveHotkey(hotkey_, services_.settings);
    } else {
        registrationFailed_ = true;
    }
    stopRecording();
}

void SettingsModel::stopRecording()
{
    if (isRecording_)
        endRecording(true);
}

void SettingsModel::endRecording(bool notify)
{
    isRecording_ = false;
    if (eventMonitor_)
        services_.eventMonitors.removeMonitor(*eventMonitor_);
    eventMonitor_.reset();
    if (hotkey_)
        services_.hotkeys.registerHotkey(*hotkey_);
    if (services_.settings.boolean(keys::doubleTapEnabled))
        services_.doubleTap.restart(doubleTapModifier_);
    else
        services_.doubleTap.stop();
    if (notify)
        observers_.notify();
}

void SettingsModel::clearHotkey()
{
    services_.hotkeys.unregister();
    saveHotkey(std::nullopt, services_.settings);
    hotkey_.reset();
    registrationFailed_ = false;
    observers_.notify();
}

// Fields.

bool SettingsModel::setFlag(bool& field, std::string_view key, bool value)
{
    if (field == value)
        return false;
    field = value;
    services_.settings.set(key, value);
    observers_.notify();
    return true;
}

void SettingsModel::setLaunchAtLogin(bool enabled)
{
    launchAtLogin_ = services_.loginItems.setEnabled(enabled);
    observers_.notify();
}

void SettingsModel::setShowAllMenuItems(bool value)
{
    setFlag(showAllMenuItems_, keys::showAllMenuItems, value);
}

void SettingsModel::setRequireFilterForAllMenuItems(bool value)
{
    setFlag(requireFilterForAllMenuItems_, keys::requireFilterForAllMenuItems, value);
}

void SettingsModel::setHideLargeSubmenus(bool value)
{
    setFlag(hideLargeSubmenus_, keys::hideLargeSubmenus, value);
}

void SettingsModel::setShowSystemShortcuts(bool value)
{
    setFlag(showSystemShortcuts_, keys::showSystemShortcuts, value);
}

void SettingsModel::setShowDeactivatedSystemShortcuts(bool value)
{
    setFlag(showDeactivatedSystemShortcuts_, keys::showDeactivatedSystemShortcuts, value);
}

void SettingsModel::setShowThirdPartyShortcuts(bool value)
{
    setFlag(showThirdPartyShortcuts_, keys::showThirdPartyShortcuts, value);
}

void SettingsModel::setAutomaticUpdatesEnabled(bool value)
{
    if (services_.updatesFromPackageManager)
        return;
    setFlag(automaticUpdatesEnabled_, keys::automaticUpdateChecks, value);
}

void SettingsModel::setUpdateFeedAddress(std::string address)
{
    if (address == updateFeedAddress_)
        return;
    updateFeedAddress_ = std::move(address);
    if (updateFeedAddress_.empty())
        services_.settings.remove(keys::updateFeedAddress);
    else
        services_.settings.set(keys::updateFeedAddress, updateFeedAddress_);
    observers_.notify();
}

void SettingsModel::setDebugLoggingEnabled(bool value)
{
    setFlag(debugLoggingEnabled_, keys::debugLoggingEnabled, value);
}

void SettingsModel::setReceiveBetaUpdates(bool value)
{
    if (setFlag(receiveBetaUpdates_, keys::receiveBetaUpdates, value))
        services_.notifications.post(notifications::receiveBetaUpdatesChanged);
}

void SettingsModel::setReceiveAlphaUpdates(bool value)
{
    if (setFlag(receiveAlphaUpdates_, keys::receiveAlphaUpdates, value))
        services_.notifications.post(notifications::receiveAlphaUpdatesChanged);
}

void SettingsModel::setPopupDisplayMode(PopupDisplayMode mode)
{
    if (popupDisplayMode_ == mode)
        return;
    popupDisplayMode_ = mode;
    Settings(services_.settings).setPopupDisplayMode(mode);
    observers_.notify();
}

void SettingsModel::setKeyLabels(notation::KeyLabels labels)
{
    if (keyLabels_ == labels)
        return;
    keyLabels_ = labels;
    Settings(services_.settings).setKeyLabels(labels);
    observers_.notify();
}

void SettingsModel::setMenuBarIconStyle(MenuBarIconStyle style)
{
    if (menuBarIconStyle_ == style)
        return;
    menuBarIconStyle_ = style;
    Settings(services_.settings).setMenuBarIconStyle(style);
    observers_.notify();
    services_.notifications.post(notifications::menuBarIconStyleChanged);
}

void SettingsModel::setAppIconVariant(AppIconVariant variant)
{
    if (appIconVariant_ == variant)
        return;
    appIconVariant_ = variant;
    Settings(services_.settings).setAppIconVariant(variant);
    applyAppIconVariant(variant, services_.appPresence);
    observers_.notify();
}

void SettingsModel::setMatchAppIconToTrigger(bool value)
{
    if (setFlag(matchAppIconToTrigger_, keys::matchAppIconToTrigger, value) && value && doubleTapEnabled_)
        setAppIconVariant(appIconVariantFor(doubleTapModifier_));
}

void SettingsModel::setShowConflictIndicator(bool value)
{
    setFlag(showConflictIndicator_, keys::showConflictIndicator, value);
}

void SettingsModel::setWrapLongSections(bool value)
{
    setFlag(wrapLongSections_, keys::wrapLongSections, value);
}

void SettingsModel::setAlwaysShowFavourites(bool value)
{
    setFlag(alwaysShowFavourites_, keys::alwaysShowFavourites, value);
}

void SettingsModel::setICloudSyncEnabled(bool value)
{
    if (!setFlag(iCloudSyncEnabled_, keys::iCloudSyncEnabled, value))
        return;
    if (value && services_.hasNewerRemoteSettings && services_.hasNewerRemoteSettings()) {
        setShowingICloudConflictAlert(true);
        return;
    }
    if (services_.onSyncEnabledChanged)
        services_.onSyncEnabledChanged(value);
}

void SettingsModel::setShowingICloudConflictAlert(bool value)
{
    if (showingICloudConflictAlert_ == value)
        return;
    showingICloudConflictAlert_ = value;
    observers_.notify();
}

void SettingsModel::setShowingClearICloudAlert(bool value)
{
    if (showingClearICloudAlert_ == value)
        return;
    showingClearICloudAlert_ = value;
    observers_.notify();
}

void SettingsModel::setDoubleTapEnabled(bool value)
{
    if (!setFlag(doubleTapEnabled_, keys::doubleTapEnabled, value))
        return;
    applyDoubleTap();
    applyTriggerIcons();
}

void SettingsModel::setDoubleTapModifier(DoubleTapModifier modifier)
{
    if (doubleTapModifier_ == modifier)
        return;
    doubleTapModifier_ = modifier;
    Settings(services_.settings).setDoubleTapModifier(modifier);
    observers_.notify();
    applyDoubleTap();
    applyTriggerIcons();
}

void SettingsModel::applyDoubleTap()
{
    // A recording re-applies the double tap when it ends.
    if (isRecording_)
        return;
    if (doubleTapEnabled_)
        services_.doubleTap.restart(doubleTapModifier_);
    else
        services_.doubleTap.stop();
}

void SettingsModel::applyTriggerIcons()
{
    setMenuBarIconStyle(triggerIconStyle(doubleTapEnabled_, doubleTapModifier_));
    if (doubleTapEnabled_ && matchAppIconToTrigger_)
        setAppIconVariant(appIconVariantFor(doubleTapModifier_));
}

} // namespace hb
