#pragma once

#include <array>
#include <string_view>

// The keys of the settings domain.
namespace hb::keys {

inline constexpr std::string_view globalHotkey = "globalHotkey";
inline constexpr std::string_view didSetDefaultHotkey = "didSetDefaultHotkey";
inline constexpr std::string_view doubleTapEnabled = "doubleTapEnabled";
inline constexpr std::string_view doubleTapModifier = "doubleTapModifier";
inline constexpr std::string_view menuBarIconStyle = "menuBarIconStyle";
inline constexpr std::string_view appIconVariant = "appIconVariant";
inline constexpr std::string_view matchAppIconToTrigger = "matchAppIconToTrigger";
inline constexpr std::string_view showAllMenuItems = "showAllMenuItems";
inline constexpr std::string_view requireFilterForAllMenuItems = "requireFilterForAllMenuItems";
inline constexpr std::string_view hideLargeSubmenus = "hideLargeSubmenus";
inline constexpr std::string_view showSystemShortcuts = "showSystemShortcuts";
inline constexpr std::string_view showDeactivatedSystemShortcuts = "showDeactivatedSystemShortcuts";
inline constexpr std::string_view showThirdPartyShortcuts = "showThirdPartyShortcuts";
inline constexpr std::string_view wrapLongSections = "wrapLongSections";
inline constexpr std::string_view alwaysShowFavourites = "alwaysShowFavourites";
inline constexpr std::string_view showConflictIndicator = "showConflictIndicator";
inline constexpr std::string_view automaticUpdateChecks = "SUEnableAutomaticChecks";
inline constexpr std::string_view receiveBetaUpdates = "receiveBetaUpdates";
inline constexpr std::string_view receiveAlphaUpdates = "receiveAlphaUpdates";
// The address of the update feed (this machine only); absent: the build's own, if any.
inline constexpr std::string_view updateFeedAddress = "updateFeedAddress";
inline constexpr std::string_view debugLoggingEnabled = "debugLoggingEnabled";
inline constexpr std::string_view popupDisplayMode = "popupDisplayMode";
inline constexpr std::string_view keyAccentColor = "keyAccentColor";
// "words" or "symbols": how key combinations are shown (notation::KeyLabels).
inline constexpr std::string_view keyLabels = "keyLabels";
inline constexpr std::string_view iCloudSyncEnabled = "iCloudSyncEnabled";
inline constexpr std::string_view pinnedShortcuts = "pinnedShortcuts";
inline constexpr std::string_view ignoreList = "ignoreList";
inline constexpr std::string_view ignoreListEnabled = "ignoreListEnabled";
inline constexpr std::string_view ignoreListShowWhenFiltering = "ignoreListShowWhenFiltering";
inline constexpr std::string_view popupOpenCount = "popupOpenCount";
inline constexpr std::string_view popupTipIndex = "popupTipIndex";
inline constexpr std::string_view didPromptGitHubStar = "didPromptGitHubStar";
inline constexpr std::string_view didShowOnboardingWizard = "didShowOnboardingWizard";
inline constexpr std::string_view onboardingResumeStep = "onboardingResumeStep";
// This machine's knowledge of the synchronised settings (never synchronised).
inline constexpr std::string_view syncState = "__syncState";
// The folder that the user's file-synchronisation tool keeps in step between
// machines, holding the synchronised settings (this machine only).
inline constexpr std::string_view syncFolderPath = "syncFolderPath";

// Kept in step between machines by settings synchronisation, in this order.
inline constexpr std::array<std::string_view, 19> synchronised{
    pinnedShortcuts,
    ignoreList,
    ignoreListEnabled,
    ignoreListShowWhenFiltering,
    keyAccentColor,
    keyLabels,
    showAllMenuItems,
    requireFilterForAllMenuItems,
    hideLargeSubmenus,
    showSystemShortcuts,
    showDeactivatedSystemShortcuts,
    showThirdPartyShortcuts,
    wrapLongSections,
    alwaysShowFavourites,
    showConflictIndicator,
    automaticUpdateChecks,
    receiveBetaUpdates,
    receiveAlphaUpdates,
    debugLoggingEnabled,
};

// Written to and read from a settings backup file, in this order.
inline constexpr std::array<std::string_view, 26> backup{
    globalHotkey,
    didSetDefaultHotkey,
    keyAccentColor,
    keyLabels,
    doubleTapEnabled,
    doubleTapModifier,
    menuBarIconStyle,
    appIconVariant,
    matchAppIconToTrigger,
    showAllMenuItems,
    requireFilterForAllMenuItems,
    hideLargeSubmenus,
    showSystemShortcuts,
    showDeactivatedSystemShortcuts,
    showThirdPartyShortcuts,
    wrapLongSections,
    alwaysShowFavourites,
    showConflictIndicator,
    automaticUpdateChecks,
    receiveBetaUpdates,
    receiveAlphaUpdates,
    ignoreList,
    ignoreListEnabled,
    ignoreListShowWhenFiltering,
    pinnedShortcuts,
    debugLoggingEnabled,
};

// Listed in the log line written at launch: the synchronised keys, then these two.
inline constexpr std::array<std::string_view, synchronised.size() + 2> launchSnapshot = [] {
    std::array<std::string_view, synchronised.size() + 2> result{};
    for (std::size_t i = 0; i < synchronised.size(); ++i)
        result[i] = synchronised[i];
    result[synchronised.size()] = popupDisplayMode;
    result[synchronised.size() + 1] = menuBarIconStyle;
    return result;
}();

} // namespace hb::keys

// Names of the settings change notifications (no object, no payload).
namespace hb::notifications {

inline constexpr std::string_view receiveBetaUpdatesChanged = "org.mirelo.Hintboard.receiveBetaUpdatesChanged";
inline constexpr std::string_view receiveAlphaUpdatesChanged = "org.mirelo.Hintboard.receiveAlphaUpdatesChanged";
inline constexpr std::string_view menuBarIconStyleChanged = "org.mirelo.Hintboard.menuBarIconStyleChanged";

} // namespace hb::notifications
