#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

namespace hb::linux_platform {

// Replaces a file's content so that a crash at any moment leaves either the
// old or the new content: a temporary file in the same folder, fsync, rename
// over the file, fsync of the folder. On failure nothing is replaced.
// `beforeRename` runs once the temporary file is complete; tests use it to
// stop the writer between the two steps.
std::error_code replaceFileAtomically(const std::filesystem::path& file, std::string_view content,
                                      mode_t mode = 0600, const std::function<void()>& beforeRename = {});

// The prefix of the temporary files of `file`, to find those a crash left behind.
std::string temporaryFilePrefix(const std::filesystem::path& file);

} // namespace hb::linux_platform
