#pragma once

#include "model/key_label.h"
#include "platform/settings_domain.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

namespace hb {

// Usage tips, in the order they are shown.
enum class PopupTip { modifierFilter, search, favourites };
inline constexpr std::array allPopupTips{PopupTip::modifierFilter, PopupTip::search, PopupTip::favourites};

enum class PopupNudge { githubStar };

// The tip as shown, with the modifier keys named as the popup labels them.
std::string tipText(PopupTip tip, notation::KeyLabels labels);
inline constexpr std::string_view nudgeText = "Enjoying Hintboard? Star it on GitHub ↗";
inline constexpr std::string_view repositoryAddress = "https://github.com/mirelo/Hintboard";

// The one banner the popup header shows, if any.
using PopupBanner = std::variant<std::monostate, PopupTip, PopupNudge>;

// The banner for the popup's tip index (the number of tips dismissed).
PopupBanner popupBanner(std::int64_t tipIndex, const platform::SettingsDomain& settings);

// Dismisses the current tip: stores and returns the next tip index.
std::int64_t dismissTip(std::int64_t tipIndex, platform::SettingsDomain& settings);

// The nudge never returns once dismissed or followed.
void dismissNudge(platform::SettingsDomain& settings);
void followNudge(platform::SettingsDomain& settings, const std::function<void(std::string_view address)>& openAddress);

// Counts one showing of an application's shortcuts.
void countPopupOpening(platform::SettingsDomain& settings);

} // namespace hb
