#include "popup/popup_layout.h"

#include "fake/fake_screens.h"
#include "fake/fake_workspace.h"

#include <gtest/gtest.h>

#include "support/model_builders.h"

#include <string>

namespace hb::layout {
namespace {

using hb::test::row;
using hb::test::section;

using platform::Point;
using platform::Rect;
using platform::Size;

ShortcutGroup group(std::optional<std::string> title, int rows, const std::string& prefix = "Item")
{
    ShortcutGroup g;
    g.title = std::move(title);
    for (int i = 0; i < rows; ++i)
        g.shortcuts.push_back(row(prefix + " " + std::to_string(i), "⌘X"));
    return g;
}

MenuSection oneGroupSection(std::string title, int rows)
{
    return section(std::move(title), {group({}, rows)});
}

// Sections "Menu 0", "Menu 1"… of one group with the given numbers of rows.
std::vector<MenuSection> sectionsOf(const std::vector<int>& rows)
{
    std::vector<MenuSection> sections;
    for (std::size_t i = 0; i < rows.size(); ++i)
        sections.push_back(oneGroupSection("Menu " + std::to_string(i), rows[i]));
    return sections;
}

std::vector<std::size_t> sizes(const Columns& columns)
{
    std::vector<std::size_t> result;
    for (const auto& column : columns)
        result.push_back(column.size());
    return result;
}

std::vector<std::string> titles(const MenuSection& s)
{
    std::vector<std::string> result;
    for (const auto& g : s.groups)
        for (const auto& shortcut : g.shortcuts)
            result.push_back(shortcut.title);
    return result;
}

AppShortcuts appWith(std::vector<MenuSection> sections)
{
    return {.appName = "Editor", .sections = std::move(sections)};
}

const Rect wideScreen{{0, 0}, {1440, 1000}};
constexpr auto appWindow = PopupDisplayMode::activeAppWindow;
constexpr auto mouse = PopupDisplayMode::mouseCursor;
constexpr auto mainDisplay = PopupDisplayMode::mainDisplay;

TEST(PopupLayout, ColumnsWidenToTheirRowsWhereTheScreenHasRoom)
{
    // Eight sections of six rows (164 points each): four columns on a 1280-point screen at the narrowest width.
    const auto app = appWith(sectionsOf(std::vector(8, 6)));
    struct Case {
        const char* name;
        double wanted;
        double screenHeight;
        std::size_t columns;
        double columnWidth;
    };
    const Case cases[] = {
        {"narrow rows keep the narrowest width", 200, 1000, 4, 264},
        {"wider rows widen the four columns that fit", 280, 1000, 4, 280},
        {"rows too wide for four: fewer columns, still short enough", 410, 1000, 2, 410},
        {"fewer columns would scroll: four as wide as the screen leaves", 410, 500, 4, 287},
        {"a stray long title is cut at the widest column", 2000, 1000, 2, metrics::maximumColumnWidth},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = layoutColumns(app, {{0, 0}, {1280, c.screenHeight}}, false, c.wanted);
        EXPECT_EQ(result.columns.size(), c.columns);
        EXPECT_DOUBLE_EQ(result.columnWidth, c.columnWidth);
        EXPECT_DOUBLE_EQ(result.width, panelWidth(c.columns, c.columnWidth));
        EXPECT_LE(result.width, 0.96 * 1280);
    }
}

TEST(PopupLayout, SectionHeightCountsTitlesRowsAndSeparatorsLeftAfterStrayOnesGo)
{
    auto submenu = group("Find", 2);
    submenu.shortcuts.push_back(Shortcut::separator());
    const auto s = section("Edit", {group({}, 1), submenu});
    // Title, one group title, three rows, one separator: six elements.
    EXPECT_DOUBLE_EQ(sectionHeight(s), 26 + 22 + 3 * 21 + 9 + 5 * 2);
    EXPECT_DOUBLE_EQ(sectionHeight(section("Empty", {})), 26);
    EXPECT_DOUBLE_EQ(columnHeight({s, oneGroupSection("View", 1)}), 130 + 14 + 49);

    const auto sep = [] { return Shortcut::separator(); };
    const auto tidied = layout::withoutStrayLines(
        {section("File", {test::group(std::nullopt, {sep(), row("New"), sep(), sep(), row("Open"), sep()}),
                          test::group("Recent", {sep()}), test::group("Export", {row("PDF"), sep()})}),
         section("Tabs", {test::group("Size", {sep(), sep()})})});
    ASSERT_EQ(tidied.size(), 1u);
    ASSERT_EQ(tidied[0].groups.size(), 2u);
    EXPECT_EQ(tidied[0].groups[0].shortcuts.size(), 3u); // New, one separator, Open
    EXPECT_TRUE(tidied[0].groups[0].shortcuts[1].isSeparator);
    EXPECT_EQ(tidied[0].groups[1].shortcuts.size(), 1u);
    EXPECT_EQ(layout::sectionHeight(tidied[0]), 26 + 22 + 21 * 3 + 9 + 2 * 5.0);
}

TEST(PopupLayout, WithoutWrappingATallMenuStaysWholeAndScrolls)
{
    const auto edit = oneGroupSection("Edit", 40);
    const auto layout = layoutColumns(appWith({edit}), wideScreen, false);
    ASSERT_EQ(sizes(layout.columns), (std::vector<std::size_t>{1}));
    EXPECT_TRUE(layout.columns[0][0] == edit);

    const auto tall = panelFrame(layout, 946);
    EXPECT_FALSE(tall.fitsWithoutScrolling);
    EXPECT_EQ(tall.frame, (Rect{{720 - 148, 500 - 430}, {296, 860}}));

    const auto fitting = panelFrame(layout, 860);
    EXPECT_TRUE(fitting.fitsWithoutScrolling);
    EXPECT_DOUBLE_EQ(fitting.frame.size.height, 860);
}

TEST(PopupLayout, SplitterPacksGroupsAndSplitsOversizedSubmenusByRows)
{
    const auto s = section("Format", {group({}, 5, "Plain"), group("Font", 30, "Font"), group({}, 3, "Tail")});
    const auto pieces = splitSection(s, 516);
    ASSERT_EQ(pieces.size(), 4u);
    for (const auto& piece : pieces) {
        EXPECT_EQ(piece.title, "Format");
        EXPECT_LE(sectionHeight(piece), 516);
    }
    EXPECT_TRUE(pieces[0].groups[0] == s.groups[0]);
    // 22 + 26 + 20 × 23 + 2 = 510: twenty rows of the submenu fit under its title.
    ASSERT_EQ(pieces[1].groups.size(), 1u);
    EXPECT_EQ(pieces[1].groups[0].title, "Font");
    EXPECT_EQ(pieces[1].groups[0].shortcuts.size(), 20u);
    EXPECT_EQ(pieces[2].groups[0].title, "Font");
    EXPECT_EQ(pieces[2].groups[0].shortcuts.size(), 10u);
    EXPECT_EQ(titles(pieces[3]), titles(section("", {s.groups[2]})));

    // No usable split height, or a short section: nothing is split.
    EXPECT_EQ(splitSection(s, 26).size(), 1u);
    EXPECT_TRUE(splitSection(s, 10'000)[0] == s);
    // Groups that fit alone but not together go to separate pieces.
    const auto two = splitSection(section("Two", {group({}, 10), group({}, 15)}), 400);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_LE(sectionHeight(two[0]), 400);
    // A single row taller than the limit still makes a piece of its own.
    EXPECT_EQ(splitSection(oneGroupSection("Tiny", 3), 30).size(), 3u);
}

TEST(PopupLayout, SectionsAreBalancedOverTheColumnsThenAMuchShorterLastColumnIsMerged)
{
    struct Case {
        std::vector<int> rows; // of each section
        std::size_t maxColumns;
        std::vector<std::size_t> sizes;
    };
    const std::vector<int> tenSingleRows(10, 1);
    const Case cases[] = {
        {{3, 4, 2}, 4, {1, 1, 1}}, // few sections: a column each
        {{3, 4, 2}, 1, {3}},
        {{}, 4, {}},
        // Weight 63 each: three per column (189) is the smallest limit that needs four
        // columns; the last (49) is under 0.3 of the tallest (175) and joins the one before.
        {tenSingleRows, 4, {3, 3, 4}},
        {tenSingleRows, 2, {5, 5}},
        {{20, 1}, 4, {2}},
        {{20, 25, 2}, 4, {1, 2}},
        {{20, 6}, 4, {1, 1}}, // 164 > 0.3 × 486: kept
    };
    for (const auto& c : cases) {
        const auto sections = sectionsOf(c.rows);
        const auto columns = distributeColumns(sections, c.maxColumns);
        EXPECT_EQ(sizes(columns), c.sizes) << testing::PrintToString(c.rows) << " in " << c.maxColumns;
        EXPECT_TRUE(columns.empty() || columns.back().back().title == sections.back().title) << "the order is kept";
    }
    const auto balanced = balancedColumns(sectionsOf(tenSingleRows), 4);
    EXPECT_EQ(sizes(balanced), (std::vector<std::size_t>{3, 3, 3, 1}));
    EXPECT_EQ(balanced[3][0].title, "Menu 9");
}

TEST(PopupLayout, ItemsWithoutShortcutsAreLeftOutOfThePlanAndKeptInTheColumns)
{
    auto edit = oneGroupSection("Edit", 40);
    // A command without shortcut after row 30, and one leading the menu.
    edit.groups[0].shortcuts.insert(edit.groups[0].shortcuts.begin() + 31, row("Transform"));
    edit.groups[0].shortcuts.insert(edit.groups[0].shortcuts.begin(), row("Start Dictation"));
    auto help = section("Help", {group({}, 0)});
    help.groups[0].shortcuts.push_back(row("Search"));
    auto app = appWith({edit, help, oneGroupSection("Window", 2)});
    app.includesItemsWithoutShortcuts = true;

    const auto layout = layoutColumns(app, wideScreen, true);
    ASSERT_EQ(sizes(layout.columns), (std::vector<std::size_t>{1, 3}));
    const auto first = titles(layout.columns[0][0]);
    const auto second = titles(layout.columns[1][0]);
    EXPECT_EQ(first.size(), 22u); // planned as 21 rows with shortcuts
    EXPECT_EQ(first.front(), "Start Dictation");
    EXPECT_EQ(second.size(), 20u);
    EXPECT_EQ(second[10], "Transform");
    EXPECT_EQ(layout.columns[1][1].title, "Help");
    EXPECT_EQ(titles(layout.columns[1][1]), std::vector<std::string>{"Search"});
    EXPECT_EQ(layout.columns[1][2].title, "Window");
    // The long menu's two pieces carry its name under their own identities.
    EXPECT_EQ(layout.columns[1][0].title, "Edit");
    EXPECT_FALSE(layout.columns[0][0].id == layout.columns[1][0].id);
    EXPECT_DOUBLE_EQ(layout.width, panelWidth(2));
}

class PopupScreenChoice : public ::testing::Test {
protected:
    PopupScreenChoice()
    {
        primary = screens.addScreen(Rect{{0, 0}, {1440, 900}}, 24);
        right = screens.addScreen(Rect{{1440, 0}, {1920, 1080}}, 24);
        above = screens.addScreen(Rect{{0, 900}, {1440, 900}});
        screens.setMainScreen(right);
        screens.moveMouse({100, 100});
    }

    // The active window's frame, as the window system places it.
    void activeWindowAt(Point topLeft, Size size) { workspace.setActiveWindowFrame(Rect{topLeft, size}); }

    Rect frameFor(PopupDisplayMode mode) { return popupVisibleFrame(mode, screens, workspace); }

    fake::FakeScreens screens;
    fake::FakeWorkspace workspace;
    platform::Screen primary, right, above;
};

TEST_F(PopupScreenChoice, ActiveWindowScreenFromTopLeftCoordinatesThenTheMouseThenTheMainScreen)
{
    screens.moveMouse({2000, 50});
    EXPECT_EQ(frameFor(appWindow), right.visibleFrame) << "no active window";
    // Centre (1900, 400) from the top left is y = 900 − 400 = 500: the right screen.
    activeWindowAt({1500, 100}, {800, 600});
    EXPECT_EQ(frameFor(appWindow), right.visibleFrame);
    // Negative y lies above the primary screen.
    activeWindowAt({100, -700}, {400, 300});
    EXPECT_EQ(frameFor(appWindow), above.visibleFrame);
    activeWindowAt({-5000, 100}, {100, 100});
    EXPECT_EQ(frameFor(appWindow), right.visibleFrame) << "off every screen";

    screens.moveMouse({20, 1000});
    EXPECT_EQ(frameFor(mouse), above.visibleFrame);
    screens.moveMouse({1440, 10}); // the left edge of the right screen belongs to it
    EXPECT_EQ(frameFor(mouse), right.visibleFrame);
    screens.moveMouse({-50, -50}); // nowhere: the main screen, else the first
    EXPECT_EQ(frameFor(mouse), right.visibleFrame);
    screens.setMainScreen(std::nullopt);
    EXPECT_EQ(frameFor(mainDisplay), primary.visibleFrame);
    fake::FakeScreens none;
    EXPECT_EQ(popupVisibleFrame(mouse, none, workspace), Rect{});
}

TEST(PopupLayout, AnApplicationWithoutRowsGetsAMessageAndEverythingIsCentred)
{
    EXPECT_TRUE(messageSize(appWith({section("File", {group({}, 0)})})));
    EXPECT_EQ(messageSize(appWith({oneGroupSection("File", 1)})), std::nullopt);

    EXPECT_EQ(centred({360, 200}, Rect{{1440, 0}, {1920, 1056}}), (Rect{{1440 + 780, 428}, {360, 200}}));
}

} // namespace
} // namespace hb::layout
