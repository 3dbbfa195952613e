#pragma once

#include <filesystem>
#include <optional>

namespace hb {

// The user's folders that the shortcut sources read from. An empty or relative
// path stands for a folder that is not known; nothing is read from it.
struct UserFolders {
    std::filesystem::path home; // $HOME, else the account's home directory
    std::filesystem::path data; // $XDG_DATA_HOME, else ~/.local/share

    static UserFolders fromEnvironment();

    // `relative` inside `folder`, or absent when the folder is not known.
    static std::optional<std::filesystem::path> inside(const std::filesystem::path& folder,
                                                       const std::filesystem::path& relative);
};

} // namespace hb
