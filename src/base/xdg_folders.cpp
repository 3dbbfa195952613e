#include "base/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace hb::platform {
namespace {

std::filesystem::path absoluteFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        return {};
    std::filesystem::path path(value);
    return path.is_absolute() ? path : std::filesystem::path();
}

// The absolute folders of a colon-separated list.
std::vector<std::filesystem::path> absoluteListFromEnvironment(const char* name)
{
    std::vector<std::filesystem::path> folders;
    const char* variable = std::getenv(name);
    std::string_view rest = variable ? variable : "";
    while (!rest.empty()) {
        auto colon = rest.find(':');
        if (std::filesystem::path folder(rest.substr(0, colon)); folder.is_absolute())
            folders.push_back(std::move(folder));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return folders;
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

std::filesystem::path insideHome(const std::filesystem::path& relative)
{
    auto home = homeFolder();
    return home.empty() ? home : home / relative;
}

} // namespace

std::filesystem::path homeFolder()
{
    auto home = absoluteFromEnvironment("HOME");
    return home.empty() ? accountHome() : home;
}

std::filesystem::path xdgConfigHome()
{
    auto folder = absoluteFromEnvironment("XDG_CONFIG_HOME");
    return folder.empty() ? insideHome(".config") : folder;
}

std::filesystem::path xdgDataHome()
{
    auto folder = absoluteFromEnvironment("XDG_DATA_HOME");
    return folder.empty() ? insideHome(".local/share") : folder;
}

std::vector<std::filesystem::path> xdgDataDirs()
{
    auto folders = absoluteListFromEnvironment("XDG_DATA_DIRS");
    if (folders.empty())
        folders = {"/usr/local/share", "/usr/share"};
    return folders;
}

std::vector<std::filesystem::path> xdgConfigDirs()
{
    auto folders = absoluteListFromEnvironment("XDG_CONFIG_DIRS");
    if (folders.empty())
        folders = {"/etc/xdg"};
    return folders;
}

} // namespace hb::platform
