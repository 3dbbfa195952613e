#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Reading named sections of an ELF file that another program controls,
// without loading or running anything of it.
namespace hb::elf {

// Random access to the bytes of a file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `into` from `offset`; false when the bytes are not all there.
    virtual bool read(std::uint64_t offset, std::span<char> into) const = 0;
};

// Bytes in memory.
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<char> into) const override;

private:
    std::string_view bytes_;
};

// An open file, read with pread; its size is taken when it is opened.
class FileBytes final : public ByteSource {
public:
    explicit FileBytes(int fd);
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<char> into) const override;

private:
    int fd_;
    std::uint64_t size_ = 0;
};

struct Section {
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The sections whose names start with `prefix`, of a 32- or 64-bit ELF file
// of either byte order. Empty for a file that is no ELF file, is truncated,
// names headers or sections outside itself, or has sections of the prefix
// that overlap; a section holding no bytes in the file (NOBITS) is left out.
// At most 4096 section headers are read.
std::vector<Section> sectionsNamed(const ByteSource& file, std::string_view prefix);

// The bytes of a section; absent when it is larger than `maxBytes` or not
// all in the file.
std::optional<std::string> sectionBytes(const ByteSource& file, const Section& section, std::size_t maxBytes);

} // namespace hb::elf
