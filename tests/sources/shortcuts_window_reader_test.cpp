#include "sources/shortcuts_window_reader.h"

#include "fake/memory_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using namespace hb::sources;
using testing::ElementsAre;

namespace {

struct Entry {
    std::string title;
    std::string accelerator;
    friend bool operator==(const Entry&, const Entry&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Entry& e) { return out << e.title << " " << e.accelerator; }
};

std::vector<Entry> entries(const WindowGroup& group)
{
    std::vector<Entry> out;
    for (const auto& shortcut : group.shortcuts)
        out.push_back(Entry{shortcut.title.text, shortcut.accelerator});
    return out;
}

std::string shortcut(std::string_view title, std::string_view accelerator, std::string_view extra = "")
{
    return fmt::format(R"(<child><object class="GtkShortcutsShortcut">
        <property name="title" translatable="yes" context="shortcut window">{}</property>
        <property name="accelerator">{}</property>{}</object></child>)",
                       title, accelerator, extra);
}

std::string window(std::string_view body, std::string_view domain = "")
{
    return fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?>
<interface{}><object class="GtkShortcutsWindow" id="help_overlay">{}</object></interface>)",
                       domain.empty() ? "" : fmt::format(" domain=\"{}\"", domain), body);
}

std::string section(std::string_view title, std::string_view groups)
{
    return fmt::format(R"(<child><object class="GtkShortcutsSection"><property name="section-name">s</property>
        <property name="title" translatable="yes">{}</property>{}</object></child>)",
                       title, groups);
}

std::string group(std::string_view title, std::string_view shortcuts)
{
    return fmt::format(R"(<child><object class="GtkShortcutsGroup">
        <property name="title" translatable="yes" context="shortcut window">{}</property>{}</object></child>)",
                       title, shortcuts);
}

class ShortcutsWindowReaderTest : public testing::Test {
protected:
    std::optional<ShortcutsWindow> read(std::string_view definition) { return readShortcutsWindow(definition, log); }

    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
};

} // namespace

TEST_F(ShortcutsWindowReaderTest, GroupsAndShortcutsKeepTheirTitlesContextsAndOrder)
{
    auto found = read(window(section("Editor", group("Windows", shortcut("New window", "&lt;control&gt;n") +
                                                                 shortcut("Next tab", "&lt;ctrl&gt;Page_Down")) +
                                                   group("Zoom", shortcut("Zoom in", "&lt;ctrl&gt;plus &lt;ctrl&gt;equal"))),
                                "gnome-text-editor"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->textDomain, "gnome-text-editor");
    EXPECT_EQ(found->sectionCount, 1u);
    ASSERT_EQ(found->groups.size(), 2u);
    EXPECT_EQ(found->groups[0].section.text, "Editor");
    EXPECT_EQ(found->groups[0].title.text, "Windows");
    EXPECT_EQ(found->groups[0].title.context, "shortcut window");
    EXPECT_TRUE(found->groups[0].title.translatable);
    EXPECT_THAT(entries(found->groups[0]),
                ElementsAre(Entry{"New window", "<control>n"}, Entry{"Next tab", "<ctrl>Page_Down"}));
    // Several accelerators of one shortcut: one entry each.
    EXPECT_THAT(entries(found->groups[1]),
                ElementsAre(Entry{"Zoom in", "<ctrl>plus"}, Entry{"Zoom in", "<ctrl>equal"}));
}

TEST_F(ShortcutsWindowReaderTest, WhatTheNotationCannotShowIsSkipped)
{
    const auto shortcuts =
        shortcut("Switch to tab", "&lt;alt&gt;1...9") + shortcut("Switch tab", "&lt;alt&gt;1…9") +
        shortcut("Swipe", "", R"(<property name="shortcut-type">gesture-two-finger-swipe-left</property>)") +
        shortcut("Unknown", "&lt;ctrl&gt;NoSuchKey") + shortcut("Bad modifier", "&lt;hyperspace&gt;a") +
        R"(<child><object class="GtkShortcutsShortcut"><property name="title">By action</property>
           <property name="action-name">app.quit</property></object></child>)" +
        shortcut("Save", "&lt;Primary&gt;s", R"(<property name="action_name">win.save</property>)");
    auto found = read(window(section("", group("General", shortcuts))));
    ASSERT_TRUE(found);
    ASSERT_EQ(found->groups.size(), 1u);
    EXPECT_THAT(entries(found->groups[0]), ElementsAre(Entry{"Save", "<Primary>s"}));
    EXPECT_EQ(found->groups[0].shortcuts[0].actionName, "win.save");
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper),
                testing::Contains(testing::HasSubstr("range '<alt>1...9' cannot be shown")));
}

