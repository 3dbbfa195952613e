#include "popup/popup_tips.h"

#include "settings/settings_keys.h"

#include <algorithm>

namespace hb {
namespace {

constexpr std::int64_t opensBeforeNudge = 10;

} // namespace

std::string tipText(PopupTip tip, notation::KeyLabels labels)
{
    switch (tip) {
    case PopupTip::modifierFilter: {
        std::string modifiers;
        for (std::string_view glyph : {"⌃", "⌥", "⇧", "⌘"})
            modifiers.append(notation::modifierLabel(glyph, labels)).append(" ");
        return "Filter by modifier — click " + modifiers + "to narrow the list";
    }
    case PopupTip::search:
        return "Start typing to search across all shortcuts";
    case PopupTip::favourites:
        return "Star any shortcut ★ to pin it — tap ★ in the header to see only favourites";
    }
    return {};
}

PopupBanner popupBanner(std::int64_t tipIndex, const platform::SettingsDomain& settings)
{
    // A negative index (a damaged setting) counts as a fresh start.
    tipIndex = std::max<std::int64_t>(tipIndex, 0);
    if (tipIndex < std::int64_t(allPopupTips.size()))
        return allPopupTips[std::size_t(tipIndex)];
    if (settings.integer(keys::popupOpenCount) >= opensBeforeNudge && !settings.boolean(keys::didPromptGitHubStar))
        return PopupNudge::githubStar;
    return std::monostate{};
}

std::int64_t dismissTip(std::int64_t tipIndex, platform::SettingsDomain& settings)
{
    const std::int64_t next = std::max<std::int64_t>(tipIndex, 0) + 1;
    settings.set(keys::popupTipIndex, next);
    return next;
}

void dismissNudge(platform::SettingsDomain& settings)
{
    settings.set(keys::didPromptGitHubStar, true);
}

void followNudge(platform::SettingsDomain& settings, const std::function<void(std::string_view address)>& openAddress)
{
    openAddress(repositoryAddress);
    dismissNudge(settings);
}

void countPopupOpening(platform::SettingsDomain& settings)
{
    settings.set(keys::popupOpenCount, settings.integer(keys::popupOpenCount) + 1);
}

} // namespace hb
