#include "popup/popup_filter_model.h"

#include "model/key_label.h"
#include "model/key_notation.h"
#include "model/text.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"

#include <fmt/format.h>
#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <unordered_set>
#include <utility>

namespace hb {
namespace {

// A glyph outside the four never matches a row's modifiers.
constexpr unsigned unknownGlyphBit = 1u << notation::modifierGlyphs.size();

unsigned glyphBits(const std::vector<std::string>& glyphs)
{
    unsigned bits = 0;
    for (const auto& glyph : glyphs) {
        auto found = std::find(notation::modifierGlyphs.begin(), notation::modifierGlyphs.end(), glyph);
        bits |= found == notation::modifierGlyphs.end() ? unknownGlyphBit
                                                        : 1u << (found - notation::modifierGlyphs.begin());
    }
    return bits;
}

// The bits of the row's modifier set.
unsigned glyphBits(const Shortcut& shortcut)
{
    unsigned bits = 0;
    if (shortcut.isSeparator)
        return bits;
    for (std::size_t i = 0; i < notation::modifierGlyphs.size(); ++i)
        if (shortcut.keys.find(notation::modifierGlyphs[i]) != std::string::npos)
            bits |= 1u << i;
    return bits;
}

// The platform's white space: space separators and the tab.
bool isWhiteSpace(UChar32 c)
{
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

std::string trimmedOfWhiteSpace(std::string_view text)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (!isWhiteSpace(c))
            break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, start, previous, c);
        if (!isWhiteSpace(c))
            break;
        end = previous;
    }
    return std::string(text.substr(start, end - start));
}

// Whether `needle` stands in key words ("ctrl+page up") as whole key names:
// "page" and "page up" do, "ctrl+s" does not in "ctrl+shift+s".
bool inKeyWords(std::string_view words, std::string_view needle)
{
    const auto boundary = [](char c) { return c == '+' || c == ' '; };
    for (auto at = words.find(needle); at != std::string_view::npos; at = words.find(needle, at + 1)) {
        const auto end = at + needle.size();
        if ((at == 0 || boundary(words[at - 1])) && (end == words.size() || boundary(words[end])))
            return true;
    }
    return false;
}

// Whether a query names a key, not only modifiers: "page", "ctrl+s", but not
// "ctrl" or "s", which would find half the list.
bool namesKey(std::string_view folded)
{
    if (folded.size() < 2)
        return false;
    static const std::vector<std::string> modifierWords = [] {
        std::vector<std::string> words;
        for (auto glyph : notation::modifierGlyphs)
            words.push_back(text::folded(std::string(notation::modifierLabel(glyph, notation::KeyLabels::words))));
        return words;
    }();
    std::size_t start = 0;
    while (start <= folded.size()) {
        auto end = folded.find_first_of("+ ", start);
        if (end == std::string_view::npos)
            end = folded.size();
        const auto word = folded.substr(start, end - start);
        if (!word.empty() && std::ranges::find(modifierWords, word) == modifierWords.end())
            return true;
        start = end + 1;
    }
    return false;
}

// Whether the text holds two or more user-perceived characters.
bool hasTwoCharacters(std::string_view text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    auto unicode = icu::UnicodeString::fromUTF8(text);
    if (U_FAILURE(status))
        return unicode.countChar32() >= 2;
    characters->setText(unicode);
    int count = 0;
    while (characters->next() != icu::BreakIterator::DONE)
        if (++count == 2)
            return true;
    return false;
}

} // namespace

