#include "sources/third_party_shortcut_registry.h"

#include "base/untrusted_file.h"
#include "model/text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

namespace hb {
namespace {

using nlohmann::json;
using platform::LogCategory;

// A registration nests three levels deep; anything far deeper is not one.
constexpr int maxJsonDepth = 32;

// Whether the arrays and objects of `text` nest at most `maxDepth` deep, as far
// as it is valid JSON (strings are skipped with their escapes).
bool jsonNestingWithin(std::string_view text, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

const std::string* stringMember(const json& object, const char* key)
{
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? &found->get_ref<const std::string&>() : nullptr;
}

std::optional<RegisteredShortcut> decodeShortcut(const json& entry)
{
    if (!entry.is_object())
        return std::nullopt;
    const auto* title = stringMember(entry, "title");
    const auto* keys = stringMember(entry, "keys");
    if (!title || !keys)
        return std::nullopt;
    RegisteredShortcut shortcut{*title, *keys, std::nullopt};
    if (auto group = entry.find("group"); group != entry.end() && !group->is_null()) {
        if (!group->is_string())
            return std::nullopt;
        shortcut.group = group->get_ref<const std::string&>();
    }
    return shortcut;
}

} // namespace

std::optional<RegistrationFile> RegistrationFile::decode(std::string_view text)
{
    if (!jsonNestingWithin(text, maxJsonDepth))
        return std::nullopt;
    const json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object())
        return std::nullopt;
    const auto* appName = stringMember(document, "appName");
    auto shortcuts = document.find("shortcuts");
    if (!appName || shortcuts == document.end() || !shortcuts->is_array())
        return std::nullopt;

    RegistrationFile registration{*appName, {}};
    registration.shortcuts.reserve(shortcuts->size());
    for (const auto& entry : *shortcuts) {
        auto shortcut = decodeShortcut(entry);
        if (!shortcut)
            return std::nullopt;
        registration.shortcuts.push_back(std::move(*shortcut));
    }
    return registration;
}

std::optional<std::filesystem::path> ThirdPartyShortcutRegistry::integrationsDirectory() const
{
    auto folder = UserFolders::inside(folders_.data, "Hintboard/Integrations");
    std::error_code error;
    if (!folder || !std::filesystem::is_directory(*folder, error))
        return std::nullopt;
    return folder;
}

std::vector<MenuSection> ThirdPartyShortcutRegistry::loadSections() const
{
    auto folder = integrationsDirectory();
    if (!folder)
        return {};

    std::vector<std::filesystem::path> files;
    std::error_code error;
    std::filesystem::directory_iterator entries(*folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error))
        if (entries->path().extension() == ".json")
            files.push_back(entries->path());
    if (error)
        return {};
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename().native() < b.filename().native(); });

    std::vector<MenuSection> sections;
    for (const auto& file : files)
        if (auto section = loadFile(file))
            sections.push_back(std::move(*section));
    return sections;
}

std::optional<MenuSection> ThirdPartyShortcutRegistry::loadFile(const std::filesystem::path& file) const
{
    const std::string name = file.filename().string();
    auto content = sources::readUntrustedFile(file, maxFileBytes);
    switch (content.status) {
    case sources::UntrustedFile::Status::oversized:
        log_.info(LogCategory::scraper, "ThirdPartyRegistry: skipping oversized {}", name);
        return std::nullopt;
    case sources::UntrustedFile::Status::unreadable:
        log_.info(LogCategory::scraper, "ThirdPartyRegistry: unreadable {}", name);
        return std::nullopt;
    case sources::UntrustedFile::Status::read:
        break;
    }
    auto registration = RegistrationFile::decode(content.bytes);
    if (!registration) {
        log_.info(LogCategory::scraper, "ThirdPartyRegistry: malformed {}", name);
        return std::nullopt;
    }
    return makeSection(*registration);
}

MenuSection ThirdPartyShortcutRegistry::makeSection(const RegistrationFile& registration)
{
    std::vector<Shortcut> ungrouped;
    std::vector<ShortcutGroup> named; // in order of first appearance
    std::map<std::string, std::size_t> namedIndex;

    const auto count = std::min(registration.shortcuts.size(), maxShortcuts);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& entry = registration.shortcuts[i];
        Shortcut row;
        row.title = text::sanitizedMenuTitle(entry.title);
        row.keys = text::sanitizedMenuTitle(entry.keys);
        if (!entry.group) {
            ungrouped.push_back(std::move(row));
            continue;
        }
        auto groupName = text::sanitizedMenuTitle(*entry.group);
        auto [position, added] = namedIndex.try_emplace(groupName, named.size());
        if (added) {
            named.emplace_back();
            named.back().title = std::move(groupName);
        }
        named[position->second].shortcuts.push_back(std::move(row));
    }

    MenuSection section;
    section.title = text::sanitizedMenuTitle(registration.appName);
    if (!ungrouped.empty()) {
        section.groups.emplace_back();
        section.groups.back().shortcuts = std::move(ungrouped);
    }
    std::move(named.begin(), named.end(), std::back_inserter(section.groups));
    return section;
}

} // namespace hb
