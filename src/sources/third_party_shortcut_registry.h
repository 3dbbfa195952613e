#pragma once

#include "base/log.h"
#include "model/shortcut.h"
#include "sources/user_folders.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

struct RegisteredShortcut {
    std::string title;
    std::string keys;                 // shown as written
    std::optional<std::string> group; // a sub-group's name
};

// One integration file: {"appName": …, "shortcuts": [{"title", "keys", "group"?}, …]}.
struct RegistrationFile {
    std::string appName;
    std::vector<RegisteredShortcut> shortcuts;

    // Absent for invalid JSON, a missing required key or a value of the wrong type.
    static std::optional<RegistrationFile> decode(std::string_view json);
};

// Shortcuts that other applications register by dropping a JSON file into the
// folder "Hintboard/Integrations" of the user's data folder. Reads the folder
// anew on every call; keeps nothing.
class ThirdPartyShortcutRegistry {
public:
    static constexpr std::size_t maxFileBytes = 1'048'576;
    static constexpr std::size_t maxShortcuts = 500;

    ThirdPartyShortcutRegistry(UserFolders folders, platform::Log& log) : folders_(std::move(folders)), log_(log) {}

    // The integrations folder, when it exists.
    std::optional<std::filesystem::path> integrationsDirectory() const;
    // One section per usable "*.json" file, in the order of the file names.
    std::vector<MenuSection> loadSections() const;
    std::optional<MenuSection> loadFile(const std::filesystem::path& file) const;

    static MenuSection makeSection(const RegistrationFile& registration);

private:
    UserFolders folders_;
    platform::Log& log_;
};

} // namespace hb
