#include "model/key_label.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace hb::notation {
namespace {

using Cases = std::vector<std::pair<std::string, std::string>>;

void expectWords(const Cases& cases)
{
    for (const auto& [keys, words] : cases)
        EXPECT_EQ(keyLabel(keys, KeyLabels::words), words) << keys;
}

TEST(KeyLabel, WordsNameModifiersInToolkitOrder)
{
    expectWords({
        {"⌃⇧S", "Ctrl+Shift+S"},
        {"⌥F4", "Alt+F4"},
        {"⌘D", "Super+D"},
        {"⌃⌥⇧⌘K", "Ctrl+Alt+Shift+Super+K"},
        {"⌥⌘K", "Alt+Super+K"},
        {"F1", "F1"},
    });
}

TEST(KeyLabel, WordsForEveryKindOfKey)
{
    expectWords({
        // Letters, digits, punctuation with and without Shift.
        {"⌃A", "Ctrl+A"}, {"⌃Z", "Ctrl+Z"}, {"⌃0", "Ctrl+0"}, {"⌃9", "Ctrl+9"},
        {"⌃,", "Ctrl+,"}, {"⌃.", "Ctrl+."}, {"⌃-", "Ctrl+-"}, {"⌃=", "Ctrl+="}, {"⌃/", "Ctrl+/"},
        {"⌃⇧?", "Ctrl+Shift+?"}, {"⌃⇧!", "Ctrl+Shift+!"}, {"⌃+", "Ctrl+Plus"}, {"⌃⇧+", "Ctrl+Shift+Plus"},
        {"⌃\\", "Ctrl+Backslash"}, {"⌃`", "Ctrl+`"}, {"⌃[", "Ctrl+["},
        // Function keys.
        {"F5", "F5"}, {"⇧F10", "Shift+F10"}, {"⌃F20", "Ctrl+F20"},
        // Arrows and the keys above them.
        {"⌥←", "Alt+Left"}, {"⌥→", "Alt+Right"}, {"⌃↑", "Ctrl+Up"}, {"⌃↓", "Ctrl+Down"},
        {"⌃⇞", "Ctrl+Page Up"}, {"⌃⇟", "Ctrl+Page Down"}, {"↖", "Home"}, {"⌃↘", "Ctrl+End"},
        {"⇧⌦", "Shift+Delete"}, {"⌃⌫", "Ctrl+Backspace"}, {"⇧Ins", "Shift+Insert"},
        // Keypad: Enter and Clear keep their own names, its other keys read as the main ones.
        {"⌃⌅", "Ctrl+KP Enter"}, {"⌧", "Clear"},
        // Space, Tab, Return, Escape, Caps Lock.
        {"⌃Space", "Ctrl+Space"}, {"⌃⇥", "Ctrl+Tab"}, {"⇤", "Left Tab"}, {"⌃↩", "Ctrl+Return"},
        {"⎋", "Escape"}, {"⇪", "Caps Lock"},
        // Media keys and other named keys are words already.
        {"Volume Up", "Volume Up"}, {"⌘Play", "Super+Play"}, {"Print", "Print"}, {"⌃Pause", "Ctrl+Pause"},
    });
}

TEST(KeyLabel, AModifierGlyphThatEndsTheKeysIsTheKey)
{
    // The menu glyph of the ⌘ key, without and with Control.
    expectWords({{"⌘", "Super"}, {"⌃⌘", "Ctrl+Super"}, {"", ""}});
    EXPECT_EQ(keyLabel("anything else", KeyLabels::words), "anything else");
}

TEST(KeyLabel, SymbolsAreTheNotationAndModifierLabelsFollowTheStyle)
{
    for (const char* keys : {"⌃⇧S", "⌥⌘K", "⌃⇞", "F1", ""})
        EXPECT_EQ(keyLabel(keys, KeyLabels::symbols), keys);
    EXPECT_EQ(modifierLabel("⌃", KeyLabels::words), "Ctrl");
    EXPECT_EQ(modifierLabel("⌥", KeyLabels::words), "Alt");
    EXPECT_EQ(modifierLabel("⇧", KeyLabels::words), "Shift");
    EXPECT_EQ(modifierLabel("⌘", KeyLabels::words), "Super");
    EXPECT_EQ(modifierLabel("⌘", KeyLabels::symbols), "⌘");

    EXPECT_EQ(keyLabelsStoredAs("symbols"), KeyLabels::symbols);
    EXPECT_EQ(keyLabelsStoredAs("words"), KeyLabels::words);
    EXPECT_EQ(keyLabelsStoredAs("Symbols"), KeyLabels::words) << "an unknown name reads as the default";
    EXPECT_EQ(storedName(KeyLabels::symbols), "symbols");
}

} // namespace
} // namespace hb::notation
