#include "sources/user_key_equivalents.h"

#include "model/key_notation.h"
#include "model/text.h"
#include "sources/property_list_reader.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace hb {
namespace {

using platform::PlistDictionary;

std::string upperCased(std::string_view text)
{
    auto unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::string upper;
    unicode.toUpper(icu::Locale::getRoot()).toUTF8String(upper);
    return upper;
}

// The name of the whole key text; absent for a key that cannot be shown (a
// control character, a private-use character without a name).
std::optional<std::string> keyName(std::string_view key)
{
    if (key == "\t")
        return "⇥";
    if (key == "\r" || key == "\n")
        return "↩";
    if (key == "\x1b")
        return "⎋";
    if (key == "\b" || key == "\x7f")
        return "⌫";
    if (key == " ")
        return "Space";
    const char32_t c = *notation::firstScalar(key);
    if (c >= 0xE000 && c <= 0xF8FF) {
        auto name = notation::functionKeyName(c);
        if (!name || key.size() != 3) // a private-use character takes three bytes
            return std::nullopt;
        return std::string(*name);
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return std::nullopt;
    return upperCased(key);
}

// The system writes a menu path as titles each preceded by ESC:
// "\x1bWindow\x1bZoom" reads "Window › Zoom".
std::string readableTitle(std::string_view title)
{
    std::string readable;
    std::size_t start = 0;
    while (start <= title.size()) {
        auto end = title.find('\x1b', start);
        if (end == std::string_view::npos)
            end = title.size();
        auto element = text::sanitizedMenuTitle(title.substr(start, end - start));
        if (!element.empty())
            readable += (readable.empty() ? "" : " › ") + element;
        start = end + 1;
    }
    return readable;
}

} // namespace

std::optional<std::string> parseKeyEquivalent(std::string_view keyEquivalent)
{
    bool control = false, option = false, shift = false, command = false;
    std::size_t keyStart = 0;
    for (; keyStart < keyEquivalent.size(); ++keyStart) {
        const char c = keyEquivalent[keyStart];
        if (c == '^')
            control = true;
        else if (c == '~')
            option = true;
        else if (c == '$')
            shift = true;
        else if (c == '@')
            command = true;
        else
            break;
    }
    // "#" marks a key of the numeric keypad; it is no part of the key's name.
    if (keyStart + 1 < keyEquivalent.size() && keyEquivalent[keyStart] == '#')
        ++keyStart;
    if (keyStart == keyEquivalent.size())
        return std::nullopt;
    auto name = keyName(keyEquivalent.substr(keyStart));
    if (!name)
        return std::nullopt;

    std::string result;
    if (control)
        result += notation::control;
    if (option)
        result += notation::option;
    if (shift)
        result += notation::shift;
    if (command)
        result += notation::command;
    return result + *name;
}

std::optional<ShortcutGroup> userKeyEquivalentGroup(const std::optional<platform::PlistValue>& globalPreferences,
                                                    platform::Log* log)
{
    const auto* root = globalPreferences ? globalPreferences->as<PlistDictionary>() : nullptr;
    if (!root)
        return std::nullopt;
    auto entries = root->find("NSUserKeyEquivalents");
    const auto* equivalents = entries == root->end() ? nullptr : entries->second.as<PlistDictionary>();
    if (!equivalents)
        return std::nullopt;

    ShortcutGroup group;
    group.title = "All Applications";
    for (const auto& [title, value] : *equivalents) {
        const auto* keyEquivalent = value.as<std::string>();
        auto keys = keyEquivalent ? parseKeyEquivalent(*keyEquivalent) : std::nullopt;
        if (!keys) {
            if (log && log->debugLoggingEnabled())
                log->debug(platform::LogCategory::scraper, "User key equivalent without a key shown: {}",
                           platform::privately(readableTitle(title)));
            continue;
        }
        Shortcut row;
        row.title = readableTitle(title);
        if (row.title.empty())
            continue;
        row.keys = std::move(*keys);
        group.shortcuts.push_back(std::move(row));
    }
    if (group.shortcuts.empty())
        return std::nullopt;
    std::stable_sort(group.shortcuts.begin(), group.shortcuts.end(), [](const Shortcut& a, const Shortcut& b) {
        return text::localizedStandardCompare(a.title, b.title) < 0;
    });
    return group;
}

std::optional<ShortcutGroup> userKeyEquivalentGroup(const UserFolders& folders, platform::Log* log)
{
    return userKeyEquivalentGroup(sources::readUserPreferences(folders, ".GlobalPreferences.plist"), log);
}

} // namespace hb
