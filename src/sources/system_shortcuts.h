#pragma once

#include "base/log.h"
#include "base/property_list.h"
#include "model/shortcut.h"
#include "platform/symbolic_hotkeys.h"
#include "sources/desktop_shortcuts.h"
#include "sources/user_folders.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The desktop's symbolic hot keys as the pseudo-menu "System".
namespace hb {

// A hot key's combination as the preferences file stores it.
struct HotKeyParameters {
    static constexpr std::int64_t none = 0xFFFF; // no character, or no key code

    std::int64_t character = none;
    std::int64_t virtualKey = none;
    std::int64_t modifierFlags = 0; // event modifier flags
};

struct KnownHotKey {
    std::int64_t id;
    std::string_view name;
    HotKeyParameters defaults;
    bool onByDefault;
};

struct HotKeyCategory {
    std::string_view title;
    std::span<const KnownHotKey> hotKeys; // in display order
};

// The 30 known hot keys, grouped by category, in display order.
std::span<const HotKeyCategory> hotKeyCategories();

struct HotKeyState {
    std::string keys; // key notation
    bool isDisabled = false;

    friend bool operator==(const HotKeyState&, const HotKeyState&) = default;
};
using HotKeyStateMap = std::map<std::int64_t, HotKeyState>;

// The notation of a hot key's parameters, when they name a key.
std::optional<std::string> hotKeyNotation(const HotKeyParameters& parameters);

// Every known hot key with its default combination and state.
HotKeyStateMap defaultHotKeyStates();

// The hot keys as the desktop reports them; absent when it reports none.
std::optional<HotKeyStateMap> hotKeyStatesFromDesktop(const platform::SymbolicHotKeys& desktop);

// The hot keys as the preferences file "com.apple.symbolichotkeys" sets them,
// on top of the defaults; the defaults alone when the file is absent or unusable.
HotKeyStateMap hotKeyStatesFromPreferences(const std::optional<platform::PlistValue>& preferences);

// The section "System": one group per category with at least one hot key in
// `states`, then `userKeyEquivalents`. Absent when that makes no group.
std::optional<MenuSection> systemShortcutSection(const HotKeyStateMap& states,
                                                 std::optional<ShortcutGroup> userKeyEquivalents);

// Reads the desktop's hot keys, else the preferences file under the home
// folder, and the user key equivalents, into the section "System".
std::optional<MenuSection> systemShortcutSection(const platform::SymbolicHotKeys& desktop, const UserFolders& folders,
                                                 platform::Log* log = nullptr);

// On a desktop that keeps shortcuts of its own: its groups, the other
// desktop's hot keys only where their preferences file exists (never their
// defaults), then the user key equivalents.
std::optional<MenuSection> systemShortcutSection(DesktopShortcutSource* desktop, const UserFolders& folders,
                                                 platform::Log* log = nullptr);

} // namespace hb
