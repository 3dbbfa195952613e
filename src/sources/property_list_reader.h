#pragma once

#include "platform/property_list.h"
#include "sources/user_folders.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

// Reading property lists (XML or binary) that another program wrote.
namespace hb::sources {

// libplist parses and frees recursively, and copies a binary object once per
// reference to it; these bounds keep both within the stack and within reason.
inline constexpr int maxPropertyListDepth = 64;              // nested arrays and dictionaries
inline constexpr std::size_t maxPropertyListValues = 1 << 20;  // values after expanding references
inline constexpr std::size_t maxPropertyListFileBytes = 8 << 20;

// Whether parsing `bytes` stays within the bounds above. Conservative: may
// refuse a list that is within them, never passes one that is not.
bool propertyListWithinBounds(std::string_view bytes);

// The property list in `bytes`; absent when it is malformed or out of bounds.
std::optional<platform::PlistValue> parsePropertyList(std::string_view bytes);

// The property list in the file at `path`; absent when the file is missing,
// not a regular file, larger than maxPropertyListFileBytes or malformed.
std::optional<platform::PlistValue> readPropertyListFile(const std::filesystem::path& path);

// The property list "Library/Preferences/<fileName>" under the home folder.
std::optional<platform::PlistValue> readUserPreferences(const UserFolders& folders, std::string_view fileName);

} // namespace hb::sources
