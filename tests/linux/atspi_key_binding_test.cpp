#include "platform/linux/atspi_key_binding.h"

#include "model/key_notation.h"

#include <gtest/gtest.h>

namespace hb::linux_platform {
namespace {

// The notation a menu item with this key binding shows, or "" for none.
std::string shown(std::string_view binding, KeyBindingStyle style, std::string_view title = "Item",
                  bool opensSubmenu = false)
{
    auto key = parseKeyBinding(binding, style, title, opensSubmenu);
    if (!key)
        return "";
    return notation::menuKeyNotation(key->character, key->virtualKey, key->glyph, key->modifiers).value_or("?");
}

struct Case {
    std::string_view binding, expected;
};

TEST(AtspiKeyBinding, GtkAcceleratorIsTheThirdField)
{
    const Case cases[] = {
        {"n;<Alt>f:n;<Primary>n", "⌃N"}, {"o;<Alt>e:r:o;<Primary><Alt>u", "⌃⌥U"}, {"u;<Alt>e:m:u;<Alt>Up", "⌥↑"},
        {";;<Control><Mod1>Page_Down", "⌃⌥⇟"}, {";;<Ctl><Shft><Mod4>k", "⌃⇧⌘K"}, {";;<Primary>plus", "⌃+"},
        {";;<Primary><Shift> ", "⌃⇧Space"},  // a literal space, as LibreOffice's native menu bar gives it
        {";;<Primary>KP_Enter", "⌃⌅"}, {";;<Primary>ISO_Left_Tab", "⌃⇥"}, {";;<Primary>KP_Next", "⌃⇟"},
        {";;<Primary>KP_5", "⌃5"}, {";;<Primary>F20", "⌃F20"},
        // Menus and items without an accelerator, and keys the notation cannot name.
        {"<Alt>f;<Alt>f;", ""}, {"a;<Alt>r", ""}, {";;<Primary>F21", ""}, {";;<Hyper>x", ""}, {";;<Primary>", ""},
    };
    for (const auto& [binding, expected] : cases)
        EXPECT_EQ(shown(binding, KeyBindingStyle::gtk), expected) << binding;
    // The accelerator as GTK names it, for pressing it.
    EXPECT_EQ(gtkAccelerator("o;<Alt>f:o;<Primary>o"), "<Primary>o");
    EXPECT_EQ(gtkAccelerator("a;<Alt>r"), "");
}

TEST(AtspiKeyBinding, QtShortcutsWithModifiersAndNamedKeys)
{
    const Case cases[] = {
        {"Meta+Shift+Z", "⇧⌘Z"}, {"F1", "F1"}, {"Ctrl++", "⌃+"}, {"Ctrl+,", "⌃,"}, {"Del", "⌦"},
        {"Ctrl+Backtab", "⌃⇥"}, {"Ctrl+Enter", "⌃⌅"}, {"Ctrl+Return", "⌃↩"}, {"Ctrl+Print", "⌃Print"},
        {"Ctrl+K, Ctrl+C", ""}, {"Hyper+X", ""}, {"F21", ""},
    };
    for (const auto& [binding, expected] : cases)
        EXPECT_EQ(shown(binding, KeyBindingStyle::qt), expected) << binding;
}

TEST(AtspiKeyBinding, QtAltLetterIsAMnemonicWhenTheTitleHasTheLetterOrTheItemOpensASubmenu)
{
    const auto qt = KeyBindingStyle::qt;
    EXPECT_EQ(shown("Alt+E", qt, "Save with Encoding"), "");
    EXPECT_EQ(shown("Alt+X", qt, "Recent", true), "");
    // A real Alt shortcut: the letter is not in the title, or more than Alt is held.
    EXPECT_EQ(shown("Alt+Right", qt, "Next Tab"), "⌥→");
    EXPECT_EQ(shown("Alt+Q", qt, "Close"), "⌥Q");
    EXPECT_EQ(shown("Ctrl+Alt+C", qt, "Close"), "⌃⌥C");
}

TEST(AtspiKeyBinding, StyleFollowsTheToolkitElseTheText)
{
    EXPECT_EQ(keyBindingStyle("GTK", "Ctrl+N"), KeyBindingStyle::gtk);
    EXPECT_EQ(keyBindingStyle("Qt", "n;<Alt>f:n;<Primary>n"), KeyBindingStyle::qt);
    EXPECT_EQ(keyBindingStyle("", "x;;"), KeyBindingStyle::gtk);
    EXPECT_EQ(keyBindingStyle("", "Ctrl+;"), KeyBindingStyle::qt);
}

} // namespace
} // namespace hb::linux_platform
