#pragma once

#include "model/shortcut.h"
#include "platform/property_list.h"
#include "sources/user_folders.h"

#include <optional>
#include <string>
#include <string_view>

// The user's own key equivalents for menu commands of all applications.
namespace hb {

// The notation of a stored key equivalent: modifier characters "^" (Control),
// "~" (Option), "$" (Shift) and "@" (Command) in any order, then the key text.
// Absent for an empty string and for modifiers alone.
std::optional<std::string> parseKeyEquivalent(std::string_view keyEquivalent);

// The group "All Applications" from the entry "NSUserKeyEquivalents" of the
// global preferences, rows sorted by title; absent when no entry yields a row.
std::optional<ShortcutGroup> userKeyEquivalentGroup(const std::optional<platform::PlistValue>& globalPreferences);

// The same from the global preferences file under the home folder.
std::optional<ShortcutGroup> userKeyEquivalentGroup(const UserFolders& folders);

} // namespace hb
