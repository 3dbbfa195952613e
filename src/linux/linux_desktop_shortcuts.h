#pragma once

#include "base/log.h"
#include "sources/desktop_shortcuts.h"

#include <memory>
#include <string>
#include <string_view>

namespace hb::linux_platform {

enum class Desktop { unknown, gnome, kde, xfce, openbox };

// The desktop from $XDG_CURRENT_DESKTOP (GNOME and its relatives Budgie,
// Cinnamon, Unity, Pantheon; KDE; XFCE; Openbox and LXDE), else from the
// services that answer on the session bus, else from the window manager's name.
Desktop runningDesktop(platform::Log& log);
// The rule on given values, for tests.
Desktop desktopNamed(std::string_view currentDesktop, std::string_view windowManagerName);

// The shortcut source of that desktop; null for an unknown one.
std::unique_ptr<DesktopShortcutSource> desktopShortcutSource(Desktop desktop, platform::Log& log);

// GNOME's key bindings through GSettings (dconf values over schema defaults):
// the window manager, the shell, the media keys and the custom key bindings.
// A schema that is not installed is skipped with a log line.
class GnomeShortcuts final : public DesktopShortcutSource {
public:
    explicit GnomeShortcuts(platform::Log& log) : log_(log) {}
    std::string_view desktopName() const override { return "GNOME"; }
    std::vector<ShortcutGroup> groups() override;

private:
    platform::Log& log_;
};

} // namespace hb::linux_platform
