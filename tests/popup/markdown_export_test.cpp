#include "popup/markdown_export.h"

#include <gtest/gtest.h>

#include "support/model_builders.h"

namespace hb::markdown {
namespace {

using hb::test::group;
using hb::test::row;
using hb::test::section;

constexpr auto symbols = notation::KeyLabels::symbols;

TEST(MarkdownExport, DocumentListsEveryRowWithKeysByMenuAndSubmenuEscapingTheMarkup)
{
    AppShortcuts app;
    app.appName = "Text_Edit #1";
    Shortcut disabled = row("Show *All*", "⌥⌘H");
    disabled.isDisabled = true;
    app.sections = {
        section("File", {group({}, {row("New [Window]", "⌘N"), Shortcut::separator(), row("Open…", "")}),
                         group("Open Recent", {row("Clear Menu", "")})}),
        section("Help", {group({}, {row("Search", "")})}),
        section("Edit", {group({}, {row("Tick `quote`", "⌘`"), disabled}),
                         group("Find <tools>", {row("Find | Replace", "⌥⌘F"), row("Use \\ Selection", "⌘E")})}),
    };

    EXPECT_EQ(document(app, symbols), "# Text\\_Edit \\#1\n"
                                      "\n"
                                      "## File\n"
                                      "- `⌘N` — New \\[Window\\]\n"
                                      "\n"
                                      "## Edit\n"
                                      "- `` ⌘` `` — Tick \\`quote\\`\n"
                                      "- `⌥⌘H` — Show \\*All\\*\n"
                                      "### Find \\<tools\\>\n"
                                      "- `⌥⌘F` — Find \\| Replace\n"
                                      "- `⌘E` — Use \\\\ Selection");

    // In words every row is still there, its keys written out.
    const std::string words = document(app, notation::KeyLabels::words);
    EXPECT_EQ(std::count(words.begin(), words.end(), '\n'), 10);
    EXPECT_NE(words.find("- `` Super+` `` — Tick \\`quote\\`\n- `Alt+Super+H` — Show"), std::string::npos) << words;

    // Without a row with keys the document is only its heading.
    app.sections = {section("View", {group({}, {row("Basic", ""), Shortcut::separator()})})};
    EXPECT_EQ(document(app, symbols), "# Text\\_Edit \\#1");

    // Escaping covers exactly the markup characters.
    EXPECT_EQ(escaped("\\`*_[]<>!#|"), "\\\\\\`\\*\\_\\[\\]\\<\\>\\!\\#\\|");
    EXPECT_EQ(escaped("a-b+c.(d) ~e~ 1. „é“ ⌘"), "a-b+c.(d) ~e~ 1. „é“ ⌘");
}

} // namespace
} // namespace hb::markdown