PopupFilterModel::PopupFilterModel(AppShortcuts app, Columns columns, bool fitsWithoutScrolling,
                                   platform::SettingsDomain& settings, FavouritesStore& favourites,
                                   const IgnoreListStore& ignoreList)
    : app_(std::move(app)), columns_(std::move(columns)), fitsWithoutScrolling_(fitsWithoutScrolling),
      settings_(settings), favourites_(favourites), appID_(app_.bundleIdentifier.value_or(app_.appName)),
      tipIndex_(Settings(settings).popupTipIndex())
{
    if (ignoreList.isEnabled() && ignoreList.showWhenFiltering())
        hiddenPatterns_ = ignoreList.patterns(app_.bundleIdentifier);
    hiddenPatternSet_ = text::PatternSet(hiddenPatterns_);
    planShowing();
    favouritesObservation_ = favourites_.addObserver([this] {
        refreshFavourites();
        recompute();
        observers_.notify();
    });
    readSettings();
    recompute();
}

PopupFilterModel::~PopupFilterModel()
{
    favourites_.removeObserver(favouritesObservation_);
}

void PopupFilterModel::replaceRows(AppShortcuts app, Columns columns)
{
    const auto* selected = selectedShortcut();
    const auto selectedID = selected ? std::optional(selected->id) : std::nullopt;
    app_ = std::move(app);
    columns_ = std::move(columns);
    ++rowsGeneration_;
    planShowing();
    readSettings();
    recompute();
    selectedIndex_.reset();
    if (selectedID) {
        auto found =
            std::find_if(visible_.begin(), visible_.end(), [&](const Shortcut* row) { return row->id == *selectedID; });
        if (found != visible_.end())
            selectedIndex_ = static_cast<std::size_t>(found - visible_.begin());
    }
    observers_.notify();
}

// --- Planning, once per showing ---

void PopupFilterModel::planShowing()
{
    conflictingKeys_.clear();
    if (settings_.boolean(keys::showConflictIndicator))
        conflictingKeys_ = app_.conflictingKeys();
    facts_.clear();
    factsByRow_.clear();
    hiddenGroups_.clear();
    columnPlan_.clear();
    sectionPlan_.clear();
    planRows();
    markFavourites();
}

void PopupFilterModel::planRows()
{
    plan(app_.sections, sectionPlan_);
    for (const auto& column : columns_)
        plan(column, columnPlan_);
}

void PopupFilterModel::plan(const std::vector<MenuSection>& sections, std::vector<PlannedGroup>& groups)
{
    for (const auto& section : sections) {
        for (const auto& group : section.groups) {
            PlannedGroup planned;
            planned.titleHidden = groupTitleHidden(group);
            hiddenGroups_.emplace(group.id, planned.titleHidden);
            planned.rows.reserve(group.shortcuts.size());
            for (const auto& shortcut : group.shortcuts)
                planned.rows.push_back(PlannedRow{&shortcut, factsIndex(shortcut)});
            groups.push_back(std::move(planned));
        }
    }
}

std::size_t PopupFilterModel::factsIndex(const Shortcut& shortcut)
{
    auto [entry, added] = factsByRow_.try_emplace(shortcut.id, facts_.size());
    if (added)
        facts_.push_back(factsOf(shortcut));
    return entry->second;
}

// All but the favourite mark, which the caller looks up.
PopupFilterModel::RowFacts PopupFilterModel::factsOf(const Shortcut& shortcut) const
{
    RowFacts facts;
    facts.row = &shortcut;
    // Rows read from menus come folded; rows of other sources are folded here.
    facts.texts = shortcut.currentFolds() ? shortcut.folds : FoldedTexts::of(shortcut.title, shortcut.keys);
    facts.modifiers = glyphBits(shortcut);
    facts.titleHidden = !hiddenPatternSet_.empty() && hiddenPatternSet_.matchesFolded(facts.texts->foldedTitle);
    return facts;
}

void PopupFilterModel::refreshFavourites()
{
    // A lookup may migrate a stored favourite, which reports a change again.
    if (refreshingFavourites_)
        return;
    refreshingFavourites_ = true;
    markFavourites();
    refreshingFavourites_ = false;
}

