#include "sources/property_list_reader.h"

#include "base/untrusted_file.h"

namespace hb::sources {

std::optional<platform::PlistValue> readPropertyListFile(const std::filesystem::path& path)
{
    auto file = readUntrustedFile(path, maxPropertyListFileBytes);
    if (file.status != UntrustedFile::Status::read)
        return std::nullopt;
    return platform::parsePropertyList(file.bytes);
}

std::optional<platform::PlistValue> readUserPreferences(const UserFolders& folders, std::string_view fileName)
{
    auto path = UserFolders::inside(folders.home, std::filesystem::path("Library/Preferences") / fileName);
    return path ? readPropertyListFile(*path) : std::nullopt;
}

} // namespace hb::sources
