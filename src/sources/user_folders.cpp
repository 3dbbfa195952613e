#include "sources/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace hb {
namespace {

std::filesystem::path absoluteFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        return {};
    std::filesystem::path path(value);
    return path.is_absolute() ? path : std::filesystem::path();
}

std::filesystem::path accountHome()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    std::filesystem::path path(found->pw_dir);
    return path.is_absolute() ? path : std::filesystem::path();
}

} // namespace

UserFolders UserFolders::fromEnvironment()
{
    UserFolders folders;
    folders.home = absoluteFromEnvironment("HOME");
    if (folders.home.empty())
        folders.home = accountHome();
    folders.data = absoluteFromEnvironment("XDG_DATA_HOME");
    if (folders.data.empty() && !folders.home.empty())
        folders.data = folders.home / ".local" / "share";
    return folders;
}

std::optional<std::filesystem::path> UserFolders::inside(const std::filesystem::path& folder,
                                                         const std::filesystem::path& relative)
{
    if (!folder.is_absolute())
        return std::nullopt;
    return folder / relative;
}

} // namespace hb
