#include "settings/hotkey.h"

#include "platform/event_monitors.h"
#include "settings/settings_keys.h"

#include <nlohmann/json.hpp>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <array>
#include <limits>
#include <utility>

namespace hb {
namespace {

namespace flags = platform::modifier_flags;

// A JSON number that fits an unsigned 32-bit field.
std::optional<std::uint32_t> unsigned32(const nlohmann::json& value)
{
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number <= std::numeric_limits<std::uint32_t>::max())
            return static_cast<std::uint32_t>(number);
    } else if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number >= 0 && number <= std::numeric_limits<std::uint32_t>::max())
            return static_cast<std::uint32_t>(number);
    }
    return std::nullopt;
}

std::string upperCased(const std::string& text)
{
    std::string result;
    icu::UnicodeString::fromUTF8(text).toUpper(icu::Locale::getRoot()).toUTF8String(result);
    return result;
}

// clang-format off
constexpr std::array<std::pair<std::uint32_t, const char*>, 27> keyNames{{
    {36, "↩"},  {48, "⇥"},   {49, "Space"}, {51, "⌫"},   {53, "⎋"},   {76, "⌤"},  {96, "F5"},
    {97, "F6"}, {98, "F7"},  {99, "F3"},    {100, "F8"}, {101, "F9"}, {103, "F11"}, {109, "F10"},
    {111, "F12"}, {115, "↖"}, {116, "⇞"},  {117, "⌦"},  {118, "F4"}, {119, "↘"},  {120, "F2"},
    {121, "⇟"}, {122, "F1"}, {123, "←"},   {124, "→"},  {125, "↓"},  {126, "↑"},
}};
// clang-format on

} // namespace

std::string encodeHotkey(const GlobalHotkey& hotkey)
{
    nlohmann::json json{{"keyCode", hotkey.keyCode},
                        {"carbonModifiers", hotkey.carbonModifiers},
                        {"displayString", hotkey.displayString}};
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<GlobalHotkey> decodeHotkey(std::string_view text)
{
    const auto json = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    // Fields of later versions are passed over, as a standard decoder does.
    if (!json.is_object() || !json.contains("keyCode") || !json.contains("carbonModifiers")
        || !json.contains("displayString") || !json["displayString"].is_string())
        return std::nullopt;
    const auto keyCode = unsigned32(json["keyCode"]);
    const auto modifiers = unsigned32(json["carbonModifiers"]);
    if (!keyCode || !modifiers)
        return std::nullopt;
    return GlobalHotkey{*keyCode, *modifiers, json["displayString"].get<std::string>()};
}

std::optional<GlobalHotkey> loadHotkey(const platform::SettingsDomain& settings)
{
    const auto value = settings.object(keys::globalHotkey);
    const auto* bytes = value ? value->as<platform::PlistData>() : nullptr;
    if (!bytes)
        return std::nullopt;
    return decodeHotkey(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

void saveHotkey(const std::optional<GlobalHotkey>& hotkey, platform::SettingsDomain& settings)
{
    if (!hotkey) {
        settings.remove(keys::globalHotkey);
        return;
    }
    const std::string json = encodeHotkey(*hotkey);
    settings.set(keys::globalHotkey, platform::PlistData(json.begin(), json.end()));
}

std::uint32_t carbonModifiers(std::uint64_t eventModifierFlags)
{
    std::uint32_t result = 0;
    if (eventModifierFlags & flags::command)
        result |= carbon_modifiers::command;
    if (eventModifierFlags & flags::shift)
        result |= carbon_modifiers::shift;
    if (eventModifierFlags & flags::option)
        result |= carbon_modifiers::option;
    if (eventModifierFlags & flags::control)
        result |= carbon_modifiers::control;
    return result;
}

std::string hotkeyKeyName(std::uint32_t keyCode, const std::optional<std::string>& characters)
{
    for (const auto& [code, name] : keyNames) {
        if (code == keyCode)
            return name;
    }
    if (!characters || characters->empty())
        return "?";
    return upperCased(*characters);
}

std::string hotkeyDisplayString(std::uint32_t keyCode, std::uint64_t eventModifierFlags,
                                const std::optional<std::string>& characters)
{
    std::string text;
    if (eventModifierFlags & flags::control)
        text += "⌃";
    if (eventModifierFlags & flags::option)
        text += "⌥";
    if (eventModifierFlags & flags::shift)
        text += "⇧";
    if (eventModifierFlags & flags::command)
        text += "⌘";
    return text + hotkeyKeyName(keyCode, characters);
}

} // namespace hb
