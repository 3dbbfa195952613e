#pragma once

#include <string>
#include <string_view>

// How key notation is shown to the user. The notation itself (⌃⌥⇧⌘ and a key
// name) stays the form that is compared and stored.
namespace hb::notation {

// Words: "Ctrl+Shift+S", "Alt+F4", "Super+D", "Ctrl+Page Up", in the order and
// with the names of Linux toolkits. Symbols: the notation as it is, "⌃⇧S".
enum class KeyLabels { words, symbols };

inline constexpr KeyLabels defaultKeyLabels = KeyLabels::words;

// The stored names: "words" and "symbols"; any other name means the default.
std::string_view storedName(KeyLabels labels);
KeyLabels keyLabelsStoredAs(std::string_view name);

// A key notation as shown; text that is not notation is shown as it is.
std::string keyLabel(std::string_view keys, KeyLabels labels);

// One modifier glyph as shown: "Ctrl", "Alt", "Shift", "Super" in words.
std::string_view modifierLabel(std::string_view glyph, KeyLabels labels);

} // namespace hb::notation
