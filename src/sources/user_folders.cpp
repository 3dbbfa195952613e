#include "sources/user_folders.h"

#include "base/xdg_folders.h"

namespace hb {

UserFolders UserFolders::fromEnvironment()
{
    return UserFolders{platform::homeFolder(), platform::xdgDataHome()};
}

std::optional<std::filesystem::path> UserFolders::inside(const std::filesystem::path& folder,
                                                         const std::filesystem::path& relative)
{
    if (!folder.is_absolute())
        return std::nullopt;
    return folder / relative;
}

} // namespace hb
