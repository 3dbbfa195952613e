#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"

#include "fake/fake_accessibility.h"
#include "fake/memory_log.h"
#include "support/model_builders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using fake::item;
using fake::menu;
using fake::separator;
using fake::submenu;
using platform::AttributeNumber;
using platform::LogCategory;
using platform::LogLevel;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr pid_t pid = 42;

using test::Row;
using test::rowsOf;

std::vector<fake::FakeItem> documents(int count)
{
    std::vector<fake::FakeItem> items;
    for (int i = 1; i <= count; ++i)
        items.push_back(item("Document " + std::to_string(i)));
    return items;
}

class MenuBarReaderTest : public testing::Test {
protected:
    std::vector<MenuSection> read(MenuReadOptions options = {})
    {
        options.pid = pid;
        return reader.readMenuBar(options);
    }
    std::vector<std::string> scraperLines() const { return sink.messages(LogCategory::scraper); }

    fake::FakeAccessibility accessibility;
    fake::MemoryLogSink sink;
    bool debugLogging = false;
    platform::Log log{sink, [this] { return debugLogging; }};
    MenuBarReader reader{accessibility, log};
};

} // namespace

TEST_F(MenuBarReaderTest, OpenRecentWithoutShortcutsAndTheLargeSubmenuRule)
{
    accessibility.addApplication(
        pid, {menu("File", {item("New", "n"), separator(), submenu("Open Recent", documents(10))})});

    auto sections = read();
    EXPECT_EQ(accessibility.messagingTimeout(pid), 1.0);
    ASSERT_EQ(sections[0].groups.size(), 1u);
    EXPECT_THAT(rowsOf(sections[0].groups[0].shortcuts), ElementsAre(Row{"New", "⌘N"}, Row{}));
    EXPECT_TRUE(sections[0].groups[0].shortcuts[1].isSeparator);
    EXPECT_THAT(scraperLines(), testing::Contains("Submenu '<private>' yielded 0 items (10 child items<private>)"));

    sink.clear();
    sections = read({.includeAll = true, .maxSubmenuSize = 5});
    EXPECT_EQ(sections[0].groups.size(), 1u) << "the large submenu is dropped";
    EXPECT_THAT(scraperLines(), testing::Not(testing::Contains(testing::HasSubstr("Submenu"))));

    sections = read({.includeAll = true});
    ASSERT_EQ(sections[0].groups.size(), 2u);
    EXPECT_EQ(sections[0].groups[1].title, "Open Recent");
    EXPECT_EQ(sections[0].groups[1].shortcuts.size(), 10u);

    // A large submenu with one shortcut stays.
    auto items = documents(49);
    items.push_back(item("Clear Menu", "k"));
    accessibility.addApplication(43, {menu("File", {submenu("Open Recent", items)})});
    sections = reader.readMenuBar({.pid = 43, .includeAll = true, .maxSubmenuSize = 5});
    ASSERT_EQ(sections[0].groups.size(), 1u);
    EXPECT_EQ(sections[0].groups[0].shortcuts.size(), 50u);
}

TEST_F(MenuBarReaderTest, OwnRowsComeFirstAndNestedSubmenusFlattenInPlace)
{
    accessibility.addApplication(
        pid,
        {menu("View", {submenu("A", {item("a1", "1"), submenu("B", {item("b1", "2"), submenu("C", {item("c1", "3")})}),
                                     item("a2", "4")}),
                       item("Zoom", "z"), submenu("Panels", {item("Left", "l")})})});
    accessibility.find(pid, {"View", "Panels"})->set(platform::ax::cmdChar, std::string("k"));

    auto groups = read()[0].groups;
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_FALSE(groups[0].title);
    EXPECT_THAT(rowsOf(groups[0].shortcuts), ElementsAre(Row{"Zoom", "⌘Z"}, Row{"Panels", "⌘K"}));
    EXPECT_EQ(groups[1].title, "A");
    EXPECT_THAT(rowsOf(groups[1].shortcuts),
                ElementsAre(Row{"a1", "⌘1"}, Row{"b1", "⌘2"}, Row{"c1", "⌘3"}, Row{"a2", "⌘4"}));
    EXPECT_EQ(groups[2].title, "Panels");
    EXPECT_THAT(rowsOf(groups[2].shortcuts), ElementsAre(Row{"Left", "⌘L"}));
}

