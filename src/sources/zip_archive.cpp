#include "sources/zip_archive.h"

#include <zip.h>

#include <sys/stat.h>

#include <fmt/format.h>

namespace hb::sources {
namespace {

void tell(std::string* problem, std::string text)
{
    if (problem)
        *problem = std::move(text);
}

} // namespace

ZipArchive::ZipArchive(zip* archive, ZipLimits limits, std::vector<std::string> names)
    : archive_(archive), limits_(limits), names_(std::move(names))
{}

ZipArchive::~ZipArchive()
{
    zip_discard(archive_);
}

std::unique_ptr<ZipArchive> ZipArchive::open(const std::filesystem::path& path, const ZipLimits& limits,
                                             std::string* problem)
{
    // Decide on the kind before libzip opens it: opening a FIFO or device can block.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        tell(problem, "not a regular file");
        return nullptr;
    }
    if (static_cast<std::uintmax_t>(status.st_size) > limits.maxArchiveBytes) {
        tell(problem, fmt::format("{} bytes, more than {}", status.st_size, limits.maxArchiveBytes));
        return nullptr;
    }
    int error = 0;
    zip* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive) {
        zip_error_t reason;
        zip_error_init_with_code(&reason, error);
        tell(problem, fmt::format("not a readable zip archive ({})", zip_error_strerror(&reason)));
        zip_error_fini(&reason);
        return nullptr;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries) {
        tell(problem, fmt::format("{} entries, more than {}", count, limits.maxEntries));
        zip_discard(archive);
        return nullptr;
    }
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t index = 0; index < count; ++index) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW);
        names.emplace_back(name ? name : "");
    }
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive, limits, std::move(names)));
}

bool ZipArchive::contains(std::string_view name) const
{
    return zip_name_locate(archive_, std::string(name).c_str(), ZIP_FL_ENC_RAW) >= 0;
}

std::optional<std::string> ZipArchive::read(std::string_view name, std::size_t maxBytes, std::string* problem) const
{
    const std::string entry(name);
    const zip_int64_t index = zip_name_locate(archive_, entry.c_str(), ZIP_FL_ENC_RAW);
    if (index < 0) {
        tell(problem, "no such entry");
        return std::nullopt;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)
        || !(stat.valid & ZIP_STAT_COMP_SIZE)) {
        tell(problem, "no declared size");
        return std::nullopt;
    }
    const std::size_t limit = std::min(maxBytes, limits_.maxEntryBytes);
    if (stat.size > limit) {
        tell(problem, fmt::format("declares {} bytes, more than {}", stat.size, limit));
        return std::nullopt;
    }
    // Small entries compress well without harm; a larger one that shrank
    // beyond the ratio is a bomb whatever its declared size says.
    constexpr zip_uint64_t ratioFloor = 64 << 10;
    if (stat.size > ratioFloor && stat.size / std::max<zip_uint64_t>(stat.comp_size, 1) > limits_.maxCompressionRatio) {
        tell(problem, fmt::format("compressed {} times ({} of {} bytes)",
                                  stat.size / std::max<zip_uint64_t>(stat.comp_size, 1), stat.comp_size, stat.size));
        return std::nullopt;
    }
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        tell(problem, fmt::format("cannot be opened ({})", zip_strerror(archive_)));
        return std::nullopt;
    }
    // One byte beyond the declared size tells data longer than declared.
    std::string bytes(static_cast<std::size_t>(stat.size) + 1, '\0');
    std::size_t filled = 0;
    bool failed = false;
    while (filled < bytes.size()) {
        const zip_int64_t count = zip_fread(file, bytes.data() + filled, bytes.size() - filled);
        if (count < 0) {
            failed = true;
            break;
        }
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    if (failed)
        tell(problem, fmt::format("data do not match the archive ({})", zip_file_strerror(file)));
    zip_fclose(file);
    if (failed)
        return std::nullopt;
    if (filled != stat.size) {
        tell(problem, fmt::format("holds {}{} bytes, declares {}", filled > stat.size ? "more than " : "",
                                  filled > stat.size ? stat.size : filled, stat.size));
        return std::nullopt;
    }
    bytes.resize(filled);
    return bytes;
}

} // namespace hb::sources
