#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace hb::linux_platform {

// The package that installs Hintboard.
inline constexpr std::string_view packageName = "hintboard";
inline constexpr std::size_t maximumFileListSize = 4 * 1024 * 1024;

// dpkg's list of the files of `package`, one path a line, as `dpkgQuery
// --listfiles` prints it; empty when dpkg does not know the package, or when
// the command is missing, fails, runs longer than `timeLimit` or prints more
// than maximumFileListSize bytes.
std::string dpkgFileList(std::string_view package = packageName, const std::string& dpkgQuery = "dpkg-query",
                         std::chrono::milliseconds timeLimit = std::chrono::seconds(2));

// Whether `fileList` names `file`: by its path, or by another path of the same
// file (/bin and /usr/bin on a merged /usr).
bool listsFile(std::string_view fileList, const std::filesystem::path& file);

// Whether this running program's updates come from the system's package
// manager: dpkg installed it. HINTBOARD_PACKAGE_MANAGED set to 1 or 0
// decides instead (tests).
bool updatesFromPackageManager();

} // namespace hb::linux_platform
