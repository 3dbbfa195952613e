#include "popup/popup_filter_model.h"

#include "fake/memory_settings_domain.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/model_builders.h"

#include <memory>

using namespace hb;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

using hb::test::group;
using hb::test::row;
using hb::test::section;

Shortcut deactivated(std::string title, std::string keys)
{
    return Shortcut{.title = std::move(title), .keys = std::move(keys), .isDisabled = true};
}

AppShortcuts application(std::vector<MenuSection> sections, bool includesAll = false)
{
    return {.appName = "Editor",
            .bundleIdentifier = "org.example.editor",
            .sections = std::move(sections),
            .includesItemsWithoutShortcuts = includesAll};
}

std::vector<std::string> titles(const PopupFilterModel& model)
{
    std::vector<std::string> result;
    for (const auto* shortcut : model.visibleShortcuts())
        result.push_back(shortcut->title);
    return result;
}

const Shortcut& find(const PopupFilterModel& model, std::string_view title)
{
    return test::rowTitled(model.app().sections, title);
}

class PopupFilterModelTest : public testing::Test {
protected:
    std::unique_ptr<PopupFilterModel> model(AppShortcuts app, bool fitsWithoutScrolling = false)
    {
        PopupFilterModel::Columns columns{app.sections};
        return std::make_unique<PopupFilterModel>(std::move(app), std::move(columns), fitsWithoutScrolling, settings,
                                                  favourites, ignoreList);
    }
    void hideWhileNotSearching(std::vector<std::string> patterns)
    {
        for (const auto& pattern : patterns)
            ignoreList.addGlobalRule(pattern);
        ignoreList.setEnabled(true);
        ignoreList.setShowWhenFiltering(true);
    }

    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
};

AppShortcuts editor()
{
    return application({section("File", {group(std::nullopt, {row("New Window", "⌘N"), row("New Tab", "⇧⌘N"),
                                                              Shortcut::separator(), row("Renew", "⌃R")})}),
                        section("Edit", {group(std::nullopt, {row("Café Crème", "⌥C"), row("Close", "⇧⌘W")})})});
}

using Table = std::vector<std::pair<std::string, std::vector<std::string>>>;

void expectQueries(PopupFilterModel& m, const Table& table)
{
    for (const auto& [query, expected] : table) {
        m.setQuery(query);
        EXPECT_EQ(titles(m), expected) << query;
    }
}

TEST_F(PopupFilterModelTest, QueryMatchesTitleOrKeysIgnoringCaseAndDiacritics)
{
    auto m = model(editor());
    expectQueries(*m, {
                          {"new", {"New Window", "New Tab", "Renew"}},
                          {"cafe creme", {"Café Crème"}},
                          {"CAFÉ", {"Café Crème"}},
                          // Key text is one needle: ⌘N is inside ⇧⌘N, ⇧⌘N is not inside ⌘N.
                          {"⇧⌘N", {"New Tab"}},
                          {"⌘n", {"New Window", "New Tab"}},
                          // A combination matches keys as their words too, as users of those labels type them.
                          {"ctrl", {}},
                          {"ctrl+r", {"Renew"}},
                          {"window new", {}}, // no splitting into words
                          {"  NEW\t", {"New Window", "New Tab", "Renew"}},
                      });
    EXPECT_EQ(m->normalizedQuery(), "NEW");

    auto keysByName = model(application(
        {section("View", {group(std::nullopt, {row("Next Tab", "⌃⇟"), row("Previous Tab", "⌃⇞"), row("Save", "⌃S"),
                                               row("Save As…", "⌃⇧S"), row("Scroll Up", "⌥↑"), row("Lookup", "⌘L"),
                                               row("Sum", "⌃⌥U")})})}));
    expectQueries(*keysByName,
                  {
                      {"page", {"Next Tab", "Previous Tab"}},
                      {"page up", {"Previous Tab"}},
                      {"ctrl+page down", {"Next Tab"}},
                      {"up", {"Previous Tab", "Scroll Up", "Lookup"}},       // the keys Page Up and Up, and a title
                      {"ctrl+s", {"Save"}},                                  // not Ctrl+Shift+S
                      {"ctrl shift", {}},                                    // modifiers alone: the chips' job
                      {"u", {"Previous Tab", "Scroll Up", "Lookup", "Sum"}}, // one letter: not key words
                  });
}

