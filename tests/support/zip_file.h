#pragma once

#include <zip.h>

#include <filesystem>
#include <stdexcept>
#include <string>
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

} // namespace hb::test
