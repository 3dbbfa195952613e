#include "model/key_label.h"
#include "model/key_notation.h"

#include <gtest/gtest.h>

using namespace hb::notation;
using Text = std::optional<std::string>;
using Number = std::optional<std::int64_t>;

TEST(KeyNotation, ModifierGlyphsFollowTheFixedOrderAndTheNoCommandBit)
{
    const std::pair<int, const char*> masks[] = {{0, "⌘"},  {1, "⇧⌘"},   {8, ""},
                                                 {12, "⌃"}, {15, "⌃⌥⇧"}, {16 + 2, "⌥⌘"}}; // unknown bits are ignored
    for (const auto& [mask, glyphs] : masks)
        EXPECT_EQ(menuModifierGlyphs(mask), glyphs) << mask;
    const std::pair<std::uint64_t, int> flags[] = {{eventFlag::command | eventFlag::shift, 1},
                                                   {eventFlag::control, 12},
                                                   {0, 8},
                                                   {eventFlag::all | 0x10000, 7}}; // caps lock is ignored
    for (const auto& [flag, mask] : flags)
        EXPECT_EQ(menuModifierMask(flag), mask) << flag;
}

// A menu item's key: its character first, then its glyph, then its virtual key.
TEST(KeyNotation, MenuKeysByCharacterThenGlyphThenVirtualKey)
{
    struct Case {
        Text character;
        Number virtualKey, glyph, mask;
        Text expected;
    };
    const Case cases[] = {
        {"s", {}, {}, {}, "⌘S"},
        {"s", {}, {}, 1, "⇧⌘S"},
        {{}, 122, {}, 8, "F1"},
        {{}, {}, 27, 12, "⌃⎋"},
        {{}, 42, {}, 12, "⌃\\"},
        {"a", 36, 27, 8, "A"},
        {{}, 36, 27, 8, "⎋"},
        {"", 36, {}, 8, "↩"}, // an empty character falls through
        {{}, 49, 0, 8, "Space"},
        {{}, {}, 9, 8, "Space"},                    // glyph 0 is no glyph
        {"\xEF\x9C\x80", {}, {}, 8, "↑"},           // U+F700, the first function key
        {"\xEF\x9C\x84", {}, {}, 8, "F1"},          // U+F704
        {"\xEF\x9D\x86", 114, {}, 8, std::nullopt}, // U+F746, not in any table
        {"\xEF\x9D\x86", 122, {}, 8, "F1"},         // an unknown function key falls through
        {"\xEF\x9C\xA7", {}, {}, 8, "Ins"},
        {",", {}, {}, 8, ","},
        {"+", {}, {}, 8, "+"},
        {"!", {}, {}, 8, "!"},
        {" ", {}, {}, 8, "Space"},
        {"\x03", {}, {}, 8, "↩"},
        {"\x7F", {}, {}, 8, "⌫"},
        {"\x1B", {}, {}, 8, "⎋"},
        {"\t", {}, {}, 8, "⇥"},
        {"é", {}, {}, 8, "É"},
        {"ß", {}, {}, 8, "ß"}, // one key, one character
        {"\u00A0", {}, 104, 8, "↑"},
        {"\x01", {}, {}, 8, std::nullopt},
        {{}, 83, {}, 8, "1"},
        {{}, 114, {}, 8, std::nullopt}, // an ANSI keypad position; a key without a name
    };
    for (const auto& c : cases)
        EXPECT_EQ(menuKeyNotation(c.character, c.virtualKey, c.glyph, c.mask), c.expected)
            << c.character.value_or("-") << " " << c.virtualKey.value_or(-1) << " " << c.glyph.value_or(-1);
    // Irregular entries of the key tables.
    EXPECT_EQ(virtualKeyName(90), "F20");
    EXPECT_EQ(virtualKeyName(64), "F17");
    EXPECT_EQ(functionKeyName(0xF72D), "⇟");
    EXPECT_EQ(menuGlyphName(99), "⇪");
    // Values that are no Unicode scalar are written as U+FFFD.
    EXPECT_EQ(utf8Encoded(0xD800), "\uFFFD");
    EXPECT_EQ(utf8Encoded(0x110000), "\uFFFD");
}