TEST_F(PopupFilterModelTest, ModifierFilterNeedsTheExactSetAndNoMatchTextNamesTheFiltersToClear)
{
    auto m = model(application(
        {section("Edit", {group(std::nullopt, {row("Copy", "⌘C"), row("Copy Style", "⌥⌘C"), row("Capitalise", "⇧⌘C"),
                                               row("Reload", "F5"), row("Shift Only", "⇧A")})})}));
    m->toggleModifier("⌘");
    EXPECT_THAT(titles(*m), ElementsAre("Copy"));
    m->setHeldModifiers({"⇧"});
    EXPECT_EQ(m->modifierFilter(), (PopupFilterModel::ModifierSet{"⌘", "⇧"}));
    EXPECT_THAT(titles(*m), ElementsAre("Capitalise"));
    m->toggleModifier("⌘");
    EXPECT_TRUE(m->toggledModifiers().empty());
    EXPECT_THAT(titles(*m), ElementsAre("Shift Only"));
    m->setHeldModifiers({});
    EXPECT_FALSE(m->hasModifierFilter());
    EXPECT_EQ(titles(*m).size(), 5u);

    // Holding what is toggled changes nothing in the filter.
    m->setToggledModifiers({"⌥", "⌘"});
    m->setHeldModifiers({"⌘"});
    EXPECT_THAT(titles(*m), ElementsAre("Copy Style"));
    // Query and modifiers both apply.
    m->setQuery("style");
    EXPECT_THAT(titles(*m), ElementsAre("Copy Style"));
    m->setQuery("capital");
    EXPECT_THAT(titles(*m), IsEmpty());

    m = model(editor());
    m->setQuery("zzz");
    m->toggleModifier("⌘");
    m->setShowOnlyFavourites(true);
    EXPECT_EQ(m->noMatchText(), "Nothing matches. Clear the search text, switch off the modifier keys or show more "
                                "than favourites to see more.");
    m->setQuery("");
    m->toggleModifier("⌘");
    m->setHeldModifiers({"⌥"});
    EXPECT_THAT(m->noMatchText(), testing::StartsWith("Nothing matches. Release the modifier keys or"));
    m->setHeldModifiers({});
    EXPECT_THAT(m->noMatchText(), testing::StartsWith("No favourites here yet."));
}

TEST_F(PopupFilterModelTest, ItemsWithoutShortcutFollowIncludeAllAndTheRequiredQuery)
{
    const auto content = [](bool includesAll = true) {
        return application({section("View", {group(std::nullopt, {row("Show Ruler"), row("Zoom In", "⌘+")})})},
                           includesAll);
    };
    auto m = model(content());
    EXPECT_TRUE(m->showsAllItems());
    EXPECT_THAT(titles(*m), ElementsAre("Show Ruler", "Zoom In"));
    EXPECT_EQ(m->headerText(), "2 menu items");

    settings.set(keys::requireFilterForAllMenuItems, true);
    m = model(content());
    EXPECT_THAT(titles(*m), ElementsAre("Zoom In"));
    EXPECT_EQ(m->headerText(), "1 shortcut");
    m->setQuery("s");
    EXPECT_THAT(titles(*m), IsEmpty());
    m->setQuery("e\u0301"); // one character in two code points
    EXPECT_FALSE(m->showsAllItems());
    m->setQuery("sh");
    EXPECT_THAT(titles(*m), ElementsAre("Show Ruler"));
    EXPECT_EQ(m->headerText(), "1 of 2");

    auto noIncludeAll = model(content(false));
    noIncludeAll->setQuery("show");
    EXPECT_THAT(titles(*noIncludeAll), IsEmpty());
}

AppShortcuts windowMenu()
{
    return application({section("Window", {group(std::nullopt, {row("Minimize", "⌘M"), row("Zoom", "⌃Z")}),
                                           group("Arrange", {row("Left", "⌃←"), row("Right", "⌃→")})})});
}

