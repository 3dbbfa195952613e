#include "linux/atspi_key_binding.h"

#include "model/key_notation.h"
#include "sources/desktop_keybindings.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace hb::linux_platform {
namespace {

namespace mask = notation::menuMask;

// The key part of an accelerator.
std::optional<MenuKeyEquivalent> keyNamed(std::string_view name)
{
    auto key = keybinding::namedKey(name);
    if (!key)
        return std::nullopt;
    MenuKeyEquivalent equivalent;
    equivalent.character = std::move(key->character);
    equivalent.virtualKey = key->virtualKey;
    return equivalent;
}

// Adds a modifier by name to the mask; false for a modifier the notation cannot show.
bool addModifier(std::string_view name, std::int64_t& modifiers, bool& command)
{
    if (keybinding::sameName(name, "Primary") || keybinding::sameName(name, "Control")
        || keybinding::sameName(name, "Ctrl") || keybinding::sameName(name, "Ctl"))
        modifiers |= mask::control;
    else if (keybinding::sameName(name, "Alt") || keybinding::sameName(name, "Mod1"))
        modifiers |= mask::option;
    else if (keybinding::sameName(name, "Shift") || keybinding::sameName(name, "Shft"))
        modifiers |= mask::shift;
    else if (keybinding::sameName(name, "Super") || keybinding::sameName(name, "Meta")
             || keybinding::sameName(name, "Mod4"))
        command = true;
    else
        return false;
    return true;
}

std::optional<MenuKeyEquivalent> withModifiers(std::optional<MenuKeyEquivalent> key, std::int64_t modifiers,
                                               bool command)
{
    if (key)
        key->modifiers = modifiers | (command ? 0 : mask::noCommand);
    return key;
}

// "<Primary><Shift>n"
std::optional<MenuKeyEquivalent> parseGtkAccelerator(std::string_view accelerator)
{
    std::int64_t modifiers = 0;
    bool command = false;
    while (!accelerator.empty() && accelerator.front() == '<') {
        const auto close = accelerator.find('>');
        if (close == std::string_view::npos)
            return std::nullopt;
        if (!addModifier(accelerator.substr(1, close - 1), modifiers, command))
            return std::nullopt;
        accelerator.remove_prefix(close + 1);
    }
    if (accelerator.empty())
        return std::nullopt;
    return withModifiers(keyNamed(accelerator), modifiers, command);
}

bool titleContains(std::string_view title, char c)
{
    return std::any_of(title.begin(), title.end(), [c](char t) {
        return std::tolower(static_cast<unsigned char>(t)) == std::tolower(static_cast<unsigned char>(c));
    });
}

// "Ctrl+Shift+N", "Ctrl++", "Alt+Right"
std::optional<MenuKeyEquivalent> parseQtShortcut(std::string_view shortcut, std::string_view title, bool opensSubmenu)
{
    if (shortcut.empty() || shortcut.find(", ") != std::string_view::npos) // empty, or a sequence of chords
        return std::nullopt;
    std::string_view keyName;
    std::string_view modifierPart;
    if (shortcut.back() == '+' && (shortcut.size() == 1 || shortcut[shortcut.size() - 2] == '+')) {
        keyName = "+";
        modifierPart = shortcut.substr(0, shortcut.size() - 1);
    } else {
        const auto plus = shortcut.rfind('+');
        keyName = plus == std::string_view::npos ? shortcut : shortcut.substr(plus + 1);
        modifierPart = plus == std::string_view::npos ? std::string_view{} : shortcut.substr(0, plus + 1);
    }

    std::int64_t modifiers = 0;
    bool command = false;
    while (!modifierPart.empty()) {
        const auto plus = modifierPart.find('+');
        const auto name = modifierPart.substr(0, plus);
        if (!keybinding::sameName(name, "Num") && !addModifier(name, modifiers, command))
            return std::nullopt;
        modifierPart.remove_prefix(plus == std::string_view::npos ? modifierPart.size() : plus + 1);
    }

    // Qt reports an item's mnemonic as Alt+<character> when it has no shortcut.
    const bool mnemonic = modifiers == mask::option && !command && keyName.size() == 1
                          && (opensSubmenu || titleContains(title, keyName.front()));
    if (mnemonic)
        return std::nullopt;
    return withModifiers(keyNamed(keyName), modifiers, command);
}

} // namespace

bool isGtk(std::string_view toolkitName)
{
    return keybinding::sameName(toolkitName, "GTK");
}

KeyBindingStyle keyBindingStyle(std::string_view toolkitName, std::string_view keyBinding)
{
    if (isGtk(toolkitName))
        return KeyBindingStyle::gtk;
    if (keybinding::sameName(toolkitName, "Qt"))
        return KeyBindingStyle::qt;
    const bool gtkLike =
        keyBinding.find('<') != std::string_view::npos || std::count(keyBinding.begin(), keyBinding.end(), ';') >= 2;
    return gtkLike ? KeyBindingStyle::gtk : KeyBindingStyle::qt;
}

std::optional<MenuKeyEquivalent> parseKeyBinding(std::string_view keyBinding, KeyBindingStyle style,
                                                 std::string_view title, bool opensSubmenu)
{
    if (style == KeyBindingStyle::qt)
        return parseQtShortcut(keyBinding, title, opensSubmenu);
    return parseGtkAccelerator(gtkAccelerator(keyBinding));
}

std::string_view gtkAccelerator(std::string_view keyBinding)
{
    // "mnemonic;path;accelerator": the accelerator is the third field (keysym
    // names hold no ";"). Two fields are a mnemonic and its path, no accelerator.
    const auto fields = std::count(keyBinding.begin(), keyBinding.end(), ';');
    if (fields == 0)
        return keyBinding;
    if (fields < 2)
        return {};
    return keyBinding.substr(keyBinding.rfind(';') + 1);
}

bool isKeyAttribute(std::string_view attribute)
{
    namespace ax = platform::ax;
    return attribute == ax::cmdChar || attribute == ax::cmdVirtualKey || attribute == ax::cmdGlyph
           || attribute == ax::cmdModifiers;
}

std::optional<platform::AttributeValue> keyAttribute(const MenuKeyEquivalent& key, std::string_view attribute)
{
    namespace ax = platform::ax;
    using platform::AttributeNumber;
    if (attribute == ax::cmdChar && key.character)
        return *key.character;
    if (attribute == ax::cmdVirtualKey && key.virtualKey)
        return AttributeNumber{static_cast<double>(*key.virtualKey)};
    if (attribute == ax::cmdGlyph && key.glyph)
        return AttributeNumber{static_cast<double>(*key.glyph)};
    if (attribute == ax::cmdModifiers)
        return AttributeNumber{static_cast<double>(key.modifiers)};
    return std::nullopt;
}

} // namespace hb::linux_platform
