#pragma once

#include "base/observer_list.h"
#include "model/shortcut.h"
#include "model/text.h"
#include "platform/settings_domain.h"
#include "popup/disambiguation.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace hb {

// The state behind one showing of the shortcut list: search text, modifier
// filter, favourites-only switch and keyboard selection, the rows the keyboard
// walks, and the rules by which the views draw and dim rows. Rows' pattern
// matches and favourite marks are worked out once per showing, and their
// folded texts once per menu read (rows of other sources are folded here), so
// that a keystroke costs one linear pass. Main thread only.
class PopupFilterModel {
public:
    using Columns = std::vector<std::vector<MenuSection>>;
    using ModifierSet = std::set<std::string>; // of the glyphs ⌃ ⌥ ⇧ ⌘

    // `columns` hold the sections of `app` as laid out; the keyboard order
    // follows them. The model observes the favourites store while it lives.
    PopupFilterModel(AppShortcuts app, Columns columns, bool fitsWithoutScrolling, platform::SettingsDomain& settings,
                     FavouritesStore& favourites, const IgnoreListStore& ignoreList);
    ~PopupFilterModel();
    PopupFilterModel(const PopupFilterModel&) = delete;
    PopupFilterModel& operator=(const PopupFilterModel&) = delete;

    // A newer read of the same application, laid out again. The search text,
    // the filters and the selected row (while a row with its id is still
    // visible) stay; the observers hear of it once.
    void replaceRows(AppShortcuts app, Columns columns);
    // Counts the replacements: rows of an older count are gone.
    std::uint64_t rowsGeneration() const { return rowsGeneration_; }

    const AppShortcuts& app() const { return app_; }
    const Columns& columns() const { return columns_; }
    bool fitsWithoutScrolling() const { return fitsWithoutScrolling_; }
    // The width of each column as laid out; zero leaves it to the view.
    double columnWidth() const { return columnWidth_; }
    void setColumnWidth(double width) { columnWidth_ = width; }
    // The bundle identifier, else the application name: the favourites' key.
    const std::string& appID() const { return appID_; }
    const std::set<std::string>& cachedConflictingKeys() const { return conflictingKeys_; }
    const std::vector<std::string>& hiddenPatterns() const { return hiddenPatterns_; }

    // Setting a value equal to the current one changes nothing; any other
    // filter change clears the selection and recomputes the visible rows.
    const std::string& query() const { return query_; }
    void setQuery(std::string query);
    bool showOnlyFavourites() const { return showOnlyFavourites_; }
    void setShowOnlyFavourites(bool on);
    const ModifierSet& toggledModifiers() const { return toggledModifiers_; }
    void setToggledModifiers(ModifierSet modifiers);
    void toggleModifier(std::string_view glyph);
    const ModifierSet& heldModifiers() const { return heldModifiers_; }
    void setHeldModifiers(ModifierSet modifiers);

    // Pins or unpins the row for this application.
    void toggleFavourite(const Shortcut& shortcut);
    bool isFavourite(const Shortcut& shortcut) const;

    // The rows the keyboard walks, in column order; they point into `columns`.
    const std::vector<const Shortcut*>& visibleShortcuts() const { return visible_; }
    std::optional<std::size_t> selectedIndex() const { return selectedIndex_; }
    void setSelectedIndex(std::optional<std::size_t> index);
    // Absent when nothing is selected or the index is out of range.
    const Shortcut* selectedShortcut() const;
    // Move the selection one row on or back, wrapping; from no selection they
    // take the first or the last row.
    void selectNext();
    void selectPrevious();

    // The choice shown over the list, and its focused option.
    const std::optional<DisambiguationState>& disambiguation() const { return disambiguation_; }
    void setDisambiguation(std::optional<DisambiguationState> state);
    std::size_t disambiguationFocusedIndex() const { return disambiguationFocusedIndex_; }
    void setDisambiguationFocusedIndex(std::size_t index);

    std::int64_t tipIndex() const { return tipIndex_; }
    void setTipIndex(std::int64_t index);

    // Why the row just chosen was not run (its keys are the user's to press,
    // its item is disabled); empty otherwise. A change of the filters clears it.
    const std::string& notice() const { return notice_; }
    void setNotice(std::string notice);

    // The query without surrounding white space.
    const std::string& normalizedQuery() const { return normalizedQuery_; }
    bool hasQuery() const { return !normalizedQuery_.empty(); }
    ModifierSet modifierFilter() const;
    bool hasModifierFilter() const { return !toggledModifiers_.empty() || !heldModifiers_.empty(); }
    // Whether rows without a key combination take part.
    bool showsAllItems() const { return showsAllItems_; }
    // The whole list is on screen and unfiltered, so rows are dimmed rather than hidden.
    bool dimMode() const { return fitsWithoutScrolling_ && !hasQuery() && !hasModifierFilter(); }

    // The views' rules: a row is drawn only inside a drawn group.
    bool drawsSection(const MenuSection& section) const;
    bool drawsGroup(const ShortcutGroup& group) const;
    bool drawsRow(const Shortcut& shortcut) const;