TEST_F(PopupFilterModelTest, HiddenPatternsHideCommandsAndSubmenusUntilSearched)
{
    auto unaffected = model(windowMenu());
    EXPECT_THAT(unaffected->hiddenPatterns(), IsEmpty()) << "the ignore list is off";
    EXPECT_EQ(titles(*unaffected).size(), 4u);

    hideWhileNotSearching({"Minimize", "Arr?nge"});
    auto m = model(windowMenu());
    const auto& arrange = m->app().sections[0].groups[1];
    EXPECT_THAT(titles(*m), ElementsAre("Zoom"));
    EXPECT_FALSE(m->drawsRow(find(*m, "Minimize")));
    EXPECT_FALSE(m->drawsGroup(arrange));
    EXPECT_EQ(m->headerText(), "1 shortcut");

    m->setQuery("   ");
    EXPECT_FALSE(m->hasQuery());
    EXPECT_THAT(titles(*m), ElementsAre("Zoom")) << "spaces are no search: the patterns still hide";
    m->setQuery("mini");
    EXPECT_THAT(titles(*m), ElementsAre("Minimize"));
    EXPECT_TRUE(m->drawsRow(find(*m, "Minimize")));
    EXPECT_EQ(m->headerText(), "1 of 1") << "the total leaves hidden rows out";

    m->setQuery("left");
    EXPECT_THAT(titles(*m), ElementsAre("Left"));
    EXPECT_TRUE(m->drawsGroup(arrange));
    EXPECT_TRUE(m->drawsSection(m->app().sections[0]));
}

TEST_F(PopupFilterModelTest, AlwaysShownFavouritesSurviveEveryFilter)
{
    hideWhileNotSearching({"Minimize", "Arrange"});
    settings.set(keys::alwaysShowFavourites, true);
    auto m = model(windowMenu());
    m->toggleFavourite(find(*m, "Minimize"));
    m->toggleFavourite(find(*m, "Left"));
    EXPECT_TRUE(favourites.isPinned(find(*m, "Left"), "org.example.editor"));
    // A pinned row lifts its hidden submenu, whose other rows come with it.
    EXPECT_THAT(titles(*m), ElementsAre("Minimize", "Zoom", "Left", "Right"));
    EXPECT_TRUE(m->drawsGroup(m->app().sections[0].groups[1]));

    m->setQuery("no such command");
    EXPECT_THAT(titles(*m), ElementsAre("Minimize", "Left"));
    m->setQuery("");
    m->setShowOnlyFavourites(true);
    EXPECT_THAT(titles(*m), ElementsAre("Minimize", "Left"));
    EXPECT_EQ(m->headerText(), "0 shortcuts") << "hidden favourites are not in the total";

    // Without the setting favourites obey the filters like other rows.
    settings.set(keys::alwaysShowFavourites, false);
    m->setShowOnlyFavourites(false);
    m->setShowOnlyFavourites(true);
    EXPECT_THAT(titles(*m), IsEmpty());
}

TEST_F(PopupFilterModelTest, FavouritesOnlyAndToggling)
{
    auto m = model(editor());
    m->setShowOnlyFavourites(true);
    EXPECT_THAT(titles(*m), IsEmpty());
    m->toggleFavourite(find(*m, "Close"));
    EXPECT_THAT(titles(*m), ElementsAre("Close"));
    m->setSelectedIndex(0);
    m->toggleFavourite(find(*m, "Renew"));
    EXPECT_FALSE(m->selectedIndex());
    EXPECT_THAT(titles(*m), ElementsAre("Renew", "Close"));

    // A change from elsewhere (synchronisation) reaches the open model.
    settings.set(keys::pinnedShortcuts, platform::PlistArray{});
    favourites.reload();
    EXPECT_THAT(titles(*m), IsEmpty());

    // Favourites are kept under the application's name when it has no identifier.
    auto app = editor();
    app.bundleIdentifier.reset();
    auto unnamed = model(std::move(app));
    EXPECT_EQ(unnamed->appID(), "Editor");
}