TEST_F(ShortcutsWindowReaderTest, AdwaitaDialogSectionsHoldTheirItemsDirectly)
{
    auto found = read(R"(<interface><template class="TextWindow" parent="AdwApplicationWindow">
      <child><object class="AdwShortcutsDialog"><child><object class="AdwShortcutsSection">
        <property name="title" translatable="yes">Files</property>
        <child><object class="AdwShortcutsItem"><property name="title">Open</property>
          <property name="accelerator">&lt;Control&gt;o</property></object></child>
      </object></child></object></child></template></interface>)");
    ASSERT_TRUE(found);
    ASSERT_EQ(found->groups.size(), 1u);
    EXPECT_EQ(found->groups[0].title.text, "Files");
    EXPECT_THAT(entries(found->groups[0]), ElementsAre(Entry{"Open", "<Control>o"}));
}

TEST_F(ShortcutsWindowReaderTest, HostileDefinitionsGiveNothingOrLessAndReturnQuickly)
{
    EXPECT_FALSE(read("GtkShortcutsWindow \x01\x02 not XML at all <<<"));
    // Shortcuts outside a shortcuts window are not its own; a window without shortcuts is none.
    EXPECT_FALSE(read(R"(<interface><object class="GtkBox">)" + shortcut("Lost", "a") + "</object></interface>"));
    EXPECT_FALSE(read(window(section("Empty", group("None", "")))));

    const std::string laughs = R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">
      <!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
      <!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
      <!ENTITY lol9 "&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;">]>)" +
                               window(section("", group("G", shortcut("&lol9;", "a")))).substr(38);
    EXPECT_FALSE(read(laughs));

    std::string deep;
    for (int i = 0; i < 50'000; ++i)
        deep += "<child>";
    EXPECT_FALSE(read(window(deep)));

    const std::string huge(1 << 20, 'a');
    auto found = read(window(section("", group("G", shortcut("Huge", "&lt;ctrl&gt;" + huge) +
                                                        shortcut("Copy", "&lt;ctrl&gt;c")))));
    ASSERT_TRUE(found);
    EXPECT_THAT(entries(found->groups[0]), ElementsAre(Entry{"Copy", "<ctrl>c"}));
}

TEST_F(ShortcutsWindowReaderTest, TitlesAreCutAndADomainThatIsNoFileNameIsDropped)
{
    const std::string title = std::string(64 << 10, 'T') + "é";
    std::string accelerators;
    for (char key = 'a'; key <= 'z'; ++key)
        accelerators += fmt::format("&lt;ctrl&gt;{} ", key);
    for (std::string_view domain : {"/home/user/evil", "../../evil", ".hidden"}) {
        auto found = read(window(section("", group(title, shortcut(title, accelerators))), domain));
        ASSERT_TRUE(found);
        EXPECT_EQ(found->textDomain, "") << domain;
        EXPECT_EQ(found->groups[0].title.text.size(), maxTitleBytes);
        ASSERT_EQ(found->groups[0].shortcuts.size(), 26u);
        for (const auto& entry : found->groups[0].shortcuts)
            EXPECT_LE(entry.title.text.size(), maxTitleBytes);
    }
    // Cut before a character, never inside one.
    auto found = read(window(section("", group("G", shortcut(std::string(maxTitleBytes - 1, 'x') + "é", "a")))));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->groups[0].shortcuts[0].title.text, std::string(maxTitleBytes - 1, 'x'));
}

TEST(ShortcutsWindowGroupTitle, SectionTitlesPrefixGroupsOnlyWhenThereAreSeveral)
{
    const Translate upper = [](const UiText& text) {
        std::string out = text.text;
        for (auto& c : out)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return out;
    };
    ShortcutsWindow window;
    window.sectionCount = 1;
    const WindowGroup both{UiText{"Editor"}, UiText{"Tabs"}, {}};
    EXPECT_EQ(groupTitle(window, both, upper, "Shortcuts"), "TABS");
    window.sectionCount = 2;
    EXPECT_EQ(groupTitle(window, both, upper, "Shortcuts"), "EDITOR — TABS");
    EXPECT_EQ(groupTitle(window, WindowGroup{UiText{"Editor"}, UiText{}, {}}, upper, "Shortcuts"), "EDITOR");
    EXPECT_EQ(groupTitle(window, WindowGroup{}, upper, "Shortcuts"), "Shortcuts");
}
