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

// The name of the whole key text.
std::string keyName(std::string_view key)
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
    // The arrows, forward delete and F1 to F12 as private-use characters (three bytes each).
    if (auto c = notation::firstScalar(key); key.size() == 3 && ((*c >= 0xF700 && *c <= 0xF70F) || *c == 0xF728))
        return std::string(*notation::functionKeyName(*c));
    return upperCased(key);
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
    if (keyStart == keyEquivalent.size())
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
    return result + keyName(keyEquivalent.substr(keyStart));
}

std::optional<ShortcutGroup> userKeyEquivalentGroup(const std::optional<platform::PlistValue>& globalPreferences)
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
        if (!keys)
            continue;
        Shortcut row;
        row.title = text::sanitizedMenuTitle(title);
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

std::optional<ShortcutGroup> userKeyEquivalentGroup(const UserFolders& folders)
{
    return userKeyEquivalentGroup(sources::readUserPreferences(folders, ".GlobalPreferences.plist"));
}

} // namespace hb