TEST_F(PopupFilterModelTest, FoldsMadeWhenReadServeOnlyWhileTheTextsAreUnchanged)
{
    hideWhileNotSearching({"Secret*"});
    auto app = editor();
    auto& rows = app.sections[1].groups[0].shortcuts;
    for (auto& shortcut : rows)
        shortcut.foldTexts();
    rows[0].title = "Secret Café"; // renamed and given other keys after it was read
    rows[1].keys = "⌥⌘K";
    auto copied = rows[0];
    auto m = model(std::move(app));
    EXPECT_THAT(titles(*m), ElementsAre("New Window", "New Tab", "Renew", "Close"));
    m->setQuery("secret cafe");
    EXPECT_THAT(titles(*m), ElementsAre("Secret Café"));
    m->setQuery("⌥⌘k");
    EXPECT_THAT(titles(*m), ElementsAre("Close"));
    EXPECT_EQ(copied.currentFolds(), nullptr) << "folds of the old title serve no copy";
}

TEST_F(PopupFilterModelTest, ConflictsAreKeysUsedTwiceAcrossTheWholeApplication)
{
    const auto content = [] {
        return application(
            {section("File", {group(std::nullopt, {row("Revert", "⌘R"), row("Print"), row("Open", "⌘O")})}),
             section("View", {group("Sub", {row("Reload", "⌘R"), row("Plain")}),
                              group(std::nullopt, {deactivated("Old", "⌘O")})})});
    };
    auto off = model(content());
    EXPECT_THAT(off->cachedConflictingKeys(), IsEmpty());

    settings.set(keys::showConflictIndicator, true);
    auto m = model(content());
    EXPECT_EQ(m->cachedConflictingKeys(), (std::set<std::string>{"⌘O", "⌘R"}));
    EXPECT_TRUE(m->isConflicted(find(*m, "Open"))) << "deactivated rows count";
    EXPECT_FALSE(m->isConflicted(find(*m, "Print")));
}

TEST_F(PopupFilterModelTest, HeaderCountsTotalAndMatches)
{
    hideWhileNotSearching({"Minimize"});
    auto app = windowMenu();
    app.sections.push_back(section("System", {group(std::nullopt, {deactivated("Spaces", "⌃↑"), row("Lock", "⌃⌘Q")})}));
    auto m = model(std::move(app));
    // Zoom, Left, Right, Spaces, Lock; Minimize is hidden.
    EXPECT_EQ(m->totalCount(), 5u);
    EXPECT_EQ(m->headerText(), "5 shortcuts");

    m->toggleModifier("⌃");
    // Zoom, Left, Right, Spaces; deactivated rows count as matches.
    EXPECT_EQ(m->matchCount(), 4u);
    EXPECT_EQ(m->headerText(), "4 of 5");
    EXPECT_THAT(titles(*m), ElementsAre("Zoom", "Left", "Right"));

    m->setQuery("mini");
    m->toggleModifier("⌃");
    EXPECT_EQ(m->headerText(), "1 of 5");
}

TEST_F(PopupFilterModelTest, SelectionWrapsFollowsTheColumnsAndIsClearedByEveryFilterChange)
{
    auto m = model(editor());
    int changes = 0;
    m->addObserver([&] { ++changes; });
    m->selectNext();
    EXPECT_EQ(m->selectedShortcut()->title, "New Window");
    m->selectPrevious();
    EXPECT_EQ(m->selectedShortcut()->title, "Close");
    m->selectPrevious();
    EXPECT_TRUE(m->isSelected(find(*m, "Café Crème")));
    EXPECT_EQ(changes, 3);

    m->setQuery("");
    m->setHeldModifiers({});
    m->setShowOnlyFavourites(false);
    EXPECT_EQ(changes, 3) << "equal values change nothing";
    EXPECT_TRUE(m->selectedIndex());

    for (auto change : std::vector<std::function<void()>>{[&] { m->setQuery("c"); }, [&] { m->toggleModifier("⌘"); },
                                                          [&] { m->setHeldModifiers({"⌘"}); },
                                                          [&] { m->setShowOnlyFavourites(true); }}) {
        m->setSelectedIndex(0);
        change();
        EXPECT_FALSE(m->selectedIndex());
    }
    m->setSelectedIndex(9);
    EXPECT_EQ(m->selectedShortcut(), nullptr);

    auto app = editor();
    PopupFilterModel::Columns columns{{app.sections[1]}, {app.sections[0]}};
    PopupFilterModel byColumns(std::move(app), std::move(columns), false, settings, favourites, ignoreList);
    EXPECT_THAT(titles(byColumns), ElementsAre("Café Crème", "Close", "New Window", "New Tab", "Renew"));
}

