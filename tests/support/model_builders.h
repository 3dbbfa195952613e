#pragma once

#include "model/shortcut.h"

#include <optional>
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