// A key press: its key code's name, else its characters, else its ANSI position.
TEST(KeyNotation, EventNotationTriesKeyCodeBeforeCharacters)
{
    struct Case {
        std::int64_t keyCode;
        std::uint64_t flags;
        Text characters, expected;
    };
    // 56 is a modifier alone; "aø" is upper-cased whole; at 12 the layout's character wins over the position.
    for (const auto& c :
         {Case{49, eventFlag::command, " ", "⌘Space"}, Case{0, eventFlag::shift | eventFlag::command, "a", "⇧⌘A"},
          Case{76, 0, "\x03", "⌅"}, Case{40, eventFlag::all, "k", "⌃⌥⇧⌘K"},
          Case{56, eventFlag::shift, "", std::nullopt}, Case{56, eventFlag::shift, std::nullopt, std::nullopt},
          Case{200, 0, "\xEF\x9C\x80", "↑"}, Case{200, 0, "\xEF\x9D\x86", std::nullopt},
          Case{200, eventFlag::command, "é", "⌘É"}, Case{200, 0, "aø", "AØ"}, Case{200, 0, "\x01", std::nullopt},
          Case{200, 0, " ", "Space"}, Case{200, 0, "!", "!"}, Case{18, eventFlag::control, std::nullopt, "⌃1"},
          Case{40, eventFlag::option | eventFlag::command, "", "⌥⌘K"}, Case{12, 0, "a", "A"}})
        EXPECT_EQ(eventKeyNotation(c.keyCode, c.flags, c.characters), c.expected)
            << c.keyCode << " " << c.characters.value_or("-");
}

// Keys GTK names alike are compared with GTK's own labels in tests/key_labels_gtk;
// these are the glyphs and forms that comparison cannot reach.
TEST(KeyLabel, WordsInToolkitOrderSymbolsAsNotatedAndGlyphsWithoutAGtkTwin)
{
    // A modifier glyph that ends the keys is the key (the menu glyph of the ⌘ key).
    using Pair = std::pair<const char*, const char*>;
    for (const auto& [keys, words] :
         {Pair{"⌃⌥⇧⌘K", "Ctrl+Alt+Shift+Super+K"}, Pair{"⌥⌘K", "Alt+Super+K"}, Pair{"F1", "F1"}, Pair{"", ""},
          Pair{"⌃⇧+", "Ctrl+Shift+Plus"}, Pair{"⌃\\", "Ctrl+Backslash"}, Pair{"⇤", "Left Tab"}, Pair{"⌧", "Clear"},
          Pair{"⇪", "Caps Lock"}, Pair{"⌃⌅", "Ctrl+KP Enter"}, Pair{"⇧Ins", "Shift+Insert"},
          Pair{"⌘Play", "Super+Play"}, Pair{"⌘", "Super"}, Pair{"⌃⌘", "Ctrl+Super"},
          Pair{"anything else", "anything else"}})
        EXPECT_EQ(keyLabel(keys, KeyLabels::words), words) << keys;

    for (const char* keys : {"⌃⇧S", "⌥⌘K", "⌃⇞", ""})
        EXPECT_EQ(keyLabel(keys, KeyLabels::symbols), keys);
    EXPECT_EQ(modifierLabel("⌃", KeyLabels::words), "Ctrl");
    EXPECT_EQ(modifierLabel("⌘", KeyLabels::words), "Super");
    EXPECT_EQ(modifierLabel("⌘", KeyLabels::symbols), "⌘");

    EXPECT_EQ(keyLabelsStoredAs("symbols"), KeyLabels::symbols);
    EXPECT_EQ(keyLabelsStoredAs("words"), KeyLabels::words);
    EXPECT_EQ(keyLabelsStoredAs("Symbols"), KeyLabels::words) << "an unknown name reads as the default";
    EXPECT_EQ(storedName(KeyLabels::symbols), "symbols");
}
