#include "platform/linux/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace hb::linux_platform {
namespace {

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()))
        return entry->pw_dir;
    return "/";
}

} // namespace

std::filesystem::path xdgConfigHome()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && std::filesystem::path(xdg).is_absolute())
        return xdg;
    return homeFolder() / ".config";
}

std::filesystem::path xdgDataHome()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && std::filesystem::path(xdg).is_absolute())
        return xdg;
    return homeFolder() / ".local/share";
}

std::vector<std::filesystem::path> xdgDataDirs()
{
    std::vector<std::filesystem::path> folders;
    const char* variable = std::getenv("XDG_DATA_DIRS");
    std::string_view rest = variable ? variable : "";
    while (!rest.empty()) {
        auto colon = rest.find(':');
        if (std::filesystem::path folder(rest.substr(0, colon)); folder.is_absolute())
            folders.push_back(std::move(folder));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    if (folders.empty())
        folders = {"/usr/local/share", "/usr/share"};
    return folders;
}

} // namespace hb::linux_platform