void PopupFilterModel::markFavourites()
{
    // Only a row whose identity is among the application's pinned entries
    // needs the store's lookup (which may migrate a legacy entry).
    const auto& pinned = favourites_.pinned();
    std::unordered_set<std::string> candidates;
    for (const auto& identity : {FavouritesStore::identity({}, appID_), FavouritesStore::legacyIdentity({}, appID_)}) {
        // Without title and keys an identity is its application part and "||".
        const std::string_view prefix(identity.data(), identity.size() - 1);
        for (auto entry = pinned.lower_bound(std::string(prefix)); entry != pinned.end() && entry->starts_with(prefix);
             ++entry)
            candidates.insert(*entry);
    }
    const bool appHasBar = appID_.find('|') != std::string::npos;
    for (auto& facts : facts_) {
        facts.favourite = false;
        if (candidates.empty())
            continue;
        const auto& row = *facts.row;
        // The two forms differ only where a part holds a "|".
        const bool hasBar =
            appHasBar || row.title.find('|') != std::string::npos || row.keys.find('|') != std::string::npos;
        if (candidates.contains(FavouritesStore::identity(row, appID_))
            || (hasBar && candidates.contains(FavouritesStore::legacyIdentity(row, appID_))))
            facts.favourite = favourites_.isPinned(row, appID_);
    }
}

bool PopupFilterModel::groupTitleHidden(const ShortcutGroup& group) const
{
    return group.title && hiddenPatternSet_.matches(*group.title);
}

template <typename Visit>
void PopupFilterModel::withFacts(const Shortcut& shortcut, Visit visit) const
{
    if (auto found = factsByRow_.find(shortcut.id); found != factsByRow_.end()) {
        visit(facts_[found->second]);
        return;
    }
    auto facts = factsOf(shortcut);
    facts.favourite = favourites_.pinned().contains(FavouritesStore::identity(shortcut, appID_));
    visit(facts);
}

// --- Filters ---

void PopupFilterModel::setQuery(std::string query)
{
    if (query == query_)
        return;
    query_ = std::move(query);
    normalizedQuery_ = trimmedOfWhiteSpace(query_);
    foldedQuery_ = text::folded(normalizedQuery_);
    queryNamesKey_ = namesKey(foldedQuery_);
    queryHasTwoCharacters_ = hasTwoCharacters(normalizedQuery_);
    filterChanged();
}

void PopupFilterModel::setShowOnlyFavourites(bool on)
{
    if (on == showOnlyFavourites_)
        return;
    showOnlyFavourites_ = on;
    filterChanged();
}

void PopupFilterModel::setToggledModifiers(ModifierSet modifiers)
{
    if (modifiers == toggledModifiers_)
        return;
    toggledModifiers_ = std::move(modifiers);
    filterChanged();
}

void PopupFilterModel::toggleModifier(std::string_view glyph)
{
    auto modifiers = toggledModifiers_;
    if (auto found = modifiers.find(std::string(glyph)); found != modifiers.end())
        modifiers.erase(found);
    else
        modifiers.emplace(glyph);
    setToggledModifiers(std::move(modifiers));
}

void PopupFilterModel::setHeldModifiers(ModifierSet modifiers)
{
    if (modifiers == heldModifiers_)
        return;
    heldModifiers_ = std::move(modifiers);
    filterChanged();
}

PopupFilterModel::ModifierSet PopupFilterModel::modifierFilter() const
{
    auto filter = toggledModifiers_;
    filter.insert(heldModifiers_.begin(), heldModifiers_.end());
    return filter;
}

void PopupFilterModel::toggleFavourite(const Shortcut& shortcut)
{
    if (showOnlyFavourites_)
        selectedIndex_.reset();
    // The store reports the change, which marks the rows and recomputes.
    favourites_.toggle(shortcut, appID_);
}

bool PopupFilterModel::isFavourite(const Shortcut& shortcut) const
{
    bool favourite = false;
    withFacts(shortcut, [&](const RowFacts& facts) { favourite = facts.favourite; });
    return favourite;
}

void PopupFilterModel::setNotice(std::string notice)
{
    if (notice == notice_)
        return;
    notice_ = std::move(notice);
    observers_.notify();
}

