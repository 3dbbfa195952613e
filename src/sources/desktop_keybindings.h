#pragma once

#include "model/shortcut.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Key bindings as Linux desktops store them, in the key notation: Super and
// Meta are ⌘, Alt ⌥, Control ⌃, Shift ⇧. Absent for an empty binding, an
// unknown modifier or key name, or a sequence of several presses.
namespace hb::keybinding {

// A key as a menu item's key equivalent names it: the character it types or
// the function-key character of the key notation, else a virtual key code.
struct NamedKey {
    std::optional<std::string> character;
    std::optional<std::int64_t> virtualKey;
    friend bool operator==(const NamedKey&, const NamedKey&) = default;
};

// Whether two key or modifier names are the same, whatever their case.
bool sameName(std::string_view a, std::string_view b);

// A key by its X keysym name or Qt's name ("Left", "Return", "PgDown", "plus",
// "a", " ", "F5"); absent for a name the key notation cannot show.
std::optional<NamedKey> namedKey(std::string_view name);

// The key's name in the notation, also for media keys ("XF86AudioMute" and
// Qt's "Volume Mute" read as words).
std::optional<std::string> keyName(std::string_view keysym);

// GTK's form, used by GNOME and Xfce: "<Super><Shift>Left", "<Primary>q".
std::optional<std::string> gtkAccelerator(std::string_view accelerator);
// Qt's form, used by KDE: "Meta+Shift+S", "Ctrl+Alt+Del".
std::optional<std::string> qtKeySequence(std::string_view sequence);
// Openbox's form: "W-S-Left", "C-A-Delete".
std::optional<std::string> openboxKey(std::string_view key);

// A row of a desktop's shortcut: the first binding that can be shown, marked
// deactivated when only the default (`fallback`) names keys. Absent when
// neither does.
std::optional<Shortcut> bindingRow(std::string title, const std::vector<std::string>& notations,
                                   const std::vector<std::string>& defaultNotations);

} // namespace hb::keybinding