    // One line of a drawn section, top to bottom.
    struct DrawnLine {
        enum class Kind { sectionTitle, groupTitle, row, separator };
        Kind kind;
        const std::string* title = nullptr; // section and group titles
        const Shortcut* shortcut = nullptr; // rows and separators
    };
    // The lines of a section as drawn now: a group's title only over a drawn
    // row of it, and a separator only between two drawn rows of its group,
    // never two in a row. Empty when no row of the section is drawn.
    std::vector<DrawnLine> drawnLines(const MenuSection& section) const;
    // The same without search text, modifier filter or favourites-only: the
    // whole list, which the panel is sized for.
    std::vector<DrawnLine> unfilteredLines(const MenuSection& section) const;
    // What to say when the filters leave no row: which of them to clear.
    std::string noMatchText() const;
    bool dimsRow(const Shortcut& shortcut) const;
    bool isConflicted(const Shortcut& shortcut) const;
    bool isSelected(const Shortcut& shortcut) const;

    // Rows regardless of query and modifiers, and rows that pass them.
    std::size_t totalCount() const { return totalCount_; }
    std::size_t matchCount() const { return matchCount_; }
    std::string headerText() const;

    // Called after every change of the model's state.
    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    // What the drawing rules consult besides the row itself.
    struct DrawFilter {
        bool query;
        bool modifiers;
        bool favouritesOnly;
        bool showsAllItems;
        bool dim;
    };
    DrawFilter currentFilter() const;
    bool drawsRow(const Shortcut& shortcut, const DrawFilter& filter) const;
    bool drawsGroup(const ShortcutGroup& group, const DrawFilter& filter) const;
    std::vector<DrawnLine> linesOf(const MenuSection& section, const DrawFilter& filter) const;

    // What the filters ask of a row, worked out once per showing.
    struct RowFacts {
        const Shortcut* row; // the first row seen with this id
        std::shared_ptr<const FoldedTexts> texts;
        unsigned modifiers = 0;   // glyph bits
        bool titleHidden = false; // the title matches a hidden pattern
        bool favourite = false;
    };
    struct PlannedRow {
        const Shortcut* shortcut;
        std::size_t facts;
    };
    struct PlannedGroup {
        bool titleHidden = false;
        std::vector<PlannedRow> rows;
    };

    // Everything the showing works out once from its rows.
    void planShowing();
    void planRows();
    void plan(const std::vector<MenuSection>& sections, std::vector<PlannedGroup>& groups);
    std::size_t factsIndex(const Shortcut& shortcut);
    RowFacts factsOf(const Shortcut& shortcut) const;
    void refreshFavourites();
    void markFavourites();

    // Settings that the rules read at the moment of use.
    void readSettings();
    void filterChanged();
    void recompute();

    bool queryMatches(const RowFacts& facts) const;
    bool modifiersMatch(const RowFacts& facts) const;
    bool groupContributes(const PlannedGroup& group) const;
    bool passesFiltersBeyondDeactivation(const Shortcut& shortcut, const RowFacts& facts) const;
    bool groupTitleHidden(const ShortcutGroup& group) const;
    template <typename Visit>
    void withFacts(const Shortcut& shortcut, Visit visit) const;

    AppShortcuts app_;
    Columns columns_;
    bool fitsWithoutScrolling_;
    double columnWidth_ = 0;
    platform::SettingsDomain& settings_;
    FavouritesStore& favourites_;
    std::string appID_;
    std::set<std::string> conflictingKeys_;
    std::vector<std::string> hiddenPatterns_;
    text::PatternSet hiddenPatternSet_;

    std::vector<RowFacts> facts_;
    std::unordered_map<Uuid, std::size_t> factsByRow_;
    std::unordered_map<Uuid, bool> hiddenGroups_;
    std::vector<PlannedGroup> columnPlan_;
    std::vector<PlannedGroup> sectionPlan_;

    std::string query_;
    std::string normalizedQuery_;
    std::string foldedQuery_;
    bool queryNamesKey_ = false; // "page up", "ctrl+s": also matched against keys as words
    bool queryHasTwoCharacters_ = false;
    bool showOnlyFavourites_ = false;
    ModifierSet toggledModifiers_;
    ModifierSet heldModifiers_;
    unsigned filterModifiers_ = 0;
    std::optional<std::size_t> selectedIndex_;
    std::int64_t tipIndex_ = 0;
    std::string notice_;
    std::optional<DisambiguationState> disambiguation_;
    std::size_t disambiguationFocusedIndex_ = 0;

    bool alwaysShowFavourites_ = false;
    bool showDeactivatedSystemShortcuts_ = false;
    bool requireFilterForAllMenuItems_ = false;
    bool showsAllItems_ = false;

    std::vector<const Shortcut*> visible_;
    std::uint64_t rowsGeneration_ = 0;
    std::size_t totalCount_ = 0;
    std::size_t matchCount_ = 0;

    platform::ObserverList<> observers_;
    platform::ObserverList<>::Id favouritesObservation_ = 0;
    bool refreshingFavourites_ = false;
};

} // namespace hb
