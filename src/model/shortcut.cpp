#include "model/shortcut.h"

#include "model/key_label.h"
#include "model/key_notation.h"
#include "model/text.h"

#include <unordered_map>

namespace hb {
namespace {

void combine(std::size_t& seed, std::size_t value)
{
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

Shortcut Shortcut::separator()
{
    Shortcut row;
    row.isSeparator = true;
    return row;
}

std::shared_ptr<const FoldedTexts> FoldedTexts::of(const std::string& title, const std::string& keys)
{
    return std::make_shared<const FoldedTexts>(
        FoldedTexts{title, keys, text::folded(title), text::folded(keys),
                    text::folded(notation::keyLabel(keys, notation::KeyLabels::words))});
}

void Shortcut::foldTexts()
{
    folds = FoldedTexts::of(title, keys);
}

const FoldedTexts* Shortcut::currentFolds() const
{
    return folds && folds->title == title && folds->keys == keys ? folds.get() : nullptr;
}

std::vector<std::string> Shortcut::modifierSet() const
{
    std::vector<std::string> set;
    if (isSeparator)
        return set;
    for (auto glyph : notation::modifierGlyphs)
        if (keys.find(glyph) != std::string::npos)
            set.emplace_back(glyph);
    return set;
}

std::size_t ShortcutGroup::hash() const
{
    std::size_t seed = id.hash();
    combine(seed, title ? 1 : 0);
    if (title)
        combine(seed, std::hash<std::string>{}(*title));
    combine(seed, shortcuts.size());
    for (const auto& shortcut : shortcuts)
        combine(seed, shortcut.id.hash());
    return seed;
}

std::vector<Shortcut> MenuSection::allShortcuts() const
{
    std::vector<Shortcut> all;
    for (const auto& group : groups)
        all.insert(all.end(), group.shortcuts.begin(), group.shortcuts.end());
    return all;
}

std::size_t MenuSection::hash() const
{
    std::size_t seed = id.hash();
    combine(seed, std::hash<std::string>{}(title));
    combine(seed, groups.size());
    for (const auto& group : groups)
        combine(seed, group.hash());
    return seed;
}

bool AppShortcuts::hasNoShortcuts() const
{
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& shortcut : group.shortcuts)
                if (!shortcut.isSeparator)
                    return false;
    return true;
}

std::set<std::string> AppShortcuts::conflictingKeys() const
{
    std::unordered_map<std::string, int> counts;
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& shortcut : group.shortcuts)
                if (!shortcut.keys.empty())
                    ++counts[shortcut.keys];
    std::set<std::string> conflicts;
    for (const auto& [keys, count] : counts)
        if (count >= 2)
            conflicts.insert(keys);
    return conflicts;
}

} // namespace hb
