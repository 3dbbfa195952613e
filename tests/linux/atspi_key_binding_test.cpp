#include "platform/linux/atspi_key_binding.h"

#include "model/key_notation.h"

#include <fmt/format.h>
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

TEST(AtspiKeyBinding, GtkAcceleratorIsTheThirdField)
{
    const auto gtk = KeyBindingStyle::gtk;
    EXPECT_EQ(shown("n;<Alt>f:n;<Primary>n", gtk), "⌃N");
    EXPECT_EQ(shown("w;<Alt>f:w;<Primary><Shift>n", gtk), "⌃⇧N");
    EXPECT_EQ(shown("o;<Alt>e:r:o;<Primary><Alt>u", gtk), "⌃⌥U");
    EXPECT_EQ(shown("d;<Alt>e:d;Delete", gtk), "⌦");
    EXPECT_EQ(shown("u;<Alt>e:m:u;<Alt>Up", gtk), "⌥↑");
    EXPECT_EQ(shown("f;<Alt>v:f;F11", gtk), "F11");
    EXPECT_EQ(shown(";;<Control><Mod1>Page_Down", gtk), "⌃⌥⇟");
    EXPECT_EQ(shown(";;<Super>q", gtk), "⌘Q");
    EXPECT_EQ(shown(";;<Primary>plus", gtk), "⌃+");
    EXPECT_EQ(shown(";;<Primary>space", gtk), "⌃Space");
    EXPECT_EQ(shown(";;<Shift>Return", gtk), "⇧↩");
    EXPECT_EQ(shown(";;KP_Enter", gtk), "⌅");
    EXPECT_EQ(shown(";;<Primary><Shift> ", gtk), "⌃⇧Space") << "a literal space";
    EXPECT_EQ(shown(";;<Shift>Insert", gtk), "⇧Ins");
    // LibreOffice's native menu bar (View › Formatting Marks, Navigator, Insert non-breaking space).
    EXPECT_EQ(shown("m;<Alt>v:m;<Primary>F10", gtk), "⌃F10");
    EXPECT_EQ(shown("v;<Alt>v:v;F5", gtk), "F5");
    EXPECT_EQ(shown("n;<Alt>i:f:n;<Primary><Shift> ", gtk), "⌃⇧Space");
    EXPECT_EQ(shown("w;<Alt>i:f:w;<Alt><Shift> ", gtk), "⌥⇧Space");
    // Menus and items without an accelerator, and keys the notation cannot name.
    EXPECT_EQ(shown("<Alt>f;<Alt>f;", gtk), "");
    EXPECT_EQ(shown("m;<Alt>f:m;", gtk), "");
    EXPECT_EQ(shown("", gtk), "");
    EXPECT_EQ(shown("a;<Alt>r", gtk), "") << "a mnemonic and its path, no accelerator";
    EXPECT_EQ(shown(";;<Primary>F21", gtk), "");
    EXPECT_EQ(shown(";;<Hyper>x", gtk), "");
    EXPECT_EQ(shown(";;<Primary>", gtk), "");
    // The accelerator as GTK names it, for pressing it.
    EXPECT_EQ(gtkAccelerator("o;<Alt>f:o;<Primary>o"), "<Primary>o");
    EXPECT_EQ(gtkAccelerator("a;<Alt>r"), "");
}

TEST(AtspiKeyBinding, QtShortcutsWithModifiersAndNamedKeys)
{
    const auto qt = KeyBindingStyle::qt;
    EXPECT_EQ(shown("Ctrl+N", qt), "⌃N");
    EXPECT_EQ(shown("Ctrl+Shift+R", qt), "⌃⇧R");
    EXPECT_EQ(shown("Meta+Shift+Z", qt), "⇧⌘Z");
    EXPECT_EQ(shown("F1", qt), "F1");
    EXPECT_EQ(shown("Ctrl++", qt), "⌃+");
    EXPECT_EQ(shown("Ctrl+,", qt), "⌃,");
    EXPECT_EQ(shown("Del", qt), "⌦");
    EXPECT_EQ(shown("Shift+Tab", qt), "⇧⇥");
    EXPECT_EQ(shown("Esc", qt), "⎋");
    EXPECT_EQ(shown("PgDown", qt), "⇟");
    EXPECT_EQ(shown("Ctrl+Space", qt), "⌃Space");
    EXPECT_EQ(shown("Ins", qt), "Ins");
    EXPECT_EQ(shown("Ctrl+Shift+Ins", qt), "⌃⇧Ins");
    EXPECT_EQ(shown("Ctrl+K, Ctrl+C", qt), "");
    EXPECT_EQ(shown("Hyper+X", qt), "");
    EXPECT_EQ(shown("F21", qt), "");
}

