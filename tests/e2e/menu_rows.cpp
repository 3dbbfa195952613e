#include "menu_rows.h"

#include <nlohmann/json.hpp>

namespace hb::e2e {

std::vector<std::string> rowTexts(const std::vector<MenuSection>& sections)
{
    std::vector<std::string> rows;
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.shortcuts)
                if (!row.isSeparator)
                    rows.push_back(section.title + "/" + (group.title ? *group.title + "/" : "") + row.title + "="
                                   + row.keys);
    return rows;
}

std::optional<Shortcut> findRow(const std::vector<MenuSection>& sections, const std::string& menu,
                                const std::string& title)
{
    for (const auto& section : sections)
        if (section.title == menu)
            for (const auto& shortcut : section.allShortcuts())
                if (shortcut.title == title)
                    return shortcut;
    return std::nullopt;
}

std::vector<JsonRow> jsonRows(const std::string& json)
{
    const auto document = nlohmann::json::parse(json, nullptr, false);
    std::vector<JsonRow> rows;
    if (!document.is_object())
        return rows;
    for (const auto& section : document.value("sections", nlohmann::json::array()))
        for (const auto& group : section.value("groups", nlohmann::json::array()))
            for (const auto& row : group.value("rows", nlohmann::json::array()))
                rows.push_back(
                    {section.value("title", ""),
                     group.value("title", nlohmann::json()).is_string() ? group["title"].get<std::string>() : "",
                     row.value("title", ""), row.value("keys", ""), row.value("label", "")});
    return rows;
}

std::vector<std::string> rowTexts(const std::vector<JsonRow>& rows)
{
    std::vector<std::string> texts;
    for (const auto& row : rows)
        texts.push_back(row.menu + "/" + (row.group.empty() ? "" : row.group + "/") + row.title + "=" + row.keys);
    return texts;
}

} // namespace hb::e2e
