#include "linux/program_paths.h"

#include <string>
#include <string_view>

namespace hb::linux_platform {
namespace {

constexpr std::string_view trayName = "hintboard-tray";
constexpr std::string_view launcherName = "hintboard";

// Where the tray application is installed, and the command.
const std::filesystem::path installedTrayFolder = HINTBOARD_LIBEXECDIR "/hintboard";
const std::filesystem::path installedLauncherFolder = HINTBOARD_BINDIR;

bool isFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

std::filesystem::path runningExecutable()
{
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error)
        return {};
    // A package upgrade replaces the file under the running program.
    constexpr std::string_view replaced = " (deleted)";
    if (path.ends_with(replaced))
        path.resize(path.size() - replaced.size());
    return path;
}

std::filesystem::path trayApplicationPath(const std::filesystem::path& launcher)
{
    const auto folder = launcher.parent_path();
    if (auto beside = folder / trayName; isFile(beside))
        return beside;
    return (folder / installedTrayFolder.lexically_relative(installedLauncherFolder) / trayName).lexically_normal();
}

std::filesystem::path launcherPath(const std::filesystem::path& tray)
{
    const auto folder = tray.parent_path();
    if (auto beside = folder / launcherName; isFile(beside))
        return beside;
    if (auto installed = (folder / installedLauncherFolder.lexically_relative(installedTrayFolder) / launcherName)
                             .lexically_normal();
        isFile(installed))
        return installed;
    return tray;
}

} // namespace hb::linux_platform
