#pragma once

#include "model/shortcut.h"

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Short ways to write shortcut content in tests.
namespace hb::test {

inline Shortcut row(std::string title, std::string keys = "")
{
    return Shortcut{.title = std::move(title), .keys = std::move(keys)};
}

inline ShortcutGroup group(std::optional<std::string> title, std::vector<Shortcut> rows)
{
    return ShortcutGroup{.title = std::move(title), .shortcuts = std::move(rows)};
}

inline MenuSection section(std::string title, std::vector<ShortcutGroup> groups)
{
    return MenuSection{.title = std::move(title), .groups = std::move(groups)};
}

// A row's title and keys, to compare what a read gave; a separator has neither.
struct Row {
    std::string title;
    std::string keys;
    friend bool operator==(const Row&, const Row&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.title << " " << row.keys; }
};

inline std::vector<Row> rowsOf(const std::vector<Shortcut>& shortcuts)
{
    std::vector<Row> rows;
    for (const auto& shortcut : shortcuts)
        rows.push_back(Row{shortcut.title, shortcut.keys});
    return rows;
}

// "Group: title=keys" per row of `groups`, with " (off)" after a deactivated one.
inline std::vector<std::string> groupRows(const std::vector<ShortcutGroup>& groups)
{
    std::vector<std::string> rows;
    for (const auto& group : groups)
        for (const auto& row : group.shortcuts)
            rows.push_back(group.title.value_or("") + ": " + row.title + "=" + row.keys
                           + (row.isDisabled ? " (off)" : ""));
    return rows;
}

// The row titled `title` in any menu and submenu of `sections`; throws when there is none.
inline const Shortcut& rowTitled(const std::vector<MenuSection>& sections, std::string_view title)
{
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& shortcut : group.shortcuts)
                if (shortcut.title == title)
                    return shortcut;
    throw std::runtime_error("no row " + std::string(title));
}

} // namespace hb::test