TEST_F(MenuBarReaderTest, MenuAndCommandPatterns)
{
    accessibility.addApplication(
        pid, {menu("File", {item("Open", "o"), separator(), item("Close", "w")}), menu("Help", {item("Search", "?")})});
    EXPECT_THAT(read({.ignoredMenuTitles = {"He*"}}), ElementsAre(testing::Field(&MenuSection::title, "File")));
    EXPECT_EQ(read({.ignoredMenuTitles = {"H?"}}).size(), 2u);

    auto sections = read({.ignoredTitles = {"*"}});
    ASSERT_EQ(sections.size(), 1u) << "Help has no rows left";
    EXPECT_THAT(rowsOf(sections[0].allShortcuts()), ElementsAre(Row{}));

    const auto menuBarReadsBefore = accessibility.menuBarReads();
    const auto withHelpHidden = reader.readMenus({.pid = pid, .ignoredMenuTitles = {"help"}});
    EXPECT_THAT(rowsOf(withHelpHidden.ignoredShortcuts), ElementsAre(Row{"Search", "⌘?"}));
    EXPECT_EQ(accessibility.menuBarReads(), menuBarReadsBefore + 1) << "the hidden menu's rows come from the same walk";
    EXPECT_TRUE(reader.readMenus({.pid = pid}).ignoredShortcuts.empty());
}

TEST_F(MenuBarReaderTest, DepthLimitStopsAtTheTenthSubmenuLevel)
{
    fake::FakeItem deepest = item("level 11", "e");
    for (int level = 11; level >= 1; --level)
        deepest = submenu("L" + std::to_string(level), {item("item " + std::to_string(level), "d"), deepest});
    accessibility.addApplication(pid, {menu("Deep", {deepest})});

    auto group = read()[0].groups.at(0);
    EXPECT_EQ(group.title, "L1");
    EXPECT_EQ(group.shortcuts.size(), 10u) << "levels 1 to 10 are read";
    EXPECT_EQ(group.shortcuts.back().title, "item 10");
    EXPECT_THAT(scraperLines(),
                testing::Contains("Nested submenu '<private>' yielded 0 items (0 child items<private>)"));
}

TEST_F(MenuBarReaderTest, AnApplicationWithoutMenuBarLogsOneError)
{
    accessibility.addApplication(43, {});
    EXPECT_TRUE(reader.readMenus({.pid = 43, .ignoredMenuTitles = {"*"}}).ignoredShortcuts.empty());
    EXPECT_THAT(sink.records(), testing::SizeIs(1));
    EXPECT_TRUE(sink.contains(LogCategory::scraper, LogLevel::error, "Could not read menu bar (pid 43)"));
}

TEST_F(MenuBarReaderTest, MissingAndWronglyTypedAttributesTakeTheirDefaults)
{
    accessibility.addApplication(pid, {menu("Edit", {item("Undo", "z"), item("Redo", "z", 1), item("Cut", "x"),
                                                     item("\x01\xE2\x80\x8F", "q"), submenu("Lazy", {})})});
    accessibility.find(pid, {"Edit", "Undo"})->set(platform::ax::title, AttributeNumber{3});
    accessibility.find(pid, {"Edit", "Redo"})->set(platform::ax::cmdModifiers, std::string("1"));
    accessibility.find(pid, {"Edit", "Cut"})->fail(platform::ax::cmdChar).fail(platform::ax::children);

    auto rows = rowsOf(read({.includeAll = true})[0].allShortcuts());
    EXPECT_THAT(rows, ElementsAre(Row{}, Row{"Redo", "⌘Z"}, Row{"Cut", ""}, Row{}));
    EXPECT_THAT(scraperLines(), testing::Contains("Submenu '<private>' yielded 0 items (0 child items<private>)"));
}

