#pragma once

#include "base/property_list.h"
#include "support/temporary_folder.h"

#include <filesystem>

namespace hb::test {

// Writes a property-list file in the given format, making its folders first.
inline void writePlist(const std::filesystem::path& path, const platform::PlistValue& root,
                       platform::PlistFormat format)
{
    writeFile(path, *platform::serializePropertyList(root, format));
}

} // namespace hb::test
