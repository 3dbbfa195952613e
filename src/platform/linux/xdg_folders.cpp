#include "platform/linux/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

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

} // namespace hb::linux_platform
