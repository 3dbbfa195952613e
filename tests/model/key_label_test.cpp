// Keys GTK names alike are compared with GTK's own labels in tests/key_labels_gtk;
// these are the glyphs and forms that comparison cannot reach.
#include "model/key_label.h"

#include <gtest/gtest.h>

namespace hb::notation {
namespace {

TEST(KeyLabel, WordsInToolkitOrderAndGlyphsWithoutAGtkTwin)
{
    const std::pair<const char*, const char*> cases[] = {
        {"⌃⌥⇧⌘K", "Ctrl+Alt+Shift+Super+K"}, {"⌥⌘K", "Alt+Super+K"}, {"F1", "F1"}, {"", ""},
        {"⌃⇧+", "Ctrl+Shift+Plus"}, {"⌃\\", "Ctrl+Backslash"}, {"⇤", "Left Tab"}, {"⌧", "Clear"},
        {"⇪", "Caps Lock"}, {"⌃⌅", "Ctrl+KP Enter"}, {"⇧Ins", "Shift+Insert"}, {"⌘Play", "Super+Play"},
        // A modifier glyph that ends the keys is the key (the menu glyph of the ⌘ key).
        {"⌘", "Super"}, {"⌃⌘", "Ctrl+Super"}, {"anything else", "anything else"},
    };
    for (const auto& [keys, words] : cases)
        EXPECT_EQ(keyLabel(keys, KeyLabels::words), words) << keys;
}

TEST(KeyLabel, SymbolsAreTheNotationAndModifierLabelsFollowTheStyle)
{
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

} // namespace
} // namespace hb::notation
