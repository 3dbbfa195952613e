#pragma once

#include "model/shortcut.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Key bindings as Linux desktops store them, in the key notation: Super and
// Meta are ⌘, Alt ⌥, Control ⌃, Shift ⇧. Absent for an empty binding, an
// unknown modifier or key name, or a sequence of several presses.
namespace hb::keybinding {

// A key by its X keysym name ("Left", "Return", "a", "F5", "XF86AudioMute").
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