void PopupFilterModel::filterChanged()
{
    notice_.clear();
    selectedIndex_.reset();
    readSettings();
    recompute();
    observers_.notify();
}

void PopupFilterModel::readSettings()
{
    alwaysShowFavourites_ = settings_.boolean(keys::alwaysShowFavourites);
    showDeactivatedSystemShortcuts_ = settings_.boolean(keys::showDeactivatedSystemShortcuts);
    requireFilterForAllMenuItems_ = settings_.boolean(keys::requireFilterForAllMenuItems);
}

bool PopupFilterModel::queryMatches(const RowFacts& facts) const
{
    const auto contains = [&](const std::string& folded) { return folded.find(foldedQuery_) != std::string::npos; };
    return foldedQuery_.empty() || contains(facts.texts->foldedTitle) || contains(facts.texts->foldedKeys)
           || (queryNamesKey_ && inKeyWords(facts.texts->foldedKeyWords, foldedQuery_));
}

bool PopupFilterModel::modifiersMatch(const RowFacts& facts) const
{
    return filterModifiers_ == 0 || facts.modifiers == filterModifiers_;
}

// The group test: with an empty query a group under a hidden title only
// counts when it holds a favourite that is always shown.
bool PopupFilterModel::groupContributes(const PlannedGroup& group) const
{
    if (!group.titleHidden || hasQuery())
        return true;
    return alwaysShowFavourites_ && std::any_of(group.rows.begin(), group.rows.end(), [&](const PlannedRow& row) {
               return facts_[row.facts].favourite;
           });
}

// The row test from its second rule on: deactivated rows are the caller's.
bool PopupFilterModel::passesFiltersBeyondDeactivation(const Shortcut& shortcut, const RowFacts& facts) const
{
    if (shortcut.keys.empty() && !showsAllItems_)
        return false;
    if (alwaysShowFavourites_ && facts.favourite)
        return true;
    if (shortcut.isSeparator)
        return false;
    if (!queryMatches(facts) || !modifiersMatch(facts))
        return false;
    if (showOnlyFavourites_ && !facts.favourite)
        return false;
    return hasQuery() || !facts.titleHidden;
}

void PopupFilterModel::recompute()
{
    showsAllItems_ = app_.includesItemsWithoutShortcuts && (!requireFilterForAllMenuItems_ || queryHasTwoCharacters_);
    auto filter = modifierFilter();
    filterModifiers_ = glyphBits(std::vector<std::string>(filter.begin(), filter.end()));

    std::vector<const Shortcut*> visible;
    visible.reserve(visible_.size());
    for (const auto& group : columnPlan_) {
        if (!groupContributes(group))
            continue;
        for (const auto& row : group.rows) {
            if (!row.shortcut->isDisabled && passesFiltersBeyondDeactivation(*row.shortcut, facts_[row.facts]))
                visible.push_back(row.shortcut);
        }
    }
    visible_ = std::move(visible);

    std::size_t total = 0;
    std::size_t matches = 0;
    for (const auto& group : sectionPlan_) {
        const bool contributes = groupContributes(group);
        for (const auto& row : group.rows) {
            const auto& shortcut = *row.shortcut;
            const auto& facts = facts_[row.facts];
            if (shortcut.isSeparator)
                continue;
            if ((!shortcut.keys.empty() || showsAllItems_) && (!showOnlyFavourites_ || facts.favourite)
                && !facts.titleHidden && !group.titleHidden)
                ++total;
            if (contributes && passesFiltersBeyondDeactivation(shortcut, facts))
                ++matches;
        }
    }
    totalCount_ = total;
    matchCount_ = matches;
}

// --- Selection ---

void PopupFilterModel::setSelectedIndex(std::optional<std::size_t> index)
{
    if (index == selectedIndex_)
        return;
    selectedIndex_ = index;
    observers_.notify();
}