TEST(AtspiKeyBinding, EveryNamedKeyOfBothForms)
{
    const std::pair<std::string_view, std::string_view> gtkKeys[] = {
        {"Return", "↩"}, {"KP_Enter", "⌅"}, {"Tab", "⇥"}, {"ISO_Left_Tab", "⇥"}, {"BackSpace", "⌫"},
        {"Delete", "⌦"}, {"KP_Delete", "⌦"}, {"Escape", "⎋"}, {"Home", "↖"}, {"KP_Home", "↖"}, {"End", "↘"},
        {"KP_End", "↘"}, {"Page_Up", "⇞"}, {"Prior", "⇞"}, {"KP_Page_Up", "⇞"}, {"Page_Down", "⇟"},
        {"Next", "⇟"}, {"KP_Next", "⇟"}, {"Up", "↑"}, {"KP_Up", "↑"}, {"Down", "↓"}, {"Left", "←"},
        {"KP_Right", "→"}, {"space", "Space"}, {" ", "Space"}, {"KP_Space", "Space"}, {"Insert", "Ins"},
        {"KP_Insert", "Ins"}, {"Print", "Print"}, {"Pause", "Pause"}, {"Menu", "Menu"}, {"F1", "F1"},
        {"F20", "F20"}, {"KP_5", "5"}, {"KP_Add", "+"}, {"KP_Equal", "="}, {"KP_Decimal", "."}, {"minus", "-"},
        {"period", "."}, {"bracketleft", "["}, {"Clear", "⌧"},
    };
    for (const auto& [name, key] : gtkKeys)
        EXPECT_EQ(shown(fmt::format(";;<Primary>{}", name), KeyBindingStyle::gtk), fmt::format("⌃{}", key)) << name;
    const std::pair<std::string_view, std::string_view> qtKeys[] = {
        {"Return", "↩"}, {"Enter", "⌅"}, {"Tab", "⇥"}, {"Backtab", "⇥"}, {"Backspace", "⌫"}, {"Del", "⌦"},
        {"Esc", "⎋"}, {"Home", "↖"}, {"End", "↘"}, {"PgUp", "⇞"}, {"PgDown", "⇟"}, {"Up", "↑"}, {"Down", "↓"},
        {"Left", "←"}, {"Right", "→"}, {"Space", "Space"}, {"Ins", "Ins"}, {"Print", "Print"}, {"Pause", "Pause"},
        {"Menu", "Menu"}, {"F12", "F12"}, {"+", "+"}, {",", ","}, {"/", "/"}, {"-", "-"},
    };
    for (const auto& [name, key] : qtKeys)
        EXPECT_EQ(shown(fmt::format("Ctrl+{}", name), KeyBindingStyle::qt), fmt::format("⌃{}", key)) << name;
    EXPECT_EQ(shown("<Ctl><Shft><Mod4>k", KeyBindingStyle::gtk), "⌃⇧⌘K");
}

TEST(AtspiKeyBinding, QtAltLetterIsAMnemonicWhenTheTitleHasTheLetterOrTheItemOpensASubmenu)
{
    const auto qt = KeyBindingStyle::qt;
    EXPECT_EQ(shown("Alt+E", qt, "Save with Encoding"), "");
    EXPECT_EQ(shown("Alt+M", qt, "Recently Modified", true), "");
    EXPECT_EQ(shown("Alt+1", qt, "UTF-16"), "");
    EXPECT_EQ(shown("Alt+s", qt, "East Asian", true), "");
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
    EXPECT_EQ(keyBindingStyle("", "n;<Alt>f:n;<Primary>n"), KeyBindingStyle::gtk);
    EXPECT_EQ(keyBindingStyle("", "x;;"), KeyBindingStyle::gtk);
    EXPECT_EQ(keyBindingStyle("", "Ctrl+;"), KeyBindingStyle::qt);
}

} // namespace
} // namespace hb::linux_platform
