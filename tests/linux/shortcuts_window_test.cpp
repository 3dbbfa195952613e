// GTK shortcuts windows: their definitions read, found in GResource bundles and translated.
#include "linux/shortcuts_window_source.h"
#include "sources/shortcuts_window_reader.h"

#include "fake/memory_log.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace hb;
using namespace hb::linux_platform;
using namespace hb::sources;
using testing::ElementsAre;

namespace {

const std::filesystem::path data = HINTBOARD_SOURCE_DIR "/tests/linux/data/shortcuts-window";

std::string bundle(std::string_view name)
{
    return test::readFile(std::filesystem::path(TEST_BUNDLES) / name);
}

// "title accelerator" per entry of a group as read.
std::vector<std::string> entries(const WindowGroup& group)
{
    std::vector<std::string> out;
    for (const auto& shortcut : group.shortcuts)
        out.push_back(shortcut.title.text + " " + shortcut.accelerator);
    return out;
}

std::string shortcut(std::string_view title, std::string_view accelerator)
{
    return fmt::format(R"(<child><object class="GtkShortcutsShortcut"><property name="title">{}</property>
        <property name="accelerator">{}</property></object></child>)",
                       title, accelerator);
}

std::string window(std::string_view groupTitle, std::string_view shortcuts, std::string_view domain = "")
{
    return fmt::format(R"(<?xml version="1.0" encoding="UTF-8"?>
<interface{}><object class="GtkShortcutsWindow" id="help_overlay"><child><object class="GtkShortcutsSection">
<property name="title">Editor</property><child><object class="GtkShortcutsGroup"><property name="title">{}</property>
{}</object></child></object></child></object></interface>)",
                       domain.empty() ? "" : fmt::format(" domain=\"{}\"", domain), groupTitle, shortcuts);
}

class ShortcutsWindowTest : public testing::Test {
protected:
    std::optional<ShortcutsWindow> read(std::string_view definition) { return readShortcutsWindow(definition, log); }

    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
};

} // namespace

TEST_F(ShortcutsWindowTest, TheBundlesWindowIsFoundTranslatedAndReadOncePerExecutable)
{
    const auto found = findShortcutsWindow(bundle("notes.gresource"), log);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->resourcePath, "/org/example/Notes/gtk/help-overlay.ui");
    EXPECT_EQ(found->window.textDomain, "notes");

    const TitleTranslator german({"elsewhere", "notes"}, {HINTBOARD_SOURCE_DIR "/tests/linux/locale"}, {"de_DE", "de"});
    EXPECT_EQ(german.domain(), "notes");
    // Several accelerators of one shortcut: one entry each.
    auto listed = listedShortcuts(found->window, std::cref(german), found->resourcePath, "notes.gresource");
    ASSERT_EQ(listed.groups.size(), 1u);
    EXPECT_EQ(listed.groups[0].title, "Notizen");
    std::vector<std::string> rows;
    for (const auto& shortcut : listed.groups[0].shortcuts)
        rows.push_back(shortcut.title + " " + shortcut.accelerator);
    EXPECT_THAT(rows, ElementsAre("Neue Notiz <Primary>n", "Search <Primary>f", "Search F3"));
    EXPECT_EQ(listed.groups[0].shortcuts[0].actionName, "app.new-note");
    // Found in a running program's executable: the end-to-end test of GNOME Text Editor.
    EXPECT_FALSE(ShortcutsWindowSource(log).read(999'999'999)) << "no such process";
}

TEST_F(ShortcutsWindowTest, WhatTheNotationCannotShowIsSkippedAndAdwaitaSectionsHoldTheirItems)
{
    auto found = read(test::readFile(data / "unshowable.ui"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->sectionCount, 1u);
    ASSERT_EQ(found->groups.size(), 1u);
    EXPECT_EQ(found->groups[0].section.text, "Editor");
    EXPECT_THAT(entries(found->groups[0]), ElementsAre("Save <Primary>s"));
    EXPECT_EQ(found->groups[0].shortcuts[0].actionName, "win.save");
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper),
                testing::Contains(testing::HasSubstr("range '<alt>1...9' cannot be shown")));

    found = read(test::readFile(data / "adwaita.ui"));
    ASSERT_TRUE(found);
    ASSERT_EQ(found->groups.size(), 1u);
    EXPECT_EQ(found->groups[0].title.text, "Files");
    EXPECT_THAT(entries(found->groups[0]), ElementsAre("Open <Control>o"));
}

TEST_F(ShortcutsWindowTest, HostileDefinitionsAndBundlesGiveNothingOrLessAndReturnQuickly)
{
    std::string deep;
    for (int i = 0; i < 50'000; ++i)
        deep += "<child>";
    EXPECT_FALSE(read(window(deep, "")));
    // Not XML, shortcuts outside a shortcuts window, a window without shortcuts, entities that expand a billionfold.
    for (const auto& file : std::filesystem::directory_iterator(data / "refused"))
        EXPECT_FALSE(read(test::readFile(file.path()))) << file.path();
    EXPECT_FALSE(findShortcutsWindow(bundle("broken.gresource"), log)) << "the definition is no XML";
    EXPECT_FALSE(findShortcutsWindow("GVariant no more", log));
    // Cut bundles: whatever is still found is whole.
    const auto bytes = bundle("notes.gresource");
    ASSERT_GT(bytes.size(), 200u);
    for (std::size_t cut : {std::size_t{24}, bytes.size() / 2, bytes.size() - 8})
        if (auto found = findShortcutsWindow(std::string_view(bytes).substr(0, cut), log)) {
            EXPECT_EQ(found->window.groups.at(0).shortcuts.size(), 3u) << cut;
        }

    // A huge accelerator costs only its shortcut.
    auto found = read(
        window("G", shortcut("Huge", "&lt;ctrl&gt;" + std::string(1 << 20, 'a')) + shortcut("Copy", "&lt;ctrl&gt;c")));
    ASSERT_TRUE(found);
    EXPECT_THAT(entries(found->groups[0]), ElementsAre("Copy <ctrl>c"));

    // Titles are cut before a character, never inside one; a domain that is no file name is dropped.
    const std::string title = std::string(maxTitleBytes - 1, 'x') + "é" + std::string(64 << 10, 'T');
    for (std::string_view domain : {"/home/user/evil", "../../evil", ".hidden"}) {
        found = read(window(title, shortcut(title, "a"), domain));
        ASSERT_TRUE(found);
        EXPECT_EQ(found->textDomain, "") << domain;
        EXPECT_EQ(found->groups[0].title.text, std::string(maxTitleBytes - 1, 'x'));
        EXPECT_EQ(found->groups[0].shortcuts[0].title.text, std::string(maxTitleBytes - 1, 'x'));
    }
}

TEST(ShortcutsWindowGroupTitle, SectionTitlesPrefixGroupsOnlyWhenThereAreSeveral)
{
    const Translate same = [](const UiText& text) { return text.text; };
    ShortcutsWindow window{.sectionCount = 2};
    EXPECT_EQ(groupTitle(window, WindowGroup{UiText{"Editor"}, UiText{"Tabs"}, {}}, same, "Shortcuts"),
              "Editor — Tabs");
    EXPECT_EQ(groupTitle(window, WindowGroup{UiText{"Editor"}, UiText{}, {}}, same, "Shortcuts"), "Editor");
    EXPECT_EQ(groupTitle(window, WindowGroup{}, same, "Shortcuts"), "Shortcuts");
}
