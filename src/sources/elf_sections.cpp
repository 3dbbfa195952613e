#include "sources/elf_sections.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hb::elf {
namespace {

constexpr std::size_t maxSectionHeaders = 4096;
constexpr std::size_t maxNameTableBytes = 1 << 20;
constexpr std::uint32_t sectionTypeNoBits = 8;

// Reads fixed-size fields of one byte order.
class Fields {
public:
    Fields(std::string_view bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::uint64_t at(std::size_t offset, std::size_t width) const
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const auto byte = static_cast<unsigned char>(bytes_[offset + (bigEndian_ ? i : width - 1 - i)]);
            value = value << 8 | byte;
        }
        return value;
    }

private:
    std::string_view bytes_;
    bool bigEndian_;
};

bool fits(std::uint64_t offset, std::uint64_t size, std::uint64_t total)
{
    return offset <= total && size <= total - offset;
}

std::optional<std::string> readRange(const ByteSource& file, std::uint64_t offset, std::uint64_t size)
{
    if (!fits(offset, size, file.size()))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!file.read(offset, bytes))
        return std::nullopt;
    return bytes;
}

} // namespace

bool MemoryBytes::read(std::uint64_t offset, std::span<char> into) const
{
    if (!fits(offset, into.size(), bytes_.size()))
        return false;
    std::memcpy(into.data(), bytes_.data() + offset, into.size());
    return true;
}

FileBytes::FileBytes(int fd) : fd_(fd)
{
    struct stat status {};
    if (fd_ >= 0 && ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode))
        size_ = static_cast<std::uint64_t>(status.st_size);
}

bool FileBytes::read(std::uint64_t offset, std::span<char> into) const
{
    if (!fits(offset, into.size(), size_))
        return false;
    std::size_t filled = 0;
    while (filled < into.size()) {
        const auto count =
            ::pread(fd_, into.data() + filled, into.size() - filled, static_cast<off_t>(offset + filled));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        filled += static_cast<std::size_t>(count);
    }
    return true;
}

std::vector<Section> sectionsNamed(const ByteSource& file, std::string_view prefix)
{
    const auto identification = readRange(file, 0, 16);
    if (!identification
        || !identification->starts_with("\x7f"
                                        "ELF"))
        return {};
    const bool wide = (*identification)[4] == 2;
    const bool bigEndian = (*identification)[5] == 2;
    if (((*identification)[4] != 1 && !wide) || ((*identification)[5] != 1 && !bigEndian))
        return {};

    const auto header = readRange(file, 0, wide ? 64 : 52);
    if (!header)
        return {};
    const Fields fields(*header, bigEndian);
    const std::size_t word = wide ? 8 : 4;
    const std::uint64_t tableOffset = fields.at(wide ? 40 : 32, word);
    const std::uint64_t entrySize = fields.at(wide ? 58 : 46, 2);
    const std::uint64_t entryCount = fields.at(wide ? 60 : 48, 2);
    const std::uint64_t namesIndex = fields.at(wide ? 62 : 50, 2);
    const std::uint64_t minimumEntry = wide ? 64 : 40;
    if (entryCount == 0 || entryCount > maxSectionHeaders || entrySize < minimumEntry || namesIndex >= entryCount)
        return {};
    const auto table = readRange(file, tableOffset, entrySize * entryCount);
    if (!table)
        return {};
    const Fields entries(*table, bigEndian);

    struct Entry {
        std::uint64_t name, type, offset, size;
    };
    auto entry = [&](std::uint64_t index) {
        const std::size_t base = static_cast<std::size_t>(index * entrySize);
        return Entry{entries.at(base, 4), entries.at(base + 4, 4), entries.at(base + (wide ? 24 : 16), word),
                     entries.at(base + (wide ? 32 : 20), word)};
    };

    const Entry namesEntry = entry(namesIndex);
    if (namesEntry.size > maxNameTableBytes)
        return {};
    const auto names = readRange(file, namesEntry.offset, namesEntry.size);
    if (!names)
        return {};

    std::vector<Section> sections;
    for (std::uint64_t index = 0; index < entryCount; ++index) {
        const Entry current = entry(index);
        if (current.name >= names->size() || current.type == sectionTypeNoBits)
            continue;
        const auto end = names->find('\0', static_cast<std::size_t>(current.name));
        if (end == std::string::npos)
            continue;
        std::string name = names->substr(static_cast<std::size_t>(current.name), end - current.name);
        if (!name.starts_with(prefix))
            continue;
        if (!fits(current.offset, current.size, file.size()))
            return {};
        sections.push_back(Section{std::move(name), current.offset, current.size});
    }
    // Overlapping sections would have the same bytes read again and again.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const auto& section : sections) {
        if (section.size > 0)
            ranges.emplace_back(section.offset, section.offset + section.size);
    }
    std::ranges::sort(ranges);
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second)
            return {};
    }
    return sections;
}

std::optional<std::string> sectionBytes(const ByteSource& file, const Section& section, std::size_t maxBytes)
{
    if (section.size > maxBytes)
        return std::nullopt;
    return readRange(file, section.offset, section.size);
}

} // namespace hb::elf
