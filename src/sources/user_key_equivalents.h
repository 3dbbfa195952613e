#pragma once

#include "base/log.h"
#include "base/property_list.h"
#include "model/shortcut.h"
#include "sources/user_folders.h"

#include <optional>
#include <string>
#include <string_view>

// The user's own key equivalents for menu commands of all applications.
namespace hb {

// The notation of a stored key equivalent: modifier characters "^" (Control),
// "~" (Option), "$" (Shift) and "@" (Command) in any order, an optional "#"
// (a keypad key), then the key text. Absent for an empty string, for
// modifiers alone and for a key that cannot be shown.
std::optional<std::string> parseKeyEquivalent(std::string_view keyEquivalent);

// The group "All Applications" from the entry "NSUserKeyEquivalents" of the
// global preferences, rows sorted by title; absent when no entry yields a row.
// A menu path is shown as its titles joined by " › ". Entries skipped for
// their key are logged at debug level.
std::optional<ShortcutGroup> userKeyEquivalentGroup(const std::optional<platform::PlistValue>& globalPreferences,
                                                    platform::Log* log = nullptr);

// The same from the global preferences file under the home folder.
std::optional<ShortcutGroup> userKeyEquivalentGroup(const UserFolders& folders, platform::Log* log = nullptr);

} // namespace hb
