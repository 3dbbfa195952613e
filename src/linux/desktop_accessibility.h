#pragma once

#include "base/log.h"
#include "linux/atspi_accessibility.h"
#include "linux/exported_menu_accessibility.h"
#include "linux/mozilla_menu_accessibility.h"
#include "linux/mozilla_menu_source.h"
#include "linux/shortcut_runner.h"
#include "linux/shortcuts_window_accessibility.h"
#include "linux/shortcuts_window_source.h"
#include "platform/accessibility.h"
#include "triggers/trigger_availability.h"

namespace hb::linux_platform {

// The desktop's accessibility as menus are read and pressed through it: AT-SPI,
// under the menus GTK applications export, the applications' shortcuts windows
// and Mozilla applications' menus. The tray application and `hintboard
// shortcuts` read through the same layers, so that both give the same rows.
class DesktopAccessibility {
public:
    DesktopAccessibility(platform::Log& log, SessionKind session);
    DesktopAccessibility(const DesktopAccessibility&) = delete;
    DesktopAccessibility& operator=(const DesktopAccessibility&) = delete;

    // The outermost layer, which reads and presses go through.
    platform::Accessibility& accessibility() { return mozillaMenus_; }
    // AT-SPI alone, for what only it can tell (whether a process is on the bus).
    AtspiAccessibility& atspi() { return atspi_; }

private:
    AtspiAccessibility atspi_;
    ExportedMenuAccessibility exportedMenus_;
    MenuExportingAccessibility menuExporting_;
    ShortcutsWindowSource shortcutsWindowSource_;
    ShortcutRunner runner_;
    ShortcutsWindowAccessibility shortcutsWindows_;
    MozillaMenuSource mozillaMenuSource_;
    MozillaMenuAccessibility mozillaMenus_;
};

} // namespace hb::linux_platform
