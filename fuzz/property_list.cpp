// Preference files: the safety check in front of libplist, the parser, and
// what the system shortcuts and user key equivalents make of the result.
#include "base/property_list.h"
#include "base/property_list_guard.h"
#include "sources/system_shortcuts.h"
#include "sources/user_key_equivalents.h"

#include <plist/plist.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace {

bool isContainer(plist_t node)
{
    auto type = plist_get_node_type(node);
    return type == PLIST_ARRAY || type == PLIST_DICT;
}

// Whether libplist's tree stays within the bounds that the check promised,
// walked without recursion.
bool treeWithinBounds(plist_t root)
{
    std::vector<std::pair<plist_t, int>> pending{{root, 0}};
    std::size_t values = 0;
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (++values > hb::platform::maxPropertyListValues)
            return false;
        if (!isContainer(node))
            continue;
        if (depth + 1 > hb::platform::maxPropertyListDepth)
            return false;
        if (plist_get_node_type(node) == PLIST_ARRAY) {
            for (std::uint32_t i = 0, n = plist_array_get_size(node); i < n; ++i)
                pending.emplace_back(plist_array_get_item(node, i), depth + 1);
        } else {
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iterator, &key, &item);
                std::free(key);
                if (!item)
                    break;
                pending.emplace_back(item, depth + 1);
            }
            std::free(iterator);
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (hb::platform::propertyListSafeToParse(bytes)) {
        plist_t root = nullptr;
        plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
        if (root && !treeWithinBounds(root))
            std::abort(); // the check passed a list that libplist nests or expands beyond the bounds
        plist_free(root);
    }

    auto value = hb::platform::parsePropertyList(bytes);
    hb::hotKeyStatesFromPreferences(value);
    hb::userKeyEquivalentGroup(value);
    return 0;
}
