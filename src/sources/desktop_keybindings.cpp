#include "sources/desktop_keybindings.h"

#include "model/key_notation.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace hb::keybinding {
namespace {

enum Modifier : unsigned { control = 1, option = 2, shift = 4, command = 8 };

std::string lowerCased(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

std::optional<unsigned> modifierNamed(std::string_view name)
{
    static const std::unordered_map<std::string, Modifier> modifiers{
        {"primary", control}, {"control", control}, {"ctrl", control}, {"ctl", control},
        {"alt", option},      {"mod1", option},     {"shift", shift},  {"super", command},
        {"meta", command},    {"mod4", command},    {"hyper", command},
    };
    auto found = modifiers.find(lowerCased(name));
    if (found == modifiers.end())
        return std::nullopt;
    return found->second;
}

std::string glyphs(unsigned modifiers)
{
    std::string text;
    if (modifiers & control)
        text += notation::control;
    if (modifiers & option)
        text += notation::option;
    if (modifiers & shift)
        text += notation::shift;
    if (modifiers & command)
        text += notation::command;
    return text;
}

std::optional<std::string> combined(unsigned modifiers, std::string_view key)
{
    auto name = keyName(key);
    if (!name)
        return std::nullopt;
    return glyphs(modifiers) + *name;
}

// "XF86AudioRaiseVolume" → "Volume Up"; unknown ones are spelt out by word.
std::string mediaKeyName(std::string_view name)
{
    static const std::unordered_map<std::string_view, std::string_view> known{
        {"AudioRaiseVolume", "Volume Up"}, {"AudioLowerVolume", "Volume Down"}, {"AudioMute", "Mute"},
        {"AudioMicMute", "Microphone Mute"}, {"AudioPlay", "Play"}, {"AudioPause", "Pause"}, {"AudioStop", "Stop"},
        {"AudioNext", "Next Track"}, {"AudioPrev", "Previous Track"}, {"MonBrightnessUp", "Brightness Up"},
        {"MonBrightnessDown", "Brightness Down"}, {"WWW", "Browser"}, {"Explorer", "Files"},
        {"PowerOff", "Power"}, {"ScreenSaver", "Screen Saver"}, {"TouchpadToggle", "Touchpad"},
    };
    if (auto found = known.find(name); found != known.end())
        return std::string(found->second);
    std::string spelt;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i > 0 && std::isupper(static_cast<unsigned char>(name[i])) &&
            !std::isupper(static_cast<unsigned char>(name[i - 1])))
            spelt += ' ';
        spelt += name[i];
    }
    return spelt;
}

} // namespace

