#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Messages in Mozilla's Fluent syntax (".ftl"), as far as menu labels and key
// letters need it: messages and terms with attributes, text, string and
// number literals, message and term references, variables, PLATFORM() and
// select expressions. Read from untrusted files: references and placeables
// nest at most maxDepth deep, and a formatted text longer than
// maxFormattedBytes reads as absent.
namespace hb::fluent {

inline constexpr int maxDepth = 12;
inline constexpr std::size_t maxFormattedBytes = 4096;

// Variables of a message ("tabCount" → "1"), as the document's
// data-l10n-args give them.
using Arguments = std::map<std::string, std::string, std::less<>>;

class Bundle {
public:
    // The platform PLATFORM() names in select expressions.
    explicit Bundle(std::string platform = "linux") : platform_(std::move(platform)) {}

    // Adds the messages and terms of one file. A message already defined
    // keeps its first definition: add the user's language before the fallback.
    void add(std::string_view resource);

    // The message's value (empty `attribute`) or attribute, formatted; absent
    // when either is not defined or cannot be formatted within the bounds.
    std::optional<std::string> format(std::string_view id, std::string_view attribute = {},
                                      const Arguments& arguments = {}) const;
    bool contains(std::string_view id) const { return entries_.contains(id); }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string value; // the pattern's source text
        std::map<std::string, std::string, std::less<>> attributes;
    };
    class Formatter;

    std::string platform_;
    std::map<std::string, Entry, std::less<>> entries_; // terms keep their leading "-"
};

} // namespace hb::fluent
