#include "linux/shortcuts_window_source.h"

#include "fake/memory_log.h"
#include "support/message_catalog_file.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>


using namespace hb;
using namespace hb::linux_platform;

namespace {

std::string bundle(std::string_view name) { return test::readFile(std::filesystem::path(TEST_BUNDLES) / name); }

std::vector<std::string> rowTexts(const ListedShortcuts& listed)
{
    std::vector<std::string> rows;
    for (const auto& group : listed.groups)
        for (const auto& shortcut : group.shortcuts)
            rows.push_back(group.title + ": " + shortcut.title + " " + shortcut.accelerator);
    return rows;
}

class ShortcutsWindowSourceTest : public testing::Test {
protected:
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
};

} // namespace

TEST_F(ShortcutsWindowSourceTest, TheWindowIsFoundAmongTheBundlesDefinitionsAndTranslated)
{
    const auto bytes = bundle("notes.gresource");
    auto found = findShortcutsWindow(bytes, log);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->resourcePath, "/org/example/Notes/gtk/help-overlay.ui");
    EXPECT_EQ(found->window.textDomain, "notes");

    test::TemporaryFolder locale;
    test::writeFile(locale.path() / "de/LC_MESSAGES/notes.mo",
                    test::messageCatalog({{"shortcut window\x04New note", "Neue Notiz"},
                                          {"shortcut window\x04Notes", "Notizen"}},
                                         false));
    const TitleTranslator german({"elsewhere", "notes"}, {locale.path()}, {"de_DE", "de"});
    EXPECT_EQ(german.domain(), "notes");
    auto listed = listedShortcuts(found->window, std::cref(german), found->resourcePath, "notes.gresource");
    EXPECT_THAT(rowTexts(listed), testing::ElementsAre("Notizen: Neue Notiz <Primary>n", "Notizen: Search <Primary>f",
                                                       "Notizen: Search F3"));
    EXPECT_EQ(listed.groups[0].shortcuts[0].actionName, "app.new-note");
}

TEST_F(ShortcutsWindowSourceTest, ARunningProgramsOwnBundleIsReadOnceFromItsExecutable)
{
    ShortcutsWindowSource source(log);
    auto first = source.read(getpid());
    ASSERT_TRUE(first);
    EXPECT_THAT(first->origin(), testing::StartsWith("/org/example/Notes/gtk/help-overlay.ui in /"));
    EXPECT_THAT(rowTexts(*first), testing::Contains("Notes: New note <Primary>n"));
    EXPECT_EQ(source.read(getpid()), first) << "kept per executable";
    EXPECT_FALSE(source.read(999'999'999)) << "no such process";
}

TEST_F(ShortcutsWindowSourceTest, BrokenBundlesGiveNoWindow)
{
    EXPECT_FALSE(findShortcutsWindow(bundle("broken.gresource"), log)) << "the definition is no XML";
    EXPECT_FALSE(findShortcutsWindow("GVariant no more", log));
    const auto bytes = bundle("notes.gresource");
    ASSERT_GT(bytes.size(), 200u);
    // Cut bundles: whatever is still found is whole.
    for (std::size_t cut : {std::size_t{24}, bytes.size() / 2, bytes.size() - 8})
        if (auto found = findShortcutsWindow(std::string_view(bytes).substr(0, cut), log))
            EXPECT_EQ(found->window.groups.at(0).shortcuts.size(), 3u) << cut;
}
