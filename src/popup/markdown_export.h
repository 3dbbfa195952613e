#pragma once

#include "model/key_label.h"
#include "model/shortcut.h"

#include <string>
#include <string_view>

// The Markdown reference sheet of an application's shortcuts.
namespace hb::markdown {

// Backslash before each character Markdown would read as markup.
std::string escaped(std::string_view text);
// An inline code span that holds any key text, backticks included.
std::string codeSpan(std::string_view keys);

// Every row with a key combination, by menu and submenu, its keys written
// as `labels` says; lines joined by line feeds, without a final one.
std::string document(const AppShortcuts& app, notation::KeyLabels labels);

} // namespace hb::markdown
