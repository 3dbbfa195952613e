#pragma once

#include "platform/settings_domain.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hb {

// A key combination that opens the popup from any application.
struct GlobalHotkey {
    std::uint32_t keyCode = 0;         // virtual key code (K is 40)
    std::uint32_t carbonModifiers = 0; // Command 0x100, Shift 0x200, Option 0x800, Control 0x1000
    std::string displayString;         // "⌥⌘K"

    friend bool operator==(const GlobalHotkey&, const GlobalHotkey&) = default;
};

inline const GlobalHotkey defaultHotkey{40, 0x900, "⌥⌘K"};

// Carbon modifier bits.
namespace carbon_modifiers {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
} // namespace carbon_modifiers

// The stored form under `globalHotkey`: JSON with the three fields; other
// fields are passed over. Data that does not decode reads as none.
std::optional<GlobalHotkey> loadHotkey(const platform::SettingsDomain& settings);
void saveHotkey(const std::optional<GlobalHotkey>& hotkey, platform::SettingsDomain& settings);
// The JSON text of the stored form, and its reading.
std::string encodeHotkey(const GlobalHotkey& hotkey);
std::optional<GlobalHotkey> decodeHotkey(std::string_view json);

// Event modifier flags to Carbon modifier bits; other bits are ignored.
std::uint32_t carbonModifiers(std::uint64_t eventModifierFlags);
// The name of a key in hot-key texts ("Space", "F5", "←"); `characters` names
// keys outside the table, upper-cased, and "?" when there are none.
std::string hotkeyKeyName(std::uint32_t keyCode, const std::optional<std::string>& characters);
// "⌃⌥⇧⌘" as flagged, then the key's name.
std::string hotkeyDisplayString(std::uint32_t keyCode, std::uint64_t eventModifierFlags,
                                const std::optional<std::string>& characters);

} // namespace hb
