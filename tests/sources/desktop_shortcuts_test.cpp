#include "sources/desktop_shortcuts.h"

#include "fake/memory_log.h"
#include "sources/desktop_keybindings.h"
#include "sources/xml_tree.h"
#include "support/model_builders.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

// KDE's global shortcuts with disabled and multiple bindings; Xfce's with a custom set and a removed default.
const std::filesystem::path desktops = HINTBOARD_SOURCE_DIR "/tests/sources/data/desktops";

struct DesktopShortcutsTest : testing::Test {
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
};

TEST(DesktopKeybindings, EachDesktopsFormReadsAsTheNotation)
{
    using namespace keybinding;
    using Read = std::optional<std::string> (*)(std::string_view);
    const std::tuple<Read, const char*, std::optional<std::string>> cases[] = {
        {gtkAccelerator, "<Super><Shift>Left", "⇧⌘←"},
        {gtkAccelerator, "<Alt>Above_Tab", "⌥`"},
        {gtkAccelerator, "XF86Launch5", "Launch5"},
        {gtkAccelerator, "<Hyper2>a", std::nullopt},
        {gtkAccelerator, "<Super", std::nullopt},
        {gtkAccelerator, "<Super>NoSuchKey", std::nullopt},
        {qtKeySequence, "Ctrl+Alt+Del", "⌃⌥⌦"},
        {qtKeySequence, "Ctrl++", "⌃+"},
        {qtKeySequence, "Ctrl+A, Ctrl+B", std::nullopt}, // two presses
        {openboxKey, "W-S-Left", "⇧⌘←"},
        {openboxKey, "A-space", "⌥Space"},
        {openboxKey, "C-a b", std::nullopt}, // a chain
        {openboxKey, "Q-x", std::nullopt},
    };
    for (const auto& [read, text, keys] : cases)
        EXPECT_EQ(read(text), keys) << text;
}

TEST_F(DesktopShortcutsTest, KdeComponentsByFriendlyNameAndXfcesCustomSetWithDisabledAndMultipleBindings)
{
    auto groups = desktop_config::kdeGlobalShortcuts(test::readFile(desktops / "kglobalshortcutsrc"), log);
    EXPECT_THAT(test::groupRows(groups),
                ElementsAre("KWin: Close Window=⌥F4", "KWin: Kill Window=⌃⌘⎋",
                            "KWin: Toggle Present Windows (Current desktop)=⌃F9 (off)",
                            "Power Management: Decrease Screen Brightness=Monitor Brightness Down",
                            "org.kde.konsole.desktop: Launch Konsole=⌃⌥T"));

    // Xfce's custom set replaces the defaults; defaults it leaves out are off.
    groups = desktop_config::xfceKeyboardShortcuts(test::readFile(desktops / "xfce4-keyboard-shortcuts.xml"), log);
    EXPECT_THAT(test::groupRows(groups),
                ElementsAre("Window Manager: Close window=⌥F4", "Commands: xfce4-appfinder --collapsed=⌘R",
                            "Commands: pactl set-sink-mute 0 toggle=Mute", "Commands: xfce4-session-logout=⌃⌥⌦ (off)"));
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), ElementsAre(HasSubstr("Odd"), HasSubstr("<Bogus>x")));
}

TEST_F(DesktopShortcutsTest, UnreadableFilesGiveNothingAndSayWhy)
{
    EXPECT_TRUE(desktop_config::openboxKeybindings("<openbox_config><keyboard>", log).empty());
    EXPECT_TRUE(desktop_config::xfceKeyboardShortcuts("not xml", log).empty());
    EXPECT_TRUE(desktop_config::kdeGlobalShortcuts("garbage without sections\n=\n[", log).empty());
    EXPECT_EQ(sink.records().size(), 2u);

    // Nesting and entities are bounded and checked.
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "<a>";
    EXPECT_FALSE(xml::parse(deep));
    EXPECT_FALSE(xml::parse("<a b='&bogus;'/>"));
    EXPECT_EQ(xml::parse("<a b='&#x263A;&amp;'><![CDATA[<x>]]></a>")->text, "<x>");
    EXPECT_EQ(xml::parse("<a b='&#x263A;&amp;'/>")->attribute("b"), "☺&");
}

} // namespace
} // namespace hb