const Shortcut* PopupFilterModel::selectedShortcut() const
{
    if (!selectedIndex_ || *selectedIndex_ >= visible_.size())
        return nullptr;
    return visible_[*selectedIndex_];
}

void PopupFilterModel::selectNext()
{
    const auto count = visible_.size();
    if (count == 0)
        return;
    setSelectedIndex(selectedIndex_ ? (*selectedIndex_ + 1) % count : 0);
}

void PopupFilterModel::selectPrevious()
{
    const auto count = visible_.size();
    if (count == 0)
        return;
    const auto current = selectedIndex_.value_or(count);
    setSelectedIndex((current + count - 1) % count);
}

void PopupFilterModel::setDisambiguation(std::optional<DisambiguationState> state)
{
    disambiguation_ = std::move(state);
    observers_.notify();
}

void PopupFilterModel::setDisambiguationFocusedIndex(std::size_t index)
{
    if (index == disambiguationFocusedIndex_)
        return;
    disambiguationFocusedIndex_ = index;
    observers_.notify();
}

void PopupFilterModel::setTipIndex(std::int64_t index)
{
    if (index == tipIndex_)
        return;
    tipIndex_ = index;
    observers_.notify();
}

// --- The views' rules ---

PopupFilterModel::DrawFilter PopupFilterModel::currentFilter() const
{
    return {hasQuery(), hasModifierFilter(), showOnlyFavourites_, showsAllItems_, dimMode()};
}

bool PopupFilterModel::drawsRow(const Shortcut& shortcut) const
{
    return drawsRow(shortcut, currentFilter());
}

bool PopupFilterModel::drawsRow(const Shortcut& shortcut, const DrawFilter& filter) const
{
    bool drawn = false;
    withFacts(shortcut, [&](const RowFacts& facts) {
        // Without a query or modifier filter every row passes them.
        const bool passes = (!filter.query || queryMatches(facts)) && (!filter.modifiers || modifiersMatch(facts));
        if (shortcut.isSeparator) {
            drawn = filter.dim || (!filter.query && !filter.modifiers && !filter.favouritesOnly);
        } else if (shortcut.keys.empty() && !filter.showsAllItems) {
            drawn = false;
        } else if (shortcut.isDisabled) {
            drawn = showDeactivatedSystemShortcuts_ && (!filter.query || queryMatches(facts));
        } else if (alwaysShowFavourites_ && facts.favourite) {
            drawn = true;
        } else if (facts.titleHidden) {
            drawn = filter.query && passes;
        } else if (filter.favouritesOnly && !facts.favourite) {
            drawn = false;
        } else {
            drawn = filter.dim || passes;
        }
    });
    return drawn;
}

bool PopupFilterModel::drawsGroup(const ShortcutGroup& group) const
{
    return drawsGroup(group, currentFilter());
}

bool PopupFilterModel::drawsGroup(const ShortcutGroup& group, const DrawFilter& filter) const
{
    const auto& rows = group.shortcuts;
    auto found = hiddenGroups_.find(group.id);
    const bool titleHidden = found != hiddenGroups_.end() ? found->second : groupTitleHidden(group);
    if (!titleHidden)
        return std::any_of(rows.begin(), rows.end(), [&](const Shortcut& row) { return drawsRow(row, filter); });
    if (!filter.query)
        return alwaysShowFavourites_
               && std::any_of(rows.begin(), rows.end(), [&](const Shortcut& row) { return isFavourite(row); });
    return std::any_of(rows.begin(), rows.end(), [&](const Shortcut& row) {
        bool matches = false;
        withFacts(row, [&](const RowFacts& facts) { matches = queryMatches(facts); });
        return matches;
    });
}

bool PopupFilterModel::drawsSection(const MenuSection& section) const
{
    return !drawnLines(section).empty();
}

std::vector<PopupFilterModel::DrawnLine> PopupFilterModel::drawnLines(const MenuSection& section) const
{
    return linesOf(section, currentFilter());
}

