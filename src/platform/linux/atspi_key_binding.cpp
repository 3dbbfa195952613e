#include "platform/linux/atspi_key_binding.h"

#include "model/key_notation.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace hb::linux_platform {
namespace {

namespace mask = notation::menuMask;

std::string utf8(char32_t scalar)
{
    std::string text;
    if (scalar < 0x80) {
        text += static_cast<char>(scalar);
    } else if (scalar < 0x800) {
        text += static_cast<char>(0xC0 | (scalar >> 6));
        text += static_cast<char>(0x80 | (scalar & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (scalar >> 12));
        text += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (scalar & 0x3F));
    }
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Named keys of both toolkits: X keysym names (GTK) and Qt's portable names.
// Most become the character the key types or the function-key character that
// the key notation names; keypad Enter and Clear only have a virtual key.
struct NamedKey {
    std::string_view name;
    char32_t character = 0;
    std::int64_t virtualKey = 0;
};
constexpr std::array namedKeys{
    NamedKey{"Return", U'\r'},      NamedKey{"Tab", U'\t'},          NamedKey{"BackSpace", 0x08},
    NamedKey{"Backspace", 0x08},    NamedKey{"Delete", 0xF728},      NamedKey{"Del", 0xF728},
    NamedKey{"KP_Delete", 0xF728},  NamedKey{"Escape", 0x1B},        NamedKey{"Esc", 0x1B},
    NamedKey{"Home", 0xF729},       NamedKey{"End", 0xF72B},         NamedKey{"Page_Up", 0xF72C},
    NamedKey{"Prior", 0xF72C},      NamedKey{"PgUp", 0xF72C},        NamedKey{"Page_Down", 0xF72D},
    NamedKey{"Next", 0xF72D},       NamedKey{"PgDown", 0xF72D},      NamedKey{"Up", 0xF700},
    NamedKey{"Down", 0xF701},       NamedKey{"Left", 0xF702},        NamedKey{"Right", 0xF703},
    NamedKey{"space", U' '},        NamedKey{"KP_Enter", 0, 76},     NamedKey{"Enter", 0, 76},
    NamedKey{"Clear", 0, 71},
    // X keysym names of printable ASCII characters.
    NamedKey{"exclam", U'!'},       NamedKey{"quotedbl", U'"'},      NamedKey{"numbersign", U'#'},
    NamedKey{"dollar", U'$'},       NamedKey{"percent", U'%'},       NamedKey{"ampersand", U'&'},
    NamedKey{"apostrophe", U'\''},  NamedKey{"parenleft", U'('},     NamedKey{"parenright", U')'},
    NamedKey{"asterisk", U'*'},     NamedKey{"plus", U'+'},          NamedKey{"comma", U','},
    NamedKey{"minus", U'-'},        NamedKey{"period", U'.'},        NamedKey{"slash", U'/'},
    NamedKey{"colon", U':'},        NamedKey{"semicolon", U';'},     NamedKey{"less", U'<'},
    NamedKey{"equal", U'='},        NamedKey{"greater", U'>'},       NamedKey{"question", U'?'},
    NamedKey{"at", U'@'},           NamedKey{"bracketleft", U'['},   NamedKey{"backslash", U'\\'},
    NamedKey{"bracketright", U']'}, NamedKey{"asciicircum", U'^'},   NamedKey{"underscore", U'_'},
    NamedKey{"grave", U'`'},        NamedKey{"braceleft", U'{'},     NamedKey{"bar", U'|'},
    NamedKey{"braceright", U'}'},   NamedKey{"asciitilde", U'~'},    NamedKey{"KP_Add", U'+'},
    NamedKey{"KP_Subtract", U'-'},  NamedKey{"KP_Multiply", U'*'},   NamedKey{"KP_Divide", U'/'},
};

// The key part of an accelerator: one character, a named key or F1 to F20.
std::optional<MenuKeyEquivalent> keyNamed(std::string_view name)
{
    MenuKeyEquivalent key;
    if (name.size() == 1) {
        if (!std::isgraph(static_cast<unsigned char>(name.front())))
            return std::nullopt;
        key.character = std::string(name);
        return key;
    }
    for (const auto& named : namedKeys) {
        // Keysym names of characters are case-sensitive ("plus"); key names are not.
        const bool matches = named.character > 0x20 && named.character < 0x7F ? name == named.name
                                                                              : equalsIgnoringCase(name, named.name);
        if (!matches)
            continue;
        if (named.virtualKey)
            key.virtualKey = named.virtualKey;
        else
            key.character = utf8(named.character);
        return key;
    }
    if ((name.front() == 'F' || name.front() == 'f') &&
        std::all_of(name.begin() + 1, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
        name.size() <= 3) {
        const int number = std::stoi(std::string(name.substr(1)));
        if (number >= 1 && number <= 20) {
            key.character = utf8(0xF704 + number - 1);
            return key;
        }
    }
    return std::nullopt;
}

// Adds a modifier by name to the mask; false for a modifier the notation cannot show.
bool addModifier(std::string_view name, std::int64_t& modifiers, bool& command)
{
    if (equalsIgnoringCase(name, "Primary") || equalsIgnoringCase(name, "Control") || equalsIgnoringCase(name, "Ctrl"))
        modifiers |= mask::control;
    else if (equalsIgnoringCase(name, "Alt") || equalsIgnoringCase(name, "Mod1"))
        modifiers |= mask::option;
    else if (equalsIgnoringCase(name, "Shift"))
        modifiers |= mask::shift;
    else if (equalsIgnoringCase(name, "Super") || equalsIgnoringCase(name, "Meta"))
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
    if (shortcut.empty() || shortcut.find(", ") != std::string_view::npos)  // empty, or a sequence of chords
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
        if (!equalsIgnoringCase(name, "Num") && !addModifier(name, modifiers, command))
            return std::nullopt;
        modifierPart.remove_prefix(plus == std::string_view::npos ? modifierPart.size() : plus + 1);
    }

    // Qt reports an item's mnemonic as Alt+<character> when it has no shortcut.
    const bool mnemonic = modifiers == mask::option && !command && keyName.size() == 1 &&
                          (opensSubmenu || titleContains(title, keyName.front()));
    if (mnemonic)
        return std::nullopt;
    return withModifiers(keyNamed(keyName), modifiers, command);
}

} // namespace

KeyBindingStyle keyBindingStyle(std::string_view toolkitName, std::string_view keyBinding)
{
    if (equalsIgnoringCase(toolkitName, "GTK"))
        return KeyBindingStyle::gtk;
    if (equalsIgnoringCase(toolkitName, "Qt"))
        return KeyBindingStyle::qt;
    const bool gtkLike = keyBinding.find('<') != std::string_view::npos ||
                         std::count(keyBinding.begin(), keyBinding.end(), ';') >= 2;
    return gtkLike ? KeyBindingStyle::gtk : KeyBindingStyle::qt;
}

std::optional<MenuKeyEquivalent> parseKeyBinding(std::string_view keyBinding, KeyBindingStyle style,
                                                 std::string_view title, bool opensSubmenu)
{
    if (style == KeyBindingStyle::qt)
        return parseQtShortcut(keyBinding, title, opensSubmenu);
    // The accelerator is the last of the three fields; keysym names hold no ";".
    const auto semicolon = keyBinding.rfind(';');
    return parseGtkAccelerator(semicolon == std::string_view::npos ? keyBinding : keyBinding.substr(semicolon + 1));
}

} // namespace hb::linux_platform
