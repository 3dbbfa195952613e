#include "settings/settings.h"

#include "model/key_notation.h"
#include "settings/settings_keys.h"

#include <nlohmann/json.hpp>

#include <fmt/format.h>

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
    const std::string_view glyph = modifier == DoubleTapModifier::command ? notation::command
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

void Settings::setMenuBarIconStyle(MenuBarIconStyle style) { storeEnumeration(domain_, keys::menuBarIconStyle, style); }
void Settings::setPopupDisplayMode(PopupDisplayMode mode) { storeEnumeration(domain_, keys::popupDisplayMode, mode); }
void Settings::setAppIconVariant(AppIconVariant variant) { storeEnumeration(domain_, keys::appIconVariant, variant); }

void Settings::setDoubleTapModifier(DoubleTapModifier modifier)
{
    domain_.set(keys::doubleTapModifier, std::string(storedName(modifier)));
}

std::int64_t Settings::popupOpenCount() const { return domain_.integer(keys::popupOpenCount); }
std::int64_t Settings::popupTipIndex() const { return domain_.integer(keys::popupTipIndex); }

std::optional<std::int64_t> Settings::onboardingResumeStep() const
{
    if (!domain_.object(keys::onboardingResumeStep))
        return std::nullopt;
    return domain_.integer(keys::onboardingResumeStep);
}

std::map<std::string, double> Settings::localSyncTimestamps() const
{
    std::map<std::string, double> result;
    auto value = domain_.object(keys::localSyncTimestamps);
    const auto* entries = value ? value->as<platform::PlistDictionary>() : nullptr;
    if (!entries)
        return result;
    for (const auto& [key, time] : *entries) {
        if (const auto* real = time.as<double>())
            result.emplace(key, *real);
        else if (const auto* integer = time.as<std::int64_t>())
            result.emplace(key, static_cast<double>(*integer));
    }
    return result;
}

void logLaunchSnapshot(const platform::SettingsDomain& domain, platform::Log& log)
{
    std::string items;
    for (auto key : keys::launchSnapshot) {
        auto value = domain.object(key);
        items += fmt::format("{}={}, ", key, value ? platform::describe(*value) : "<unset>");
    }
    items += "globalHotkey=" + storedHotkeyDisplayString(domain).value_or("<unset>");
    log.notice(platform::LogCategory::settings, "Settings snapshot at launch: {}", items);
}

} // namespace hb
