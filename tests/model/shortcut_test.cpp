#include "model/shortcut.h"

#include <gtest/gtest.h>

#include "support/model_builders.h"

#include <unordered_set>

using namespace hb;
using test::row;

TEST(ShortcutModel, RowsAreTheirIdAndGroupsTellAnAbsentTitleFromAnEmptyOne)
{
    auto first = row("Copy", "⌘C");
    auto copy = first;
    copy.isSeparator = true;
    EXPECT_EQ(copy, first);
    EXPECT_EQ(std::unordered_set<Shortcut>({first, copy, row("Copy", "⌘C")}).size(), 2u);

    ShortcutGroup group{Uuid::random(), std::nullopt, {row("New", "⌘N")}};
    auto titled = group;
    titled.title = "";
    EXPECT_NE(group, titled);
    EXPECT_NE(group.hash(), titled.hash());
    EXPECT_EQ(ShortcutGroup(group).hash(), group.hash());
}

TEST(ShortcutModel, ModifierSetAndEmptiness)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(row("x", "⌃⌥⇧⌘K").modifierSet(), (V{"⌃", "⌥", "⇧", "⌘"}));
    EXPECT_EQ(row("x", "F5").modifierSet(), V{});
    auto separator = row("", "⌘K");
    separator.isSeparator = true;
    EXPECT_EQ(separator.modifierSet(), V{});

    // Conflicts across menus: tests/popup/popup_filter_model_test.cpp.
    AppShortcuts app;
    EXPECT_TRUE(app.hasNoShortcuts());
    app.sections = {test::section("Menu", {test::group({}, {Shortcut::separator(), Shortcut::separator()})})};
    EXPECT_TRUE(app.hasNoShortcuts());
    app.sections[0].groups[0].shortcuts.push_back(row("Run"));
    EXPECT_FALSE(app.hasNoShortcuts());
}
