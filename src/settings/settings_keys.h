#pragma once

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
inline constexpr std::string_view debugLoggingEnabled = "debugLoggingEnabled";
inline constexpr std::string_view popupDisplayMode = "popupDisplayMode";
inline constexpr std::string_view keyAccentColor = "keyAccentColor";
inline constexpr std::string_view iCloudSyncEnabled = "iCloudSyncEnabled";
inline constexpr std::string_view pinnedShortcuts = "pinnedShortcuts";
inline constexpr std::string_view ignoreList = "ignoreList";
inline constexpr std::string_view ignoreListEnabled = "ignoreListEnabled";
inline constexpr std::string_view ignoreListShowWhenFiltering = "ignoreListShowWhenFiltering";
inline constexpr std::string_view didSeedIgnoreList = "didSeedIgnoreList";
inline constexpr std::string_view didSeedIgnoredMenus = "didSeedIgnoredMenus";
inline constexpr std::string_view popupOpenCount = "popupOpenCount";
inline constexpr std::string_view popupTipIndex = "popupTipIndex";
inline constexpr std::string_view didPromptGitHubStar = "didPromptGitHubStar";
inline constexpr std::string_view didShowOnboardingWizard = "didShowOnboardingWizard";
inline constexpr std::string_view onboardingResumeStep = "onboardingResumeStep";
inline constexpr std::string_view didInitSyncV2 = "didInitSyncV2";
inline constexpr std::string_view localSyncTimestamps = "__localSyncTimestamps";

} // namespace hb::keys
