// The rows of a menu read, in forms that tests compare easily.
#pragma once

#include "model/shortcut.h"

#include <optional>
#include <string>
#include <vector>

namespace hb::e2e {

// Every row as "Menu/Group/Title=keys" (no group for a menu's own rows), separators left out.
std::vector<std::string> rowTexts(const std::vector<MenuSection>& sections);

// The row titled `title` in the menu `menu`, in any of its groups.
std::optional<Shortcut> findRow(const std::vector<MenuSection>& sections, const std::string& menu,
                                const std::string& title);

// A row of `hintboard shortcuts --json`; its group is empty for a menu's own rows.
struct JsonRow {
    std::string menu, group, title, keys, label;
};
// The rows of the command's JSON output; none when it is not JSON.
std::vector<JsonRow> jsonRows(const std::string& json);
// Every row as "Menu/Group/Title=keys", as rowTexts() gives them.
std::vector<std::string> rowTexts(const std::vector<JsonRow>& rows);

} // namespace hb::e2e
