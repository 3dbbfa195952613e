#include "sources/system_shortcuts.h"

#include "model/key_notation.h"
#include "sources/property_list_reader.h"
#include "sources/user_key_equivalents.h"

#include <array>
#include <charconv>
#include <vector>

namespace hb {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

constexpr std::int64_t shift = notation::eventFlag::shift;
constexpr std::int64_t control = notation::eventFlag::control;
constexpr std::int64_t option = notation::eventFlag::option;
constexpr std::int64_t command = notation::eventFlag::command;
constexpr std::int64_t none = HotKeyParameters::none;

// In display order: category by category, as `categories` below slices it.
constexpr std::array<KnownHotKey, 30> knownHotKeys{{
    {64, "Show Spotlight Search", {0x20, 49, command}, true},
    {65, "Show Finder Search Window", {0x20, 49, option | command}, true},

    {28, "Save Picture of Entire Screen", {0x33, 20, shift | command}, true},
    {29, "Copy Picture of Entire Screen", {0x33, 20, control | shift | command}, true},
    {30, "Save Picture of Selected Area", {0x34, 21, shift | command}, true},
    {31, "Copy Picture of Selected Area", {0x34, 21, control | shift | command}, true},
    {184, "Screenshot and Recording Options", {0x35, 23, shift | command}, true},

    {32, "Mission Control", {none, 126, control}, true},
    {33, "Application Windows", {none, 125, control}, true},
    {36, "Show Desktop", {none, 103, 0}, true},

    {7, "Move Focus to Menu Bar", {none, 120, control}, true},
    {8, "Move Focus to Dock", {none, 99, control}, true},
    {9, "Move Focus to Active Window", {none, 118, control}, true},
    {10, "Move Focus to Window Toolbar", {none, 96, control}, true},
    {11, "Move Focus to Floating Window", {none, 97, control}, true},
    {27, "Move Focus to Next Window", {0x60, 50, command}, true},
    {57, "Move Focus to Status Menus", {none, 100, control}, true},

    {60, "Select Previous Input Source", {0x20, 49, control}, false},
    {61, "Select Next Input Source", {0x20, 49, control | option}, false},

    {59, "Turn VoiceOver On/Off", {none, 96, command}, true},

    {118, "Switch to Space 1", {0x31, 18, control}, false},
    {119, "Switch to Space 2", {0x32, 19, control}, false},
    {120, "Switch to Space 3", {0x33, 20, control}, false},
    {121, "Switch to Space 4", {0x34, 21, control}, false},
    {122, "Switch to Space 5", {0x35, 23, control}, false},
    {123, "Switch to Space 6", {0x36, 22, control}, false},
    {124, "Switch to Space 7", {0x37, 26, control}, false},
    {125, "Switch to Space 8", {0x38, 28, control}, false},
    {126, "Switch to Space 9", {0x39, 25, control}, false},
    {127, "Switch to Space 10", {0x30, 29, control}, false},
}};

constexpr std::span<const KnownHotKey> known{knownHotKeys};
constexpr std::array<HotKeyCategory, 7> categories{{
    {"Spotlight", known.subspan(0, 2)},
    {"Screenshots", known.subspan(2, 5)},
    {"Mission Control", known.subspan(7, 3)},
    {"Keyboard Navigation", known.subspan(10, 7)},
    {"Input Sources", known.subspan(17, 2)},
    {"Accessibility", known.subspan(19, 1)},
    {"Spaces", known.subspan(20, 10)},
}};

const KnownHotKey* knownHotKey(std::int64_t id)
{
    for (const auto& hotKey : knownHotKeys)
        if (hotKey.id == id)
            return &hotKey;
    return nullptr;
}

template <typename T>
const T* entry(const PlistDictionary& dictionary, std::string_view key)
{
    auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : found->second.as<T>();
}

// A decimal integer with an optional leading "+" or "-", and nothing else.
std::optional<std::int64_t> decimalInteger(std::string_view text)
{
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-'))
            return std::nullopt;
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// value.parameters = (character, virtual key, event modifier flags).
std::optional<HotKeyParameters> parametersOf(const PlistDictionary& hotKey)
{
    const auto* value = entry<PlistDictionary>(hotKey, "value");
    const auto* list = value ? entry<PlistArray>(*value, "parameters") : nullptr;
    if (!list || list->size() < 3)
        return std::nullopt;
    const auto* character = (*list)[0].as<std::int64_t>();
    const auto* virtualKey = (*list)[1].as<std::int64_t>();
    const auto* flags = (*list)[2].as<std::int64_t>();
    if (!character || !virtualKey || !flags || *flags < 0)
        return std::nullopt;
    if (*character == HotKeyParameters::none && *virtualKey == HotKeyParameters::none)
        return std::nullopt;
    return HotKeyParameters{*character, *virtualKey, *flags};
}

void applyPreference(HotKeyStateMap& states, std::int64_t id, const PlistDictionary& hotKey)
{
    const auto* enabled = entry<bool>(hotKey, "enabled");
    if (!enabled)
        return;
    auto parameters = parametersOf(hotKey);
    if (!*enabled) {
        // A switched-off hot key keeps showing its combination, marked deactivated.
        if (!parameters)
            if (const auto* hotKeyDefaults = knownHotKey(id))
                parameters = hotKeyDefaults->defaults;
    }
    if (!parameters)
        return;
    if (auto keys = hotKeyNotation(*parameters))
        states[id] = HotKeyState{std::move(*keys), !*enabled};
}

// Carbon modifier bits to a menu modifier mask.
int menuMaskOfCarbonModifiers(std::uint32_t modifiers)
{
    using platform::SymbolicHotKeys;
    int mask = 0;
    if (modifiers & SymbolicHotKeys::shiftKey)
        mask += notation::menuMask::shift;
    if (modifiers & SymbolicHotKeys::optionKey)
        mask += notation::menuMask::option;
    if (modifiers & SymbolicHotKeys::controlKey)
        mask += notation::menuMask::control;
    if (!(modifiers & SymbolicHotKeys::commandKey))
        mask += notation::menuMask::noCommand;
    return mask;
}

} // namespace

std::span<const HotKeyCategory> hotKeyCategories()
{
    return categories;
}

std::optional<std::string> hotKeyNotation(const HotKeyParameters& parameters)
{
    std::optional<std::string> character;
    if (parameters.character >= 32 && parameters.character <= 126)
        character = std::string(1, static_cast<char>(parameters.character));
    return notation::menuKeyNotation(character, parameters.virtualKey, std::nullopt,
                                     notation::menuModifierMask(static_cast<std::uint64_t>(parameters.modifierFlags)));
}

HotKeyStateMap defaultHotKeyStates()
{
    HotKeyStateMap states;
    for (const auto& hotKey : knownHotKeys)
        if (auto keys = hotKeyNotation(hotKey.defaults))
            states[hotKey.id] = HotKeyState{std::move(*keys), !hotKey.onByDefault};
    return states;
}

std::optional<HotKeyStateMap> hotKeyStatesFromDesktop(const platform::SymbolicHotKeys& desktop)
{
    std::vector<std::int64_t> ids;
    for (const auto& hotKey : knownHotKeys)
        ids.push_back(hotKey.id);
    auto values = desktop.values(ids);
    if (!values)
        return std::nullopt;

    HotKeyStateMap states;
    for (const auto& [id, value] : *values) {
        if (value.keyCode == platform::SymbolicHotKeys::noKeyCode)
            continue;
        // Only the key code is known here: keys without a name or a label are left out.
        auto keys = notation::menuKeyNotation(std::nullopt, value.keyCode, std::nullopt,
                                              menuMaskOfCarbonModifiers(value.modifiers));
        if (!keys)
            continue;
        states[id] = HotKeyState{std::move(*keys), !value.enabled};
    }
    if (states.empty())
        return std::nullopt;
    return states;
}

HotKeyStateMap hotKeyStatesFromPreferences(const std::optional<platform::PlistValue>& preferences)
{
    HotKeyStateMap states = defaultHotKeyStates();
    const auto* root = preferences ? preferences->as<PlistDictionary>() : nullptr;
    const auto* hotKeys = root ? entry<PlistDictionary>(*root, "AppleSymbolicHotKeys") : nullptr;
    if (!hotKeys)
        return states;
    for (const auto& [key, value] : *hotKeys) {
        auto id = decimalInteger(key);
        const auto* hotKey = value.as<PlistDictionary>();
        if (id && hotKey)
            applyPreference(states, *id, *hotKey);
    }
    return states;
}

std::optional<MenuSection> systemShortcutSection(const HotKeyStateMap& states,
                                                 std::optional<ShortcutGroup> userKeyEquivalents)
{
    MenuSection section;
    section.title = "System";
    section.groups.emplace_back(); // the place of a menu's own items; this menu has none
    for (const auto& category : categories) {
        ShortcutGroup group;
        group.title = std::string(category.title);
        for (const auto& hotKey : category.hotKeys) {
            auto state = states.find(hotKey.id);
            if (state == states.end())
                continue;
            Shortcut row;
            row.title = std::string(hotKey.name);
            row.keys = state->second.keys;
            row.isDisabled = state->second.isDisabled;
            group.shortcuts.push_back(std::move(row));
        }
        if (!group.shortcuts.empty())
            section.groups.push_back(std::move(group));
    }
    if (userKeyEquivalents)
        section.groups.push_back(std::move(*userKeyEquivalents));
    if (section.groups.size() < 2)
        return std::nullopt;
    return section;
}

std::optional<MenuSection> systemShortcutSection(const platform::SymbolicHotKeys& desktop, const UserFolders& folders,
                                                 platform::Log* log)
{
    auto states = hotKeyStatesFromDesktop(desktop);
    if (!states)
        states = hotKeyStatesFromPreferences(sources::readUserPreferences(folders, "com.apple.symbolichotkeys.plist"));
    return systemShortcutSection(*states, userKeyEquivalentGroup(folders, log));
}

std::optional<MenuSection> systemShortcutSection(DesktopShortcutSource* desktop, const UserFolders& folders,
                                                 platform::Log* log)
{
    MenuSection section;
    section.title = "System";
    section.groups.emplace_back(); // the place of a menu's own items; this menu has none
    if (desktop)
        for (auto& group : desktop->groups())
            section.groups.push_back(std::move(group));
    // The other desktop's hot keys only from a file the user really has: their
    // defaults do nothing here.
    if (auto preferences = sources::readUserPreferences(folders, "com.apple.symbolichotkeys.plist"))
        if (auto hotKeys = systemShortcutSection(hotKeyStatesFromPreferences(preferences), std::nullopt))
            section.groups.insert(section.groups.end(), std::make_move_iterator(hotKeys->groups.begin() + 1),
                                  std::make_move_iterator(hotKeys->groups.end()));
    if (auto userKeyEquivalents = userKeyEquivalentGroup(folders, log))
        section.groups.push_back(std::move(*userKeyEquivalents));
    if (section.groups.size() < 2)
        return std::nullopt;
    return section;
}

} // namespace hb
