#include "model/shortcut.h"

#include <gtest/gtest.h>

#include "support/model_builders.h"

#include <unordered_set>

using hb::AppShortcuts;
using hb::MenuSection;
using hb::Shortcut;
using hb::ShortcutGroup;

namespace {

using hb::test::row;

AppShortcuts appWith(std::vector<std::vector<Shortcut>> menus)
{
    AppShortcuts app;
    for (auto& rows : menus)
        app.sections.push_back(MenuSection{hb::Uuid::random(), "Menu", {ShortcutGroup{hb::Uuid::random(), {}, rows}}});
    return app;
}

} // namespace

TEST(ShortcutModel, IdentityIsTheId)
{
    auto first = row("Copy", "⌘C");
    auto second = row("Copy", "⌘C");
    EXPECT_NE(first, second);
    EXPECT_NE(first.hash(), second.hash());
    auto copy = first;
    copy.isSeparator = true;
    EXPECT_EQ(copy, first);
    EXPECT_EQ(std::unordered_set<Shortcut>({first, copy, second}).size(), 2u);
}

TEST(ShortcutModel, GroupHashTellsAnAbsentTitleFromAnEmptyOne)
{
    ShortcutGroup group{hb::Uuid::random(), std::nullopt, {row("New", "⌘N")}};
    auto titled = group;
    titled.title = "";
    EXPECT_NE(group, titled);
    EXPECT_NE(group.hash(), titled.hash());
    auto same = group;
    EXPECT_EQ(same.hash(), group.hash());
    MenuSection section{hb::Uuid::random(), "File", {group}};
    EXPECT_EQ(MenuSection(section).hash(), section.hash());
}

TEST(ShortcutModel, ModifierSet)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(row("x", "⌃⌥⇧⌘K").modifierSet(), (V{"⌃", "⌥", "⇧", "⌘"}));
    EXPECT_EQ(row("x", "F5").modifierSet(), V{});
    auto separator = row("", "⌘K");
    separator.isSeparator = true;
    EXPECT_EQ(separator.modifierSet(), V{});
}

TEST(ShortcutModel, ConflictsAndEmptiness)
{
    auto app = appWith({{row("Reload", "⌘R"), row("None", ""), row("Other", "")}, {row("Run", "⌘R"), row("Quit", "⌘Q")}});
    EXPECT_EQ(app.conflictingKeys(), std::set<std::string>{"⌘R"});
    EXPECT_FALSE(app.hasNoShortcuts());

    EXPECT_TRUE(appWith({}).hasNoShortcuts());
    EXPECT_TRUE(appWith({{Shortcut::separator(), Shortcut::separator()}}).hasNoShortcuts());
    EXPECT_TRUE(appWith({{row("Single", "⌘R")}}).conflictingKeys().empty());
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