std::vector<PopupFilterModel::DrawnLine> PopupFilterModel::unfilteredLines(const MenuSection& section) const
{
    const bool showsAllItems = app_.includesItemsWithoutShortcuts && !requireFilterForAllMenuItems_;
    return linesOf(section, DrawFilter{false, false, false, showsAllItems, fitsWithoutScrolling_});
}

std::vector<PopupFilterModel::DrawnLine> PopupFilterModel::linesOf(const MenuSection& section,
                                                                   const DrawFilter& filter) const
{
    using Kind = DrawnLine::Kind;
    std::vector<DrawnLine> lines;
    for (const auto& group : section.groups) {
        if (!drawsGroup(group, filter))
            continue;
        const std::size_t start = lines.size();
        if (group.title)
            lines.push_back({Kind::groupTitle, &*group.title, nullptr});
        const std::size_t firstRow = lines.size();
        // A separator is drawn once a row follows it, and only after a row.
        const Shortcut* pendingSeparator = nullptr;
        for (const auto& row : group.shortcuts) {
            if (!drawsRow(row, filter))
                continue;
            if (row.isSeparator) {
                if (lines.size() > firstRow)
                    pendingSeparator = &row;
                continue;
            }
            if (pendingSeparator)
                lines.push_back({Kind::separator, nullptr, std::exchange(pendingSeparator, nullptr)});
            lines.push_back({Kind::row, nullptr, &row});
        }
        if (lines.size() == firstRow)
            lines.resize(start);
    }
    if (!lines.empty())
        lines.insert(lines.begin(), DrawnLine{Kind::sectionTitle, &section.title, nullptr});
    return lines;
}

std::string PopupFilterModel::noMatchText() const
{
    std::vector<std::string> wideners;
    if (hasQuery())
        wideners.push_back("clear the search text");
    if (hasModifierFilter())
        wideners.push_back(heldModifiers_.empty() ? "switch off the modifier keys" : "release the modifier keys");
    if (showOnlyFavourites_)
        wideners.push_back("show more than favourites");
    std::string advice;
    for (std::size_t i = 0; i < wideners.size(); ++i) {
        if (i > 0)
            advice += i + 1 == wideners.size() ? " or " : ", ";
        advice += wideners[i];
    }
    if (advice.empty())
        return "Nothing to show.";
    advice[0] = char(std::toupper(static_cast<unsigned char>(advice[0])));
    const bool onlyFavourites = showOnlyFavourites_ && !hasQuery() && !hasModifierFilter();
    return std::string(onlyFavourites ? "No favourites here yet." : "Nothing matches.") + " " + advice
           + " to see more.";
}

bool PopupFilterModel::dimsRow(const Shortcut& shortcut) const
{
    if (shortcut.isSeparator)
        return false;
    if (shortcut.isDisabled)
        return true;
    bool dimmed = false;
    withFacts(shortcut, [&](const RowFacts& facts) {
        if (alwaysShowFavourites_ && facts.favourite)
            dimmed = false;
        else
            dimmed = dimMode()
                     && ((hasQuery() && !queryMatches(facts))
                         || (hasModifierFilter() && facts.modifiers != filterModifiers_));
    });
    return dimmed;
}

bool PopupFilterModel::isConflicted(const Shortcut& shortcut) const
{
    return !shortcut.keys.empty() && conflictingKeys_.contains(shortcut.keys);
}

bool PopupFilterModel::isSelected(const Shortcut& shortcut) const
{
    const auto* selected = selectedShortcut();
    return selected && selected->id == shortcut.id;
}

std::string PopupFilterModel::headerText() const
{
    if (hasQuery() || hasModifierFilter())
        return fmt::format("{} of {}", matchCount_, totalCount_);
    const char* noun = showsAllItems_ ? "menu item" : "shortcut";
    return fmt::format("{} {}{}", totalCount_, noun, totalCount_ == 1 ? "" : "s");
}

} // namespace hb
