#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace hb::platform {
namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const auto written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::error_code syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    std::error_code error;
    if (::fsync(fd) != 0)
        error = lastError();
    ::close(fd);
    return error;
}

} // namespace

std::string temporaryFilePrefix(const std::filesystem::path& file)
{
    return "." + file.filename().string() + ".tmp-";
}

std::filesystem::path replacedFile(const std::filesystem::path& file)
{
    // Also through a link whose target does not exist yet.
    constexpr int maxLinks = 40;
    auto path = file;
    std::error_code error;
    for (int i = 0; i < maxLinks && std::filesystem::is_symlink(path, error); ++i) {
        const auto target = std::filesystem::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

std::error_code notARegularFileError()
{
    static const struct : std::error_category {
        const char* name() const noexcept override { return "file"; }
        std::string message(int) const override { return "it is not a regular file (a folder, a FIFO or a device)"; }
    } category;
    return {1, category};
}

namespace {

std::error_code replaceAtomically(const std::filesystem::path& file, std::string_view content, mode_t mode,
                                  const std::function<void()>& beforeRename, bool linkReplaced)
{
    struct stat status {};
    if (::lstat(file.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !(linkReplaced && S_ISLNK(status.st_mode)))
        return notARegularFileError();
    const auto folder = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    auto temporary = (folder / (temporaryFilePrefix(file) + "XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();

    std::error_code error = writeAll(fd, content);
    if (!error && ::fchmod(fd, mode) != 0)
        error = lastError();
    if (!error && ::fsync(fd) != 0)
        error = lastError();
    if (::close(fd) != 0 && !error)
        error = lastError();
    if (!error && beforeRename)
        beforeRename();
    if (!error && ::rename(temporary.c_str(), file.c_str()) != 0)
        error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename is durable once the folder is.
    return syncFolder(folder);
}

} // namespace

std::error_code replaceFileAtomically(const std::filesystem::path& link, std::string_view content, mode_t mode,
                                      const std::function<void()>& beforeRename)
{
    return replaceAtomically(replacedFile(link), content, mode, beforeRename, false);
}

std::error_code replaceEntryAtomically(const std::filesystem::path& file, std::string_view content, mode_t mode)
{
    return replaceAtomically(file, content, mode, {}, true);
}

} // namespace hb::platform
