// Keys as X11 numbers them and as AT-SPI's key bindings write them.
#include "linux/atspi_key_binding.h"
#include "linux/x11_key_codes.h"

#include "model/key_notation.h"
#include "platform/event_monitors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <set>

namespace hb::linux_platform {
namespace {

using ::testing::Optional;
namespace flags = platform::modifier_flags;

TEST(X11KeyCodes, TableIsOneToOneBothWays)
{
    EXPECT_THAT(xkbKeyName(40), Optional(std::string_view("AC08")));
    EXPECT_THAT(xkbKeyName(0), Optional(std::string_view("AC01")));
    EXPECT_EQ(xkbKeyName(52), std::nullopt);
    EXPECT_EQ(xkbKeyName(1000), std::nullopt);
    EXPECT_EQ(virtualKeyCode("NONE"), std::nullopt);

    std::set<std::string_view> names;
    for (std::uint32_t code = 0; code < 128; ++code) {
        const auto name = xkbKeyName(code);
        if (!name)
            continue;
        EXPECT_TRUE(names.insert(*name).second) << *name << " named twice";
        EXPECT_THAT(virtualKeyCode(*name), Optional(code)) << *name;
    }
    EXPECT_GE(names.size(), 100u);
}

TEST(X11Keymap, ModifierKeysAndCharacters)
{
    const auto keymap = X11Keymap::fromNames("evdev", "pc105", "us");
    if (!keymap)
        GTEST_SKIP() << "no XKB data to compile a keymap";
    // Left and right of each, Caps Lock not one of the four.
    // clang-format off
    const std::pair<std::uint32_t, std::uint64_t> modifiers[] = {
        {56, flags::shift}, {60, flags::shift}, {59, flags::control}, {62, flags::control}, {58, flags::option},
        {61, flags::option}, {55, flags::command}, {54, flags::command}, {40, 0}, {57, 0}};
    // clang-format on
    for (const auto& [code, flag] : modifiers)
        EXPECT_EQ(keymap->modifierFlag(*keymap->keycode(code)), flag) << code;
    // Key codes meet the evdev keycodes of the same keys (the kernel's plus 8), both ways.
    EXPECT_EQ(keymap->keycode(40), 45);
    EXPECT_EQ(keymap->virtualKeyCode(67), 122u);
    EXPECT_EQ(keymap->keycode(52), std::nullopt);
    for (std::uint32_t code = 0; code < 128; ++code)
        if (const auto keycode = keymap->keycode(code)) {
            EXPECT_EQ(keymap->virtualKeyCode(*keycode), code) << code;
        }
    EXPECT_EQ(keymap->characters(*keymap->keycode(40)), "k");
    EXPECT_EQ(keymap->characters(*keymap->keycode(49)), " ");
    EXPECT_EQ(keymap->characters(*keymap->keycode(122)), "");
    EXPECT_EQ(keymap->keycodeOfKeysym(XKB_KEY_Num_Lock), 77);
}

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
    // A literal space is as LibreOffice's native menu bar gives it; the last five show nothing.
    // clang-format off
    const Case cases[] = {
        {"n;<Alt>f:n;<Primary>n", "⌃N"}, {"o;<Alt>e:r:o;<Primary><Alt>u", "⌃⌥U"}, {"u;<Alt>e:m:u;<Alt>Up", "⌥↑"},
        {";;<Control><Mod1>Page_Down", "⌃⌥⇟"}, {";;<Ctl><Shft><Mod4>k", "⌃⇧⌘K"}, {";;<Primary>plus", "⌃+"},
        {";;<Primary><Shift> ", "⌃⇧Space"}, {";;<Primary>KP_Enter", "⌃⌅"}, {";;<Primary>ISO_Left_Tab", "⌃⇥"},
        {";;<Primary>KP_5", "⌃5"}, {";;<Primary>F20", "⌃F20"},
        {"<Alt>f;<Alt>f;", ""}, {"a;<Alt>r", ""}, {";;<Primary>F21", ""}, {";;<Hyper>x", ""}, {";;<Primary>", ""}};
    // clang-format on
    for (const auto& [binding, expected] : cases)
        EXPECT_EQ(shown(binding, KeyBindingStyle::gtk), expected) << binding;
    // The accelerator as GTK names it, for pressing it.
    EXPECT_EQ(gtkAccelerator("o;<Alt>f:o;<Primary>o"), "<Primary>o");
    EXPECT_EQ(gtkAccelerator("a;<Alt>r"), "");
}

TEST(AtspiKeyBinding, QtShortcutsWithModifiersAndNamedKeys)
{
    const Case cases[] = {
        {"Meta+Shift+Z", "⇧⌘Z"}, {"F1", "F1"},          {"Ctrl++", "⌃+"},
        {"Ctrl+,", "⌃,"},        {"Del", "⌦"},          {"Ctrl+Backtab", "⌃⇥"},
        {"Ctrl+Enter", "⌃⌅"},    {"Ctrl+Return", "⌃↩"}, {"Ctrl+Print", "⌃Print"},
        {"Ctrl+K, Ctrl+C", ""},  {"Hyper+X", ""},       {"F21", ""},
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
