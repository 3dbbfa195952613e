#pragma once

#include "base/log.h"
#include "model/shortcut.h"

#include <string>
#include <string_view>
#include <vector>

namespace hb {

// The shortcuts of the desktop the user runs, one group per component
// (window management, workspaces, media …). Disabled bindings come as
// deactivated rows with their default keys. Reads the desktop's own
// configuration on every call; safe to call from a background thread.
class DesktopShortcutSource {
public:
    virtual ~DesktopShortcutSource() = default;
    // The desktop's name for the log ("GNOME", "KDE Plasma" …).
    virtual std::string_view desktopName() const = 0;
    virtual std::vector<ShortcutGroup> groups() = 0;
};

// The configuration files of desktops that keep their shortcuts in files.
// Entries that cannot be read are skipped with a line in `log`.
namespace desktop_config {

// KDE Plasma's kglobalshortcutsrc: one group per component, by its friendly name.
std::vector<ShortcutGroup> kdeGlobalShortcuts(std::string_view kglobalshortcutsrc, platform::Log& log);
// Xfce's xfce4-keyboard-shortcuts channel (xfconf XML): the custom set where
// the user changed it, else the defaults.
std::vector<ShortcutGroup> xfceKeyboardShortcuts(std::string_view channel, platform::Log& log);
// Openbox's rc.xml keybindings.
std::vector<ShortcutGroup> openboxKeybindings(std::string_view rcXml, platform::Log& log);

} // namespace desktop_config
} // namespace hb