std::optional<std::string> keyName(std::string_view keysym)
{
    static const std::unordered_map<std::string, std::string_view> named{
        // X keysym names, and the names Qt gives the same keys (lower-cased).
        {"left", "←"}, {"right", "→"}, {"up", "↑"}, {"down", "↓"},
        {"return", "↩"}, {"kp_enter", "⌅"}, {"enter", "⌅"}, {"tab", "⇥"}, {"iso_left_tab", "⇥"},
        {"backspace", "⌫"}, {"delete", "⌦"}, {"del", "⌦"}, {"escape", "⎋"}, {"esc", "⎋"},
        {"home", "↖"}, {"end", "↘"}, {"page_up", "⇞"}, {"prior", "⇞"}, {"pgup", "⇞"},
        {"page_down", "⇟"}, {"next", "⇟"}, {"pgdown", "⇟"}, {"space", "Space"},
        {"print", "Print"}, {"insert", "Insert"}, {"ins", "Insert"}, {"pause", "Pause"}, {"menu", "Menu"},
        {"above_tab", "`"},
        {"comma", ","}, {"period", "."}, {"slash", "/"}, {"semicolon", ";"}, {"apostrophe", "'"},
        {"bracketleft", "["}, {"bracketright", "]"}, {"backslash", "\\"}, {"minus", "-"}, {"equal", "="},
        {"grave", "`"}, {"plus", "+"}, {"asterisk", "*"}, {"exclam", "!"}, {"at", "@"}, {"numbersign", "#"},
        {"dollar", "$"}, {"percent", "%"}, {"asciicircum", "^"}, {"ampersand", "&"}, {"parenleft", "("},
        {"parenright", ")"}, {"underscore", "_"}, {"colon", ":"}, {"quotedbl", "\""}, {"less", "<"},
        {"greater", ">"}, {"question", "?"}, {"bar", "|"}, {"braceleft", "{"}, {"braceright", "}"},
        {"asciitilde", "~"},
    };
    if (keysym.empty())
        return std::nullopt;
    const auto lower = lowerCased(keysym);
    if (auto found = named.find(lower); found != named.end())
        return std::string(found->second);
    if (keysym.size() == 1 && std::isgraph(static_cast<unsigned char>(keysym[0])))
        return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(keysym[0]))));
    // F1 to F35.
    if (lower.size() >= 2 && lower[0] == 'f' && std::all_of(lower.begin() + 1, lower.end(), ::isdigit)) {
        const int number = std::stoi(lower.substr(1, 3));
        if (number >= 1 && number <= 35)
            return "F" + std::to_string(number);
    }
    // Keypad digits and operators.
    if (lower.starts_with("kp_") && lower.size() == 4 && std::isdigit(static_cast<unsigned char>(lower[3])))
        return std::string(1, lower[3]);
    if (keysym.starts_with("XF86") && keysym.size() > 4)
        return mediaKeyName(keysym.substr(4));
    // Qt's names of media keys are words already ("Volume Up", "Launch Mail").
    if (keysym.find(' ') != std::string_view::npos &&
        std::all_of(keysym.begin(), keysym.end(), [](unsigned char c) { return std::isalnum(c) || c == ' '; }))
        return std::string(keysym);
    return std::nullopt;
}

std::optional<std::string> gtkAccelerator(std::string_view accelerator)
{
    unsigned modifiers = 0;
    while (accelerator.starts_with('<')) {
        const auto close = accelerator.find('>');
        if (close == std::string_view::npos)
            return std::nullopt;
        auto modifier = modifierNamed(accelerator.substr(1, close - 1));
        if (!modifier)
            return std::nullopt;
        modifiers |= *modifier;
        accelerator.remove_prefix(close + 1);
    }
    return combined(modifiers, accelerator);
}

std::optional<std::string> qtKeySequence(std::string_view sequence)
{
    // "Ctrl+A, Ctrl+B" is two presses.
    if (sequence.find(", ") != std::string_view::npos)
        return std::nullopt;
    unsigned modifiers = 0;
    for (;;) {
        const auto plus = sequence.find('+');
        // A last "+" is the key itself ("Ctrl++").
        if (plus == std::string_view::npos || plus + 1 == sequence.size())
            return combined(modifiers, sequence);
        auto modifier = modifierNamed(sequence.substr(0, plus));
        if (!modifier)
            return std::nullopt;
        modifiers |= *modifier;
        sequence.remove_prefix(plus + 1);
    }
}

std::optional<std::string> openboxKey(std::string_view key)
{
    // "C-a b" is a chain of presses.
    if (key.find(' ') != std::string_view::npos)
        return std::nullopt;
    static const std::unordered_map<char, Modifier> letters{
        {'C', control}, {'A', option}, {'S', shift}, {'W', command}, {'M', command}, {'H', command},
    };
    unsigned modifiers = 0;
    while (key.size() > 2 && key[1] == '-') {
        auto found = letters.find(key[0]);
        if (found == letters.end())
            return std::nullopt;
        modifiers |= found->second;
        key.remove_prefix(2);
    }
    return combined(modifiers, key);
}

std::optional<Shortcut> bindingRow(std::string title, const std::vector<std::string>& notations,
                                   const std::vector<std::string>& defaultNotations)
{
    const bool active = !notations.empty();
    const auto& shown = active ? notations : defaultNotations;
    if (shown.empty() || title.empty())
        return std::nullopt;
    Shortcut row;
    row.title = std::move(title);
    row.keys = shown.front();
    row.isDisabled = !active;
    return row;
}

} // namespace hb::keybinding
