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

TEST(ShortcutModel, ModifierSetConflictsAndEmptiness)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(row("x", "⌃⌥⇧⌘K").modifierSet(), (V{"⌃", "⌥", "⇧", "⌘"}));
    EXPECT_EQ(row("x", "F5").modifierSet(), V{});
    auto separator = row("", "⌘K");
    separator.isSeparator = true;
    EXPECT_EQ(separator.modifierSet(), V{});

    const auto app = [](std::vector<std::vector<Shortcut>> menus) {
        AppShortcuts shortcuts;
        for (auto& rows : menus)
            shortcuts.sections.push_back(test::section("Menu", {test::group({}, rows)}));
        return shortcuts;
    };
    auto both = app({{row("Reload", "⌘R"), row("None", ""), row("Other", "")}, {row("Run", "⌘R"), row("Quit", "⌘Q")}});
    EXPECT_EQ(both.conflictingKeys(), std::set<std::string>{"⌘R"});
    EXPECT_FALSE(both.hasNoShortcuts());
    EXPECT_TRUE(app({}).hasNoShortcuts());
    EXPECT_TRUE(app({{Shortcut::separator(), Shortcut::separator()}}).hasNoShortcuts());
}

TEST(ShortcutModel, FoldsAreSharedByCopiesAndOnlyServeTheirOwnTexts)
{
    auto original = row("Café Crème", "⇧⌘C");
    EXPECT_EQ(original.currentFolds(), nullptr);
    original.foldTexts();
    auto copy = original;
    ASSERT_NE(copy.currentFolds(), nullptr);
    EXPECT_EQ(copy.currentFolds(), original.currentFolds());
    EXPECT_EQ(copy.currentFolds()->foldedTitle, "cafe creme");
    EXPECT_EQ(copy.currentFolds()->foldedKeys, "⇧⌘c");

    copy.title = "Thé";
    EXPECT_EQ(copy.currentFolds(), nullptr);
    auto rekeyed = original;
    rekeyed.keys = "⌘T";
    EXPECT_EQ(rekeyed.currentFolds(), nullptr);
    EXPECT_NE(original.currentFolds(), nullptr);
}
