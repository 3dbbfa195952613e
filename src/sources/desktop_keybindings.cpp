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
    // clang-format off
    static const std::unordered_map<std::string, Modifier> modifiers{
        {"primary", control}, {"control", control}, {"ctrl", control}, {"ctl", control},
        {"alt", option},      {"mod1", option},     {"shift", shift},  {"super", command},
        {"meta", command},    {"mod4", command},    {"hyper", command},
    };
    // clang-format on
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
    // clang-format off
    static const std::unordered_map<std::string_view, std::string_view> known{
        {"AudioRaiseVolume", "Volume Up"}, {"AudioLowerVolume", "Volume Down"}, {"AudioMute", "Mute"},
        {"AudioMicMute", "Microphone Mute"}, {"AudioPlay", "Play"}, {"AudioPause", "Pause"}, {"AudioStop", "Stop"},
        {"AudioNext", "Next Track"}, {"AudioPrev", "Previous Track"}, {"MonBrightnessUp", "Brightness Up"},
        {"MonBrightnessDown", "Brightness Down"}, {"WWW", "Browser"}, {"Explorer", "Files"},
        {"PowerOff", "Power"}, {"ScreenSaver", "Screen Saver"}, {"TouchpadToggle", "Touchpad"},
    };
    // clang-format on
    if (auto found = known.find(name); found != known.end())
        return std::string(found->second);
    std::string spelt;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i > 0 && std::isupper(static_cast<unsigned char>(name[i]))
            && !std::isupper(static_cast<unsigned char>(name[i - 1])))
            spelt += ' ';
        spelt += name[i];
    }
    return spelt;
}

// Keypad and alternative names of keys that have a name of their own:
// X keysyms of the keypad with Num Lock off, and Qt's Backtab (Shift+Tab).
std::string_view plainKeyName(std::string_view name)
{
    // clang-format off
    static constexpr std::pair<std::string_view, std::string_view> aliases[] = {
        {"KP_Home", "Home"},       {"KP_End", "End"},           {"KP_Up", "Up"},          {"KP_Down", "Down"},
        {"KP_Left", "Left"},       {"KP_Right", "Right"},       {"KP_Page_Up", "Page_Up"}, {"KP_Prior", "Page_Up"},
        {"KP_Page_Down", "Page_Down"}, {"KP_Next", "Page_Down"}, {"KP_Space", "space"},    {"KP_Tab", "Tab"},
        {"KP_Equal", "equal"},     {"KP_Decimal", "period"},    {"KP_Separator", "comma"}, {"Backtab", "Tab"},
        {"PageUp", "Page_Up"},     {"PageDown", "Page_Down"},   {"Linefeed", "Return"},   {"SysReq", "Print"},
        {"Sys_Req", "Print"},
    };
    // clang-format on
    for (const auto& [alias, plain] : aliases)
        if (sameName(name, alias))
            return plain;
    return name;
}

} // namespace

