#pragma once

#include <filesystem>
#include <vector>

// The user's folders, from the environment. An empty path is a folder that is
// not known.
namespace hb::platform {

// $HOME when absolute, else the account's home directory.
std::filesystem::path homeFolder();
// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
std::filesystem::path xdgConfigHome();
// $XDG_DATA_HOME, or ~/.local/share when it is unset or not absolute.
std::filesystem::path xdgDataHome();
// The absolute folders of $XDG_DATA_DIRS, or /usr/local/share and /usr/share
// when there are none.
std::vector<std::filesystem::path> xdgDataDirs();
// The absolute folders of $XDG_CONFIG_DIRS, or /etc/xdg when there are none.
std::vector<std::filesystem::path> xdgConfigDirs();

} // namespace hb::platform
