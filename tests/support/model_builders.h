#pragma once

#include "model/shortcut.h"

#include <optional>
#include <string>
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

} // namespace hb::test