TEST_F(MenuBarReaderTest, HostileTreesFinish)
{
    accessibility.addApplication(pid, {menu("Wide", documents(100'000))});
    // A menu-bar item whose submenu lists itself ten times: unbounded, 10^10 items.
    auto& cycle = accessibility.newElement(pid);
    auto& again = accessibility.newElement(pid);
    again.setTitle("again").set(platform::ax::cmdChar, std::string("g")).add(cycle);
    for (int i = 0; i < 10; ++i)
        cycle.add(again);
    auto& menuOfCycle = accessibility.newElement(pid);
    menuOfCycle.add(again);
    auto& top = accessibility.newElement(pid);
    top.setTitle("Cycle").add(menuOfCycle);
    accessibility.find(pid, {})->add(top);

    auto sections = read({.includeAll = true});
    std::size_t rows = 0;
    for (const auto& section : sections)
        rows += section.allShortcuts().size();
    EXPECT_LE(rows, MenuBarReader::maxItemsPerRead);
    EXPECT_GE(rows, 100'000u);
    EXPECT_TRUE(sink.contains(LogCategory::scraper, LogLevel::error,
                              "Menu bar of pid 42 has more than 250000 items; read stopped there"));
}

namespace {

// A shortcuts window shaped like a menu bar (without a menu bar, real applications'
// windows give the sections: tests/e2e/keyboard_journey_test.cpp): an item per group whose first
// child holds the rows; every row with Control and a character.
fake::FakeElement& shortcutsWindow(fake::FakeAccessibility& accessibility,
                                   const std::vector<std::pair<std::string, std::vector<Row>>>& groups)
{
    auto& window = accessibility.newElement(pid);
    for (const auto& [title, rows] : groups) {
        auto& menuOfGroup = accessibility.newElement(pid);
        for (const auto& row : rows)
            menuOfGroup.add(accessibility.newElement(pid)
                                .setTitle(row.title)
                                .set(platform::ax::cmdChar, row.keys)
                                .set(platform::ax::cmdModifiers, AttributeNumber{4 + 8}));
        window.add(accessibility.newElement(pid).setTitle(title).add(menuOfGroup));
    }
    return window;
}

} // namespace

TEST_F(MenuBarReaderTest, BesideAMenuBarOnlyTheWindowsRowsNoMenuItemCarriesAreAdded)
{
    auto& application = accessibility.addApplication(pid, {menu("File", {item("New", "n", 4 + 8)})});
    application.set(platform::ax::shortcutsWindow,
                    shortcutsWindow(accessibility, {{"Windows", {{"New window", "n"}, {"Close", "w"}}},
                                                    {"Tabs", {{"New tab", "t"}}},
                                                    {"Other", {{"New", "n"}}}})
                        .shared_from_this());

    auto sections = read();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].title, "File");
    EXPECT_EQ(sections[1].title, shortcutsWindowSectionTitle);
    ASSERT_EQ(sections[1].groups.size(), 2u);
    EXPECT_EQ(sections[1].groups[0].title, "Windows");
    EXPECT_THAT(rowsOf(sections[1].allShortcuts()), ElementsAre(Row{"Close", "⌃W"}, Row{"New tab", "⌃T"}));
    EXPECT_THAT(rowsOf(read({.ignoredTitles = {"Close"}})[1].allShortcuts()), ElementsAre(Row{"New tab", "⌃T"}))
        << "the ignore rules apply to the window's rows too";
}

// What a press checks and logs; pressing real applications' items is checked end to end
// (tests/e2e/atspi_menus_test.cpp).
TEST_F(MenuBarReaderTest, APressLogsAChangedTitleAndAFailedPressGivesFalse)
{
    debugLogging = true;
    accessibility.addApplication(7, {menu("File", {item("Save", "s"), item("Show Sidebar", "s", 4)})});
    const auto element = [&](const std::string& title) -> fake::FakeElement& {
        return *accessibility.find(7, {"File", title});
    };
    // The row the reader would have made for the item.
    const auto rowFor = [&](const std::string& title) {
        return Shortcut{.title = title, .keys = "⌘S", .axElement = element(title).shared_from_this()};
    };
    const auto press = [&](const Shortcut& row) { return hb::press(accessibility, log, row); };
    const auto lines = [&] { return sink.messages(LogCategory::accessibility); };
    auto row = rowFor("Show Sidebar");
    auto& sidebar = element("Show Sidebar");
    sidebar.setTitle("Hide Sidebar");
    EXPECT_TRUE(press(row));
    EXPECT_EQ(sidebar.pressCount(), 1);
    EXPECT_THAT(lines(), ElementsAre("Title mismatch at press: displayed 'Show Sidebar' but live element is "
                                     "'Hide Sidebar'"));
    // The live title is sanitised before the comparison; an unreadable or non-text title skips it.
    sink.clear();
    sidebar.setTitle("Show Sidebar\x07");
    EXPECT_TRUE(press(row));
    sidebar.fail(platform::ax::title);
    EXPECT_TRUE(press(row));
    EXPECT_THAT(lines(), IsEmpty());

    sidebar.refusePress();
    EXPECT_FALSE(press(row));
    auto save = rowFor("Save");
    accessibility.quit(7);
    EXPECT_FALSE(press(save));
    EXPECT_THAT(lines(), ElementsAre("AX press failed for 'Show Sidebar'", "AX press failed for 'Save'"));
}
