#include "popup/markdown_export.h"

#include <algorithm>
#include <vector>

namespace hb::markdown {
namespace {

constexpr std::string_view markupCharacters = "\\`*_[]<>!#|";

bool counts(const Shortcut& shortcut)
{
    return !shortcut.keys.empty();
}

bool hasCountingRow(const ShortcutGroup& group)
{
    return std::ranges::any_of(group.shortcuts, counts);
}

} // namespace

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (markupCharacters.find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

std::string codeSpan(std::string_view keys)
{
    if (keys.find('`') != std::string_view::npos)
        return "`` " + std::string(keys) + " ``";
    return "`" + std::string(keys) + "`";
}

std::string document(const AppShortcuts& app, notation::KeyLabels labels)
{
    std::vector<std::string> lines{"# " + escaped(app.appName), ""};
    for (const auto& section : app.sections) {
        if (std::ranges::none_of(section.groups, hasCountingRow))
            continue;
        lines.push_back("## " + escaped(section.title));
        for (const auto& group : section.groups) {
            if (!hasCountingRow(group))
                continue;
            if (group.title)
                lines.push_back("### " + escaped(*group.title));
            for (const auto& shortcut : group.shortcuts)
                if (counts(shortcut))
                    // A list item each: plain lines would render as one paragraph.
                    lines.push_back("- " + codeSpan(notation::keyLabel(shortcut.keys, labels)) + " — "
                                    + escaped(shortcut.title));
        }
        lines.emplace_back();
    }
    if (lines.back().empty())
        lines.pop_back();

    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i];
    }
    return text;
}

} // namespace hb::markdown