TEST_F(PopupFilterModelTest, ViewsDimInsteadOfHidingWhenEverythingFits)
{
    settings.set(keys::showDeactivatedSystemShortcuts, true);
    auto app = editor();
    app.sections.push_back(section("System", {group(std::nullopt, {deactivated("Spaces", "⌃↑")})}));
    auto m = model(std::move(app), true);
    const auto& separator = m->app().sections[0].groups[0].shortcuts[2];
    const auto& spaces = find(*m, "Spaces");
    EXPECT_TRUE(m->dimMode());
    EXPECT_FALSE(m->dimsRow(separator));
    EXPECT_TRUE(m->drawsRow(spaces));
    EXPECT_TRUE(m->dimsRow(spaces));
    EXPECT_FALSE(m->dimsRow(find(*m, "Close")));
    EXPECT_THAT(titles(*m), testing::Not(testing::Contains("Spaces"))) << "the keyboard skips deactivated rows";

    m->setShowOnlyFavourites(true);
    EXPECT_FALSE(m->drawsRow(find(*m, "Close")));
    EXPECT_TRUE(m->drawsRow(separator)) << "dim mode draws separators";

    m->setQuery("spa");
    EXPECT_FALSE(m->dimMode());
    EXPECT_FALSE(m->drawsRow(separator));
    EXPECT_TRUE(m->drawsRow(spaces));

    settings.set(keys::showDeactivatedSystemShortcuts, false);
    m->setQuery("sp");
    EXPECT_FALSE(m->drawsRow(spaces));
}

// The drawn lines of a section as "# title" (menu), "## title" (submenu), "---" and row titles.
std::vector<std::string> lines(const std::vector<PopupFilterModel::DrawnLine>& drawn)
{
    using enum PopupFilterModel::DrawnLine::Kind;
    std::vector<std::string> result;
    for (const auto& line : drawn)
        result.push_back(line.kind == sectionTitle ? "# " + *line.title
                         : line.kind == groupTitle ? "## " + *line.title
                         : line.kind == separator  ? std::string("---")
                                                   : line.shortcut->title);
    return result;
}

TEST_F(PopupFilterModelTest, SeparatorsStandOnlyBetweenDrawnRowsAndTitlesOnlyOverThem)
{
    const auto sep = [] { return Shortcut::separator(); };
    // What a menu read leaves of a menu whose items have no keys: separators with nothing between.
    auto m = model(application(
        {section("File", {group(std::nullopt, {sep(), row("New", "⌘N"), sep(), sep(), row("Open", "⌘O"), sep()}),
                          group("Recent", {sep(), sep()}), group("Export", {row("PDF", "⇧⌘E"), sep()})}),
         section("Tabs", {group("Size", {sep(), sep()})})}));
    EXPECT_THAT(lines(m->drawnLines(m->app().sections[0])),
                ElementsAre("# File", "New", "---", "Open", "## Export", "PDF"));
    EXPECT_THAT(lines(m->drawnLines(m->app().sections[1])), IsEmpty());
    EXPECT_FALSE(m->drawsSection(m->app().sections[1]));

    // Favourites only, one star: its row under its titles, nothing else.
    m->toggleFavourite(find(*m, "PDF"));
    m->setShowOnlyFavourites(true);
    EXPECT_THAT(lines(m->drawnLines(m->app().sections[0])), ElementsAre("# File", "## Export", "PDF"));
    EXPECT_EQ(m->headerText(), "1 shortcut");
    // The whole list, which the panel is sized for, is the same under any filter.
    m->setQuery("zzz");
    m->setHeldModifiers({"⌘"});
    EXPECT_THAT(lines(m->drawnLines(m->app().sections[0])), IsEmpty());
    EXPECT_THAT(lines(m->unfilteredLines(m->app().sections[0])),
                ElementsAre("# File", "New", "---", "Open", "## Export", "PDF"));
}

} // namespace
