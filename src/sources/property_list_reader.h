#pragma once

#include "base/property_list.h"
#include "sources/user_folders.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

// Reading property-list files that another program wrote.
namespace hb::sources {

inline constexpr std::size_t maxPropertyListFileBytes = 8 << 20;

// The property list in the file at `path`; absent when the file is missing,
// not a regular file, larger than maxPropertyListFileBytes or malformed.
std::optional<platform::PlistValue> readPropertyListFile(const std::filesystem::path& path);

// The property list "Library/Preferences/<fileName>" under the home folder.
std::optional<platform::PlistValue> readUserPreferences(const UserFolders& folders, std::string_view fileName);

} // namespace hb::sources
