#include "model/key_notation.h"

#include <gtest/gtest.h>

using namespace hb::notation;

TEST(KeyNotation, ModifierGlyphsFollowTheFixedOrderAndTheNoCommandBit)
{
    EXPECT_EQ(menuModifierGlyphs(0), "⌘");
    EXPECT_EQ(menuModifierGlyphs(1), "⇧⌘");
    EXPECT_EQ(menuModifierGlyphs(8), "");
    EXPECT_EQ(menuModifierGlyphs(12), "⌃");
    EXPECT_EQ(menuModifierGlyphs(15), "⌃⌥⇧");
    EXPECT_EQ(menuModifierGlyphs(16 + 2), "⌥⌘") << "unknown bits are ignored";
}

TEST(KeyNotation, MenuModifierMaskFromEventFlags)
{
    EXPECT_EQ(menuModifierMask(eventFlag::command | eventFlag::shift), 1);
    EXPECT_EQ(menuModifierMask(eventFlag::control), 12);
    EXPECT_EQ(menuModifierMask(0), 8);
    EXPECT_EQ(menuModifierMask(eventFlag::all | 0x10000), 7) << "caps lock is ignored";
}

TEST(KeyNotation, MenuKeyNamePrefersCharacterThenGlyphThenVirtualKey)
{
    EXPECT_EQ(menuKeyNotation("s", {}, {}, {}), "⌘S");
    EXPECT_EQ(menuKeyNotation("s", {}, {}, 1), "⇧⌘S");
    EXPECT_EQ(menuKeyNotation({}, 122, {}, 8), "F1");
    EXPECT_EQ(menuKeyNotation({}, {}, 27, 12), "⌃⎋");
    EXPECT_EQ(menuKeyName("a", 36, 27), "A");
    EXPECT_EQ(menuKeyName({}, 36, 27), "⎋");
    EXPECT_EQ(menuKeyName("", 36, {}), "↩") << "an empty character falls through";
    EXPECT_EQ(menuKeyName({}, 49, 0), "Space") << "glyph 0 is no glyph";
    EXPECT_EQ(menuKeyName({}, {}, 9), "Space");
}

TEST(KeyNotation, MenuKeyCharacters)
{
    EXPECT_EQ(menuKeyName("\xEF\x9C\x84", {}, {}), "F1");          // U+F704
    EXPECT_EQ(menuKeyName("\xEF\x9D\x86", 114, {}), std::nullopt); // U+F746, not in any table
    EXPECT_EQ(menuKeyName("\xEF\x9D\x86", 122, {}), "F1") << "an unknown function key falls through";
    EXPECT_EQ(menuKeyName("\xEF\x9C\xA7", {}, {}), "Ins");      // U+F727
    EXPECT_EQ(menuKeyName(",", {}, {}), ",");
    EXPECT_EQ(menuKeyName("+", {}, {}), "+");
    EXPECT_EQ(menuKeyName(" ", {}, {}), "Space");
    EXPECT_EQ(menuKeyName("\x03", {}, {}), "↩");
    EXPECT_EQ(menuKeyName("\x7F", {}, {}), "⌫");
    EXPECT_EQ(menuKeyName("\x1B", {}, {}), "⎋");
    EXPECT_EQ(menuKeyName("\t", {}, {}), "⇥");
    EXPECT_EQ(menuKeyName("é", {}, {}), "É");
    EXPECT_EQ(menuKeyName("ß", {}, {}), "ß") << "one key, one character";
    EXPECT_EQ(menuKeyName("\u00A0", {}, 104), "↑");
    EXPECT_EQ(menuKeyName("\x01", {}, {}), std::nullopt);
    // Irregular entries of the key tables.
    EXPECT_EQ(virtualKeyName(90), "F20");
    EXPECT_EQ(virtualKeyName(64), "F17");
    EXPECT_EQ(functionKeyName(0xF72D), "⇟");
    EXPECT_EQ(menuGlyphName(99), "⇪");
}

TEST(KeyNotation, EventNotationTriesKeyCodeBeforeCharacters)
{
    EXPECT_EQ(eventKeyNotation(49, eventFlag::command, " "), "⌘Space");
    EXPECT_EQ(eventKeyNotation(0, eventFlag::shift | eventFlag::command, "a"), "⇧⌘A");
    EXPECT_EQ(eventKeyNotation(76, 0, "\x03"), "⌅");
    EXPECT_EQ(eventKeyNotation(40, eventFlag::all, "k"), "⌃⌥⇧⌘K");
    EXPECT_EQ(eventKeyNotation(56, eventFlag::shift, ""), std::nullopt) << "modifier alone";
    EXPECT_EQ(eventKeyNotation(56, eventFlag::shift, std::nullopt), std::nullopt);
    EXPECT_EQ(eventKeyNotation(200, 0, "\xEF\x9C\x80"), "↑");
    EXPECT_EQ(eventKeyNotation(200, 0, "\xEF\x9D\x86"), std::nullopt);
    EXPECT_EQ(eventKeyNotation(200, eventFlag::command, "é"), "⌘É");
    EXPECT_EQ(eventKeyNotation(200, 0, "aø"), "AØ") << "the whole text, upper-cased";
    EXPECT_EQ(eventKeyNotation(200, 0, "\x01"), std::nullopt);
}

TEST(KeyNotation, KeyCodesWithoutCharacterNameTheirAnsiPosition)
{
    EXPECT_EQ(eventKeyNotation(18, eventFlag::control, std::nullopt), "⌃1");
    EXPECT_EQ(eventKeyNotation(40, eventFlag::option | eventFlag::command, ""), "⌥⌘K");
    EXPECT_EQ(eventKeyNotation(12, 0, "a"), "A") << "the character of the layout wins over the position";
    EXPECT_EQ(menuKeyNotation(std::nullopt, 42, std::nullopt, 12), "⌃\\");
    EXPECT_EQ(menuKeyName({}, 83, {}), "1");
    EXPECT_EQ(menuKeyName({}, 114, {}), std::nullopt);
}
