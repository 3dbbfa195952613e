#include "platform/linux/x11_key_codes.h"

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

class X11KeymapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { keymap = X11Keymap::fromNames("evdev", "pc105", "us").release(); }
    static void TearDownTestSuite() { delete keymap; }
    void SetUp() override
    {
        if (!keymap)
            GTEST_SKIP() << "no XKB data to compile a keymap";
    }
    static X11Keymap* keymap;
};
X11Keymap* X11KeymapTest::keymap = nullptr;

TEST_F(X11KeymapTest, ModifierKeysAndCharacters)
{
    // Left and right of each, Caps Lock not one of the four.
    const std::pair<std::uint32_t, std::uint64_t> modifiers[] = {
        {56, flags::shift},  {60, flags::shift},   {59, flags::control}, {62, flags::control},
        {58, flags::option}, {61, flags::option},  {55, flags::command}, {54, flags::command}, {40, 0}, {57, 0}};
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

} // namespace
} // namespace hb::linux_platform
