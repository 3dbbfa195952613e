#include "menu_rows.h"

namespace hb::e2e {

std::vector<std::string> rowTexts(const std::vector<MenuSection>& sections)
{
    std::vector<std::string> rows;
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.shortcuts)
                if (!row.isSeparator)
                    rows.push_back(section.title + "/" + (group.title ? *group.title + "/" : "") + row.title + "=" +
                                   row.keys);
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

} // namespace hb::e2e
