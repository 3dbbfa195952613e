#pragma once

#include "base/log.h"
#include "model/shortcut.h"
#include "sources/desktop_shortcuts.h"
#include "sources/user_folders.h"

#include <functional>
#include <memory>
#include <vector>

namespace hb {

// The sections beyond the menus: system shortcuts with the user's key
// equivalents, and the registered app shortcuts. Runs on a background thread.
using ExtraSections = std::function<std::vector<MenuSection>(bool systemShortcuts, bool registeredShortcuts)>;

// The program's sources: the section "System" from the running desktop's own
// shortcuts (none when `desktop` is null) and the user key equivalents, then
// one section per integration file. Reads the files anew on every call.
// `desktop` and `log` must outlive every call and be usable from any thread.
ExtraSections defaultExtraSections(DesktopShortcutSource* desktop, UserFolders folders, platform::Log& log);

} // namespace hb
