#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace hb::sources {

struct UntrustedFile {
    enum class Status { read, oversized, unreadable };
    Status status = Status::unreadable;
    std::string bytes; // the whole content when read
};

// Reads a file that another program controls. Only a regular file (a symbolic
// link to one is followed) is read, and never more than `maxBytes`: a FIFO,
// socket or device is unreadable without being waited on, and a file larger
// than `maxBytes`, also one that grows while it is read, is oversized.
UntrustedFile readUntrustedFile(const std::filesystem::path& path, std::size_t maxBytes);

} // namespace hb::sources