bool sameName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<NamedKey> namedKey(std::string_view alias)
{
    const std::string_view name = plainKeyName(alias);
    // X keysym names (GTK) and Qt's portable names. Most become the character
    // the key types or the function-key character that the notation names;
    // keypad Enter and Clear only have a virtual key.
    struct Named {
        std::string_view name;
        char32_t character = 0;
        std::int64_t virtualKey = 0;
    };
    // clang-format off
    static constexpr Named keys[] = {
        {"Return", U'\r'},      {"Tab", U'\t'},          {"ISO_Left_Tab", U'\t'},  {"BackSpace", 0x08},
        {"Backspace", 0x08},    {"Delete", 0xF728},      {"Del", 0xF728},          {"KP_Delete", 0xF728},
        {"Escape", 0x1B},       {"Esc", 0x1B},           {"Home", 0xF729},         {"End", 0xF72B},
        {"Page_Up", 0xF72C},    {"Prior", 0xF72C},       {"PgUp", 0xF72C},         {"Page_Down", 0xF72D},
        {"Next", 0xF72D},       {"PgDown", 0xF72D},      {"Up", 0xF700},           {"Down", 0xF701},
        {"Left", 0xF702},       {"Right", 0xF703},       {"space", U' '},          {"Insert", 0xF727},
        {"Ins", 0xF727},        {"KP_Insert", 0xF727},   {"Print", 0xF72E},        {"Pause", 0xF730},
        {"Menu", 0xF735},       {"KP_Enter", 0, 76},     {"Enter", 0, 76},         {"Clear", 0, 71},
        {"Above_Tab", U'`'},
        // Keysym names of printable characters; these are case-sensitive.
        {"exclam", U'!'},       {"quotedbl", U'"'},      {"numbersign", U'#'},     {"dollar", U'$'},
        {"percent", U'%'},      {"ampersand", U'&'},     {"apostrophe", U'\''},    {"parenleft", U'('},
        {"parenright", U')'},   {"asterisk", U'*'},      {"plus", U'+'},           {"comma", U','},
        {"minus", U'-'},        {"period", U'.'},        {"slash", U'/'},          {"colon", U':'},
        {"semicolon", U';'},    {"less", U'<'},          {"equal", U'='},          {"greater", U'>'},
        {"question", U'?'},     {"at", U'@'},            {"bracketleft", U'['},    {"backslash", U'\\'},
        {"bracketright", U']'}, {"asciicircum", U'^'},   {"underscore", U'_'},     {"grave", U'`'},
        {"braceleft", U'{'},    {"bar", U'|'},           {"braceright", U'}'},     {"asciitilde", U'~'},
        {"KP_Add", U'+'},       {"KP_Subtract", U'-'},   {"KP_Multiply", U'*'},    {"KP_Divide", U'/'},
    };
    // clang-format on
    // One character names itself; a literal space is the space bar.
    if (name.size() == 1 && (std::isgraph(static_cast<unsigned char>(name.front())) || name.front() == ' '))
        return NamedKey{std::string(name), std::nullopt};
    for (const auto& key : keys) {
        const bool printable = key.character > 0x20 && key.character < 0x7F && key.name.size() > 1
                               && std::islower(static_cast<unsigned char>(key.name.front()));
        if (printable ? name != key.name : !sameName(name, key.name))
            continue;
        if (key.virtualKey)
            return NamedKey{std::nullopt, key.virtualKey};
        return NamedKey{notation::utf8Encoded(key.character), std::nullopt};
    }
    // Keypad digits.
    if (name.size() == 4 && name.starts_with("KP_") && std::isdigit(static_cast<unsigned char>(name[3])))
        return NamedKey{std::string(1, name[3]), std::nullopt};
    // F1 to F20, the function keys the notation names.
    if (name.size() >= 2 && name.size() <= 3 && (name.front() == 'F' || name.front() == 'f')
        && std::all_of(name.begin() + 1, name.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        const int number = std::stoi(std::string(name.substr(1)));
        if (number >= 1 && number <= 20)
            return NamedKey{notation::utf8Encoded(static_cast<char32_t>(0xF704 + number - 1)), std::nullopt};
    }
    return std::nullopt;
}

std::optional<std::string> keyName(std::string_view keysym)
{
    if (keysym.starts_with("XF86") && keysym.size() > 4)
        return mediaKeyName(keysym.substr(4));
    // Qt's names of media keys are words already ("Volume Up", "Launch Mail").
    if (keysym.size() > 1 && keysym.find(' ') != std::string_view::npos
        && std::all_of(keysym.begin(), keysym.end(), [](unsigned char c) { return std::isalnum(c) || c == ' '; }))
        return std::string(keysym);
    auto key = namedKey(keysym);
    if (!key)
        return std::nullopt;
    return notation::menuKeyName(key->character, key->virtualKey, std::nullopt);
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
    // clang-format off
    static const std::unordered_map<char, Modifier> letters{
        {'C', control}, {'A', option}, {'S', shift}, {'W', command}, {'M', command}, {'H', command},
    };
    // clang-format on
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
