#pragma once

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace hb::test {

struct ZipEntry {
    std::string name;
    std::string content;
    bool compressed = true;
};

// Writes a zip archive with libzip, making its folder first.
inline void writeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries)
{
    std::filesystem::create_directories(path.parent_path());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        throw std::runtime_error("zip_open failed");
    for (const auto& entry : entries) {
        // The entries outlive zip_close, which reads them.
        zip_source_t* source = zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            throw std::runtime_error("zip_file_add failed");
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 entry.compressed ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("zip_close failed");
}

// Writes an archive of `count` empty stored entries ("0", "1", …) directly,
// with the zip64 end record that more than 65,535 entries need: much faster
// than libzip for large counts.
inline void writeEmptyEntries(const std::filesystem::path& path, std::uint32_t count)
{
    std::string local, central;
    auto put = [](std::string& out, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string name = std::to_string(i);
        const auto offset = local.size();
        put(local, 0x04034b50, 4), put(local, 20, 2), put(local, 0, 2), put(local, 0, 2), put(local, 0, 4);
        put(local, 0, 4), put(local, 0, 4), put(local, 0, 4), put(local, name.size(), 2), put(local, 0, 2);
        local += name;
        put(central, 0x02014b50, 4), put(central, 20, 2), put(central, 20, 2), put(central, 0, 2), put(central, 0, 2);
        put(central, 0, 4), put(central, 0, 4), put(central, 0, 4), put(central, 0, 4), put(central, name.size(), 2);
        put(central, 0, 2), put(central, 0, 2), put(central, 0, 2), put(central, 0, 2), put(central, 0, 4);
        put(central, offset, 4);
        central += name;
    }
    std::string end;
    const auto zip64End = local.size() + central.size();
    put(end, 0x06064b50, 4), put(end, 44, 8), put(end, 45, 2), put(end, 45, 2), put(end, 0, 4), put(end, 0, 4);
    put(end, count, 8), put(end, count, 8), put(end, central.size(), 8), put(end, local.size(), 8);
    put(end, 0x07064b50, 4), put(end, 0, 4), put(end, zip64End, 8), put(end, 1, 4);
    put(end, 0x06054b50, 4), put(end, 0, 2), put(end, 0, 2), put(end, 0xFFFF, 2), put(end, 0xFFFF, 2);
    put(end, central.size(), 4), put(end, local.size(), 4), put(end, 0, 2);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << local << central << end;
}

} // namespace hb::test
