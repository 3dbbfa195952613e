#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;

// A zip archive that another program wrote (a Mozilla "omni.ja", a language
// pack), read with libzip within fixed bounds: archive size, entry count,
// entry sizes (declared and actual) and compression ratio.
namespace hb::sources {

struct ZipLimits {
    std::uintmax_t maxArchiveBytes = 512ull << 20;
    std::size_t maxEntries = 50'000;
    std::size_t maxEntryBytes = 8 << 20;
    std::uint64_t maxCompressionRatio = 200; // size over compressed size
};

class ZipArchive {
public:
    // The archive at `path`; null when it is no regular file, larger than
    // the limits allow, malformed, or holds more entries than allowed.
    // `problem` (when given) tells why.
    static std::unique_ptr<ZipArchive> open(const std::filesystem::path& path, const ZipLimits& limits = {},
                                            std::string* problem = nullptr);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    std::size_t entryCount() const { return names_.size(); }
    const std::vector<std::string>& entryNames() const { return names_; }
    bool contains(std::string_view name) const;

    // The entry's content; absent when there is none of that name, when it
    // is larger than `maxBytes` (and the limits), when its compression ratio
    // is beyond the limit, or when its data do not match what the archive
    // declares (size or checksum). `problem` tells why.
    std::optional<std::string> read(std::string_view name, std::size_t maxBytes, std::string* problem = nullptr) const;
    std::optional<std::string> read(std::string_view name, std::string* problem = nullptr) const
    {
        return read(name, limits_.maxEntryBytes, problem);
    }

private:
    ZipArchive(zip* archive, ZipLimits limits, std::vector<std::string> names);

    zip* archive_;
    ZipLimits limits_;
    std::vector<std::string> names_;
};

} // namespace hb::sources
