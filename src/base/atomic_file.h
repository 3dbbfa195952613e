#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

namespace hb::platform {

// Replaces a file's content so that a crash at any moment leaves either the
// old or the new content: a temporary file in the same folder, fsync, rename
// over the file, fsync of the folder. On failure nothing is replaced. A
// symbolic link is followed: the link stays and its target is replaced. A
// target that exists and is not a regular file (a FIFO, a device, a folder)
// is refused with `not_a_regular_file` without being opened, so nothing waits.
// `beforeRename` runs once the temporary file is complete; tests use it to
// stop the writer between the two steps.
std::error_code replaceFileAtomically(const std::filesystem::path& file, std::string_view content, mode_t mode = 0600,
                                      const std::function<void()>& beforeRename = {});

// As replaceFileAtomically, but a symbolic link at `file` is never followed:
// the link itself is replaced by the file. For folders that others write to.
std::error_code replaceEntryAtomically(const std::filesystem::path& file, std::string_view content, mode_t mode);

// The prefix of the temporary files of `file`, to find those a crash left behind.
std::string temporaryFilePrefix(const std::filesystem::path& file);

// The file that writing `file` replaces: the target of a symbolic link
// (followed to the end), else `file` itself.
std::filesystem::path replacedFile(const std::filesystem::path& file);

// The error of a target that is not a regular file.
std::error_code notARegularFileError();

} // namespace hb::platform
