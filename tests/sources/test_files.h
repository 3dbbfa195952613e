#pragma once

#include "support/temporary_folder.h"

#include <plist/plist.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace hb::test {

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
