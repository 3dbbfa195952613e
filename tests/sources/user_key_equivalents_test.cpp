#include "sources/user_key_equivalents.h"

#include "support/test_data.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace hb {
namespace {

using platform::PlistDictionary;
using platform::PlistFormat;

TEST(ParseKeyEquivalent, ModifiersInGlyphOrderAndTheWholeKeyTextNamed)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"@~s", "⌥⌘S"}, {"~@s", "⌥⌘S"}, {"@$~^k", "⌃⌥⇧⌘K"}, {"@@s", "⌘S"}, {"s", "S"}, {"@,", "⌘,"},
        {"@a^", "⌘A^"},  // modifier characters after the key belong to the key text
        {"", std::nullopt}, {"@", std::nullopt}, {"^~$@", std::nullopt},
        {"@\t", "⌘⇥"}, {"@ ", "⌘Space"}, {"@\r", "⌘↩"}, {"@\n", "⌘↩"}, {"@\x1b", "⌘⎋"}, {"@\b", "⌘⌫"},
        {"@\x7f", "⌘⌫"}, {"~@\uF728", "⌥⌘⌦"}, {"$@\uF704", "⇧⌘F1"}, {"@\uF710", "⌘F13"}, {"^\uF72C", "⌃⇞"},
        {"@#1", "⌘1"}, {"@#", "⌘#"},  // "#" marks a keypad key; alone it is the key
        {"@ab", "⌘AB"}, {"@é", "⌘É"}, {"@ß", "⌘SS"},
        // Keys that would show nothing give no row: control and unnamed private-use characters.
        {"@\x10", std::nullopt}, {"@\t\t", std::nullopt}, {"@\uF746", std::nullopt}, {"@\uF704x", std::nullopt},
        {"@\xff", "⌘\uFFFD"},  // malformed UTF-8 becomes a replacement character
    };
    for (const auto& [text, keys] : cases)
        EXPECT_EQ(parseKeyEquivalent(text), keys) << text;
}

TEST(UserKeyEquivalents, RowsSortedByLocalizedTitle)
{
    test::TemporaryFolder home;
    test::writePlist(home.path() / "Library/Preferences/.GlobalPreferences.plist",
                     PlistDictionary{{"AppleLocale", "en_US"},
                                     {"NSUserKeyEquivalents", PlistDictionary{
                                                                  {"Zoom", "^~z"},
                                                                  {"Save As…", "$@s"},
                                                                  {"Item 10", "@0"},
                                                                  {"Item 9", "@9"},
                                                                  {"Only Command", "@"},
                                                                  {"Empty", ""},
                                                                  {"Number", 3},
                                                                  {"\x01\x02\u200E", "@x"},
                                                                  {"\u202ABold\u202C", "@b"},
                                                                  {"\x1bWindow\x1bRemove Window from Set", "@e"},
                                                                  {"Invisible", "@\x10"},
                                                              }}},
                     PlistFormat::xml);

    auto group = userKeyEquivalentGroup(UserFolders{home.path(), {}});
    ASSERT_TRUE(group);
    EXPECT_EQ(group->title, "All Applications");
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& row : group->shortcuts) {
        rows.emplace_back(row.title, row.keys);
        EXPECT_FALSE(row.isDisabled);
        EXPECT_FALSE(row.isSeparator);
    }
    EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::string>>{
                        {"Bold", "⌘B"},
                        {"Item 9", "⌘9"},
                        {"Item 10", "⌘0"},
                        {"Save As…", "⇧⌘S"},
                        {"Window › Remove Window from Set", "⌘E"},
                        {"Zoom", "⌃⌥Z"},
                    }));
}

TEST(UserKeyEquivalents, RealFileShowsMenuPathsAndOnlyVisibleKeys)
{
    const auto bytes = test::readTestData("preferences/globalpreferences-key-equivalents.plist");
    if (!bytes)
        GTEST_SKIP() << "no real preference file";
    auto group = userKeyEquivalentGroup(platform::parsePropertyList(*bytes));
    ASSERT_TRUE(group);
    bool found = false;
    for (const auto& row : group->shortcuts) {
        EXPECT_EQ(row.title.find('\x1b'), std::string::npos) << row.title;
        EXPECT_FALSE(row.keys.ends_with("\x10")) << row.title;
        found = found || (row.title == "Window › Remove Window from Set" && row.keys == "⌘E");
    }
    EXPECT_TRUE(found);
}

TEST(UserKeyEquivalents, NoGroupWithoutUsableEntries)
{
    test::TemporaryFolder home;
    const UserFolders folders{home.path(), {}};
    const auto file = home.path() / "Library/Preferences/.GlobalPreferences.plist";
    EXPECT_FALSE(userKeyEquivalentGroup(folders));
    EXPECT_FALSE(userKeyEquivalentGroup(UserFolders{}));

    test::writeFile(file, "<plist><dict><key>NSUserKeyEquivalents</key><dict>");
    EXPECT_FALSE(userKeyEquivalentGroup(folders));
    test::writePlist(file, PlistDictionary{{"AppleLocale", "en_US"}}, PlistFormat::binary);
    EXPECT_FALSE(userKeyEquivalentGroup(folders));
    test::writePlist(file, PlistDictionary{{"NSUserKeyEquivalents", "@s"}}, PlistFormat::binary);
    EXPECT_FALSE(userKeyEquivalentGroup(folders));
    test::writePlist(file, PlistDictionary{{"NSUserKeyEquivalents", PlistDictionary{{"Save", "@"}}}}, PlistFormat::binary);
    EXPECT_FALSE(userKeyEquivalentGroup(folders));
}

} // namespace
} // namespace hb
