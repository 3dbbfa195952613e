#include "linux/desktop_accessibility.h"

namespace hb::linux_platform {

DesktopAccessibility::DesktopAccessibility(platform::Log& log, SessionKind session)
    : atspi_(log), exportedMenus_(log), menuExporting_(exportedMenus_, atspi_, session), shortcutsWindowSource_(log),
      runner_(log, session), shortcutsWindows_(menuExporting_, shortcutsWindowSource_, runner_),
      mozillaMenuSource_(log), mozillaMenus_(shortcutsWindows_, mozillaMenuSource_, runner_)
{}

} // namespace hb::linux_platform
