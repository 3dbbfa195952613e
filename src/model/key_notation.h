#pragma once

#include "platform/event_monitors.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The key notation: modifier glyphs in the order ⌃ ⌥ ⇧ ⌘ followed by a key name.
namespace hb::notation {

inline constexpr std::string_view control = "⌃";
inline constexpr std::string_view option = "⌥";
inline constexpr std::string_view shift = "⇧";
inline constexpr std::string_view command = "⌘";
inline constexpr std::array<std::string_view, 4> modifierGlyphs{control, option, shift, command};

// Bits of a menu item's modifier mask.
namespace menuMask {
inline constexpr int shift = 1;
inline constexpr int option = 2;
inline constexpr int control = 4;
inline constexpr int noCommand = 8;
} // namespace menuMask

// Event modifier flags.
namespace eventFlag = platform::modifier_flags;

// Key-name tables.
std::optional<std::string_view> functionKeyName(char32_t scalar);
std::optional<std::string_view> menuGlyphName(std::int64_t glyph);
std::optional<std::string_view> virtualKeyName(std::int64_t keyCode);
// What the key at an ANSI position (letter, digit, punctuation, keypad) is
// labelled with, for key codes that come without a character.
std::optional<std::string_view> ansiKeyName(std::int64_t keyCode);

std::string menuModifierGlyphs(std::int64_t menuModifierMask);
int menuModifierMask(std::uint64_t eventFlags);

// The name of a menu item's key: character first, then glyph, then virtual
// key, then the label of the key's ANSI position.
std::optional<std::string> menuKeyName(const std::optional<std::string>& character,
                                       std::optional<std::int64_t> virtualKey, std::optional<std::int64_t> glyph);

// The notation of a menu item's key equivalent, when it has one.
std::optional<std::string> menuKeyNotation(const std::optional<std::string>& character,
                                           std::optional<std::int64_t> virtualKey, std::optional<std::int64_t> glyph,
                                           std::optional<std::int64_t> modifierMask);

// The notation of a key press; `characters` is the key's text without modifiers.
std::optional<std::string> eventKeyNotation(std::int64_t keyCode, std::uint64_t eventFlags,
                                            const std::optional<std::string>& characters);

// The UTF-8 form of a Unicode scalar (U+FFFD for a value that is none).
std::string utf8Encoded(char32_t scalar);

// The first Unicode scalar of a UTF-8 text (U+FFFD for malformed input), or absent for empty text.
std::optional<char32_t> firstScalar(std::string_view utf8);

} // namespace hb::notation
