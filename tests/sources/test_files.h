#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace hb::test {

// A fresh folder under the system's temporary folder, removed with its content.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, std::string_view content);

// Property lists built with libplist; each call takes ownership of its arguments.
plist_t plistDictionary(std::initializer_list<std::pair<const char*, plist_t>> entries);
plist_t plistArray(std::initializer_list<plist_t> items);
plist_t plistInteger(std::int64_t value);
plist_t plistBoolean(bool value);
plist_t plistString(const char* value);

enum class PlistFormat { xml, binary };
// Writes `root` in `format` and frees it.
void writePlist(const std::filesystem::path& path, plist_t root, PlistFormat format);

} // namespace hb::test
