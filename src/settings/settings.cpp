#include "settings/settings.h"

#include "model/key_notation.h"
#include "settings/hotkey.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "settings/theme_settings.h"

#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include <algorithm>
#include <array>

namespace hb {
namespace {

template <typename Enum>
Enum storedEnumeration(const platform::SettingsDomain& domain, std::string_view key, Enum last, Enum fallback)
{
    const auto raw = domain.integer(key);
    return raw >= 0 && raw <= static_cast<std::int64_t>(last) ? static_cast<Enum>(raw) : fallback;
}

template <typename Enum>
void storeEnumeration(platform::SettingsDomain& domain, std::string_view key, Enum value)
{
    domain.set(key, static_cast<std::int64_t>(value));
}

// The display text of the stored hot key; none when the data does not decode.
std::optional<std::string> storedHotkeyDisplayString(const platform::SettingsDomain& domain)
{
    auto value = domain.object(keys::globalHotkey);
    const auto* bytes = value ? value->as<platform::PlistData>() : nullptr;
    if (!bytes)
        return std::nullopt;
    const auto json = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
    if (!json.is_object() || !json.contains("keyCode") || !json["keyCode"].is_number_integer()
        || !json.contains("carbonModifiers") || !json["carbonModifiers"].is_number_integer()
        || !json.contains("displayString") || !json["displayString"].is_string())
        return std::nullopt;
    return json["displayString"].get<std::string>();
}

bool isUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

std::string_view storedName(DoubleTapModifier modifier)
{
    switch (modifier) {
    case DoubleTapModifier::command:
        return "command";
    case DoubleTapModifier::control:
        return "control";
    case DoubleTapModifier::option:
        break;
    }
    return "option";
}

std::string_view keyName(DoubleTapModifier modifier)
{
    const std::string_view glyph = modifier == DoubleTapModifier::command   ? notation::command
                                   : modifier == DoubleTapModifier::control ? notation::control
                                                                            : notation::option;
    return notation::modifierLabel(glyph, notation::KeyLabels::words);
}

bool Settings::automaticUpdateChecks() const
{
    auto value = domain_.object(keys::automaticUpdateChecks);
    const bool* flag = value ? value->as<bool>() : nullptr;
    return !flag || *flag;
}

MenuBarIconStyle Settings::menuBarIconStyle() const
{
    return storedEnumeration(domain_, keys::menuBarIconStyle, MenuBarIconStyle::control, MenuBarIconStyle::keyboard);
}

PopupDisplayMode Settings::popupDisplayMode() const
{
    return storedEnumeration(domain_, keys::popupDisplayMode, PopupDisplayMode::mainDisplay,
                             PopupDisplayMode::activeAppWindow);
}

AppIconVariant Settings::appIconVariant() const
{
    return storedEnumeration(domain_, keys::appIconVariant, AppIconVariant::control, AppIconVariant::command);
}

DoubleTapModifier Settings::doubleTapModifier() const
{
    auto value = domain_.object(keys::doubleTapModifier);
    const auto* name = value ? value->as<std::string>() : nullptr;
    for (auto modifier : {DoubleTapModifier::command, DoubleTapModifier::option, DoubleTapModifier::control}) {
        if (name && *name == storedName(modifier))
            return modifier;
    }
    return DoubleTapModifier::option;
}

notation::KeyLabels Settings::keyLabels() const
{
    auto value = domain_.object(keys::keyLabels);
    const auto* name = value ? value->as<std::string>() : nullptr;
    return name ? notation::keyLabelsStoredAs(*name) : notation::defaultKeyLabels;
}

void Settings::setKeyLabels(notation::KeyLabels labels)
{
    domain_.set(keys::keyLabels, std::string(notation::storedName(labels)));
}

void Settings::setMenuBarIconStyle(MenuBarIconStyle style)
{
    storeEnumeration(domain_, keys::menuBarIconStyle, style);
}
void Settings::setPopupDisplayMode(PopupDisplayMode mode)
{
    storeEnumeration(domain_, keys::popupDisplayMode, mode);
}
void Settings::setAppIconVariant(AppIconVariant variant)
{
    storeEnumeration(domain_, keys::appIconVariant, variant);
}

void Settings::setDoubleTapModifier(DoubleTapModifier modifier)
{
    domain_.set(keys::doubleTapModifier, std::string(storedName(modifier)));
}

std::int64_t Settings::popupOpenCount() const
{
    return domain_.integer(keys::popupOpenCount);
}
std::int64_t Settings::popupTipIndex() const
{
    return domain_.integer(keys::popupTipIndex);
}

std::optional<std::int64_t> Settings::onboardingResumeStep() const
{
    if (!domain_.object(keys::onboardingResumeStep))
        return std::nullopt;
    return domain_.integer(keys::onboardingResumeStep);
}

std::optional<std::string> storedTextProblem(std::string_view text)
{
    if (text.size() > maxStoredTextBytes)
        return fmt::format("a text of {} bytes (at most {})", text.size(), maxStoredTextBytes);
    if (text.find('\0') != std::string_view::npos)
        return std::string("a text holding a NUL character");
    if (!isUtf8(text))
        return std::string("a text that is not UTF-8");
    return std::nullopt;
}

std::optional<std::string> storedValueProblem(std::string_view key, const platform::PlistValue& value)
{
    using platform::PlistArray;
    using platform::PlistData;
    constexpr std::array flags{keys::didSetDefaultHotkey,          keys::doubleTapEnabled,
                               keys::matchAppIconToTrigger,        keys::showAllMenuItems,
                               keys::requireFilterForAllMenuItems, keys::hideLargeSubmenus,
                               keys::showSystemShortcuts,          keys::showDeactivatedSystemShortcuts,
                               keys::showThirdPartyShortcuts,      keys::wrapLongSections,
                               keys::alwaysShowFavourites,         keys::showConflictIndicator,
                               keys::automaticUpdateChecks,        keys::receiveBetaUpdates,
                               keys::receiveAlphaUpdates,          keys::ignoreListEnabled,
                               keys::ignoreListShowWhenFiltering,  keys::debugLoggingEnabled};
    if (std::ranges::find(flags, key) != flags.end())
        return value.as<bool>() ? std::nullopt : std::optional<std::string>("not a Boolean");
    if (key == keys::menuBarIconStyle || key == keys::appIconVariant) {
        const auto* number = value.as<std::int64_t>();
        const std::int64_t last = key == keys::menuBarIconStyle ? 3 : 2;
        if (!number || *number < 0 || *number > last)
            return fmt::format("not an integer from 0 to {}", last);
        return std::nullopt;
    }
    if (key == keys::doubleTapModifier) {
        const auto* name = value.as<std::string>();
        for (auto modifier : {DoubleTapModifier::command, DoubleTapModifier::option, DoubleTapModifier::control}) {
            if (name && *name == storedName(modifier))
                return std::nullopt;
        }
        return std::string("not one of \"command\", \"option\", \"control\"");
    }
    if (key == keys::keyLabels) {
        const auto* name = value.as<std::string>();
        for (auto labels : {notation::KeyLabels::words, notation::KeyLabels::symbols}) {
            if (name && *name == notation::storedName(labels))
                return std::nullopt;
        }
        return std::string("not one of \"words\", \"symbols\"");
    }
    if (key == keys::pinnedShortcuts) {
        const auto* entries = value.as<PlistArray>();
        if (!entries)
            return std::string("not a list of texts");
        if (entries->size() > maxStoredListEntries)
            return fmt::format("a list of {} entries (at most {})", entries->size(), maxStoredListEntries);
        for (const auto& entry : *entries) {
            const auto* text = entry.as<std::string>();
            if (!text)
                return std::string("a list holding something other than texts");
            if (auto problem = storedTextProblem(*text))
                return problem;
        }
        return std::nullopt;
    }
    const auto* bytes = value.as<PlistData>();
    if (key == keys::globalHotkey) {
        if (!bytes || bytes->size() > maxStoredTextBytes
            || !decodeHotkey(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())))
            return std::string("not a stored hot key");
        return std::nullopt;
    }
    if (key == keys::keyAccentColor) {
        constexpr std::size_t maxColourBytes = 64 * 1024;
        if (!bytes || bytes->size() > maxColourBytes || !unarchiveColor(*bytes))
            return std::string("not a stored colour");
        return std::nullopt;
    }
    if (key == keys::ignoreList) {
        constexpr std::size_t maxIgnoreListBytes = 1 << 20;
        const auto data = bytes && bytes->size() <= maxIgnoreListBytes ? decodeIgnoreData(*bytes) : std::nullopt;
        if (!data)
            return std::string("not stored ignore rules");
        std::vector<std::string_view> texts(data->globalTitles.begin(), data->globalTitles.end());
        texts.insert(texts.end(), data->ignoredMenuTitles.begin(), data->ignoredMenuTitles.end());
        for (const auto& [app, patterns] : data->perApp) {
            texts.push_back(app);
            texts.insert(texts.end(), patterns.begin(), patterns.end());
        }
        for (const auto* names : {&data->appDisplayNames, &data->ignoredApps}) {
            for (const auto& [app, name] : *names) {
                texts.push_back(app);
                texts.push_back(name);
            }
        }
        if (texts.size() > maxStoredListEntries)
            return fmt::format("{} rules (at most {})", texts.size(), maxStoredListEntries);
        for (auto text : texts) {
            if (auto problem = storedTextProblem(text))
                return problem;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

void logLaunchSnapshot(const platform::SettingsDomain& domain, platform::Log& log)
{
    // The values set, in one line; the keys left at their defaults only for debugging.
    std::string items;
    std::string unset;
    for (auto key : keys::launchSnapshot) {
        if (auto value = domain.object(key))
            items += fmt::format("{}={}, ", key, platform::describe(*value));
        else
            unset += fmt::format("{}, ", key);
    }
    const auto hotkey = storedHotkeyDisplayString(domain);
    items += "globalHotkey=" + (hotkey ? notation::keyLabel(*hotkey, notation::KeyLabels::words) : "<unset>");
    log.notice(platform::LogCategory::settings, "Settings snapshot at launch: {}", items);
    if (!unset.empty()) {
        unset.resize(unset.size() - 2);
        log.debug(platform::LogCategory::settings, "Settings at their defaults: {}", unset);
    }
}

} // namespace hb
