#include "model/key_label.h"

#include "model/key_notation.h"

#include <array>
#include <utility>

namespace hb::notation {
namespace {

constexpr std::array<std::string_view, 4> modifierWords{"Ctrl", "Alt", "Shift", "Super"};

// Key names of the notation that are glyphs or short forms, and the names
// GTK gives the same keys (X key names with spaces). Backspace and Plus as Qt
// writes them: "Ctrl++" reads as a typing error.
std::string_view keyWord(std::string_view name)
{
    // clang-format off
    static constexpr std::pair<std::string_view, std::string_view> words[] = {
        {"↑", "Up"},     {"↓", "Down"},       {"←", "Left"},       {"→", "Right"},      {"↖", "Home"},
        {"↘", "End"},    {"⇞", "Page Up"},    {"⇟", "Page Down"},  {"⌦", "Delete"},     {"⌫", "Backspace"},
        {"↩", "Return"}, {"⌅", "KP Enter"},   {"⇥", "Tab"},        {"⇤", "Left Tab"},   {"⎋", "Escape"},
        {"⌧", "Clear"},  {"⇪", "Caps Lock"},  {"⌘", "Super"},      {"Ins", "Insert"},   {"+", "Plus"},
        {"\\", "Backslash"},
    };
    // clang-format on
    for (const auto& [glyph, word] : words)
        if (name == glyph)
            return word;
    return name;
}

} // namespace

std::string_view storedName(KeyLabels labels)
{
    return labels == KeyLabels::words ? "words" : "symbols";
}

KeyLabels keyLabelsStoredAs(std::string_view name)
{
    if (name == storedName(KeyLabels::symbols))
        return KeyLabels::symbols;
    if (name == storedName(KeyLabels::words))
        return KeyLabels::words;
    return defaultKeyLabels;
}

std::string_view modifierLabel(std::string_view glyph, KeyLabels labels)
{
    if (labels == KeyLabels::words)
        for (std::size_t i = 0; i < modifierGlyphs.size(); ++i)
            if (glyph == modifierGlyphs[i])
                return modifierWords[i];
    return glyph;
}

std::string keyLabel(std::string_view keys, KeyLabels labels)
{
    if (labels == KeyLabels::symbols || keys.empty())
        return std::string(keys);
    // The glyphs come in a fixed order, each at most once; a glyph that
    // ends the text is the key itself (the ⌘ key of a menu glyph).
    std::string_view rest = keys;
    std::array<bool, modifierGlyphs.size()> held{};
    std::optional<std::size_t> last;
    for (std::size_t i = 0; i < modifierGlyphs.size(); ++i)
        if (rest.starts_with(modifierGlyphs[i])) {
            held[i] = true;
            last = i;
            rest.remove_prefix(modifierGlyphs[i].size());
        }
    if (rest.empty() && last) {
        held[*last] = false;
        rest = modifierGlyphs[*last];
    }
    std::string label;
    for (std::size_t i = 0; i < modifierGlyphs.size(); ++i)
        if (held[i]) {
            label += modifierWords[i];
            label += '+';
        }
    label += keyWord(rest);
    return label;
}

} // namespace hb::notation
