#include "sources/user_key_equivalents.h"

#include "support/model_builders.h"
#include "test_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::PlistDictionary;
using platform::PlistFormat;
using testing::ElementsAre;

TEST(ParseKeyEquivalent, ModifiersInGlyphOrderAndTheWholeKeyTextNamed)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"@$~^k", "⌃⌥⇧⌘K"},
        {"s", "S"},
        {"@a^", "⌘A^"}, // modifier characters after the key belong to the key text
        {"", std::nullopt},
        {"^~$@", std::nullopt},
        {"@\t", "⌘⇥"},
        {"@ ", "⌘Space"},
        {"@\x7f", "⌘⌫"},
        {"$@\uF704", "⇧⌘F1"},
        {"^\uF72C", "⌃⇞"},
        {"@#1", "⌘1"},
        {"@#", "⌘#"}, // "#" marks a keypad key; alone it is the key
        {"@ß", "⌘SS"},
        // Keys that would show nothing give no row: control and unnamed private-use characters.
        {"@\x10", std::nullopt},
        {"@\uF746", std::nullopt},
        {"@\uF704x", std::nullopt},
        {"@\xff", "⌘\uFFFD"}, // malformed UTF-8 becomes a replacement character
    };
    for (const auto& [text, keys] : cases)
        EXPECT_EQ(parseKeyEquivalent(text), keys) << text;
}

TEST(UserKeyEquivalents, RowsSortedByLocalizedTitleAndNoGroupWithoutUsableEntries)
{
    test::TemporaryFolder home;
    const UserFolders folders{home.path(), {}};
    const auto file = home.path() / "Library/Preferences/.GlobalPreferences.plist";
    EXPECT_FALSE(userKeyEquivalentGroup(folders));
    for (const auto& unusable :
         {PlistDictionary{{"AppleLocale", "en_US"}}, PlistDictionary{{"NSUserKeyEquivalents", "@s"}},
          PlistDictionary{{"NSUserKeyEquivalents", PlistDictionary{{"Save", "@"}}}}}) {
        test::writePlist(file, unusable, PlistFormat::binary);
        EXPECT_FALSE(userKeyEquivalentGroup(folders));
    }

    // Numbered, unnamed, control and bidi-marked titles, a menu path, a number, keys that show nothing.
    std::filesystem::copy_file(HINTBOARD_SOURCE_DIR "/tests/sources/data/GlobalPreferences.plist", file,
                               std::filesystem::copy_options::overwrite_existing);
    auto group = userKeyEquivalentGroup(folders);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->title, "All Applications");
    using test::Row;
    EXPECT_THAT(test::rowsOf(group->shortcuts),
                ElementsAre(Row{"Bold", "⌘B"}, Row{"Item 9", "⌘9"}, Row{"Item 10", "⌘0"},
                            Row{"Window › Remove Window from Set", "⌘E"}, Row{"Zoom", "⌃⌥Z"}));
}

} // namespace
} // namespace hb
