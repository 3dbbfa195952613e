#include "base/untrusted_file.h"

#include "base/file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace hb::sources {
namespace {

using Descriptor = platform::FileDescriptor;

UntrustedFile failed(UntrustedFile::Status status)
{
    return UntrustedFile{status, {}};
}

} // namespace

UntrustedFile readUntrustedFile(const std::filesystem::path& path, std::size_t maxBytes)
{
    using Status = UntrustedFile::Status;

    // Decide on the kind before opening: opening a FIFO or device can block or act.
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode))
        return failed(Status::unreadable);
    if (static_cast<std::uintmax_t>(before.st_size) > maxBytes)
        return failed(Status::oversized);

    // The path may have been replaced since: check the opened file itself.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat opened {};
    if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return failed(Status::unreadable);

    // One byte beyond the limit tells a file that grew since the size check.
    const std::size_t cap = maxBytes + 1;
    std::string bytes(std::min<std::uintmax_t>(static_cast<std::uintmax_t>(opened.st_size), maxBytes) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() == cap)
                break;
            bytes.resize(std::min(bytes.size() * 2, cap));
        }
        ssize_t count = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return failed(Status::unreadable);
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    if (filled > maxBytes)
        return failed(Status::oversized);
    bytes.resize(filled);
    return UntrustedFile{Status::read, std::move(bytes)};
}

} // namespace hb::sources
