#include "test_files.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace hb::test {

plist_t plistDictionary(std::initializer_list<std::pair<const char*, plist_t>> entries)
{
    plist_t dictionary = plist_new_dict();
    for (const auto& [key, value] : entries)
        plist_dict_set_item(dictionary, key, value);
    return dictionary;
}

plist_t plistArray(std::initializer_list<plist_t> items)
{
    plist_t array = plist_new_array();
    for (plist_t item : items)
        plist_array_append_item(array, item);
    return array;
}

plist_t plistInteger(std::int64_t value) { return plist_new_uint(static_cast<std::uint64_t>(value)); }
plist_t plistBoolean(bool value) { return plist_new_bool(value ? 1 : 0); }
plist_t plistString(const char* value) { return plist_new_string(value); }

void writePlist(const std::filesystem::path& path, plist_t root, PlistFormat format)
{
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (format == PlistFormat::xml)
        plist_to_xml(root, &bytes, &length);
    else
        plist_to_bin(root, &bytes, &length);
    writeFile(path, std::string_view(bytes, length));
    std::free(bytes);
    plist_free(root);
}

} // namespace hb::test
