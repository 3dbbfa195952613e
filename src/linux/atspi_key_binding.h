#pragma once

#include "platform/accessibility.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Menu accelerators as toolkits report them over AT-SPI, turned into a menu
// item's key equivalent: a character, virtual key or glyph plus a modifier
// mask (the bits of notation::menuMask).
namespace hb::linux_platform {

struct MenuKeyEquivalent {
    std::optional<std::string> character;
    std::optional<std::int64_t> virtualKey;
    std::optional<std::int64_t> glyph;
    std::int64_t modifiers = 0;

    friend bool operator==(const MenuKeyEquivalent&, const MenuKeyEquivalent&) = default;
};

enum class KeyBindingStyle {
    gtk, // "mnemonic;path;accelerator", e.g. "n;<Alt>f:n;<Primary>n"
    qt,  // "Ctrl+Shift+N"; a mnemonic reads as "Alt+N"
};

// Whether an application's toolkit name is GTK's (GTK 3 says "gtk").
bool isGtk(std::string_view toolkitName);

// The style of an application's key bindings from its toolkit name
// ("GTK", "Qt"), guessed from the text when the toolkit is unknown.
KeyBindingStyle keyBindingStyle(std::string_view toolkitName, std::string_view keyBinding);

// The key equivalent of a menu item from the key binding of its action.
// `title` and `opensSubmenu` tell a Qt mnemonic (Alt+letter) from a shortcut.
// Absent when the item has no accelerator or the key has no name.
std::optional<MenuKeyEquivalent> parseKeyBinding(std::string_view keyBinding, KeyBindingStyle style,
                                                 std::string_view title, bool opensSubmenu);

// The accelerator part of a GTK key binding, as GTK names it ("<Primary>n"
// of "n;<Alt>f:n;<Primary>n"); empty when the binding names none.
std::string_view gtkAccelerator(std::string_view keyBinding);

// Whether the attribute is one of a menu item's key attributes (command
// character, virtual key, glyph, modifiers)...
bool isKeyAttribute(std::string_view attribute);
// ...and its value for a key equivalent; absent when the key has none.
std::optional<platform::AttributeValue> keyAttribute(const MenuKeyEquivalent& key, std::string_view attribute);

} // namespace hb::linux_platform
