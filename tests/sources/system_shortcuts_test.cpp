// The system shortcuts and the user's files they are read from.
#include "sources/system_shortcuts.h"

#include "base/untrusted_file.h"
#include "fake/scripted_symbolic_hotkeys.h"
#include "sources/property_list_reader.h"
#include "sources/user_folders.h"
#include "support/scoped_environment.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <optional>

namespace hb {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistFormat;
using platform::PlistValue;

PlistValue hotKey(bool enabled, std::optional<std::array<std::int64_t, 3>> parameters = std::nullopt)
{
    PlistDictionary entry{{"enabled", enabled}};
    if (parameters) {
        auto [character, virtualKey, flags] = *parameters;
        entry["value"] =
            PlistDictionary{{"parameters", PlistArray{character, virtualKey, flags}}, {"type", "standard"}};
    }
    return entry;
}

std::filesystem::path symbolicHotKeysFile(const std::filesystem::path& home)
{
    return home / "Library/Preferences/com.apple.symbolichotkeys.plist";
}

// Title → (keys, deactivated), over every group of the section.
std::map<std::string, HotKeyState> rowsByTitle(const MenuSection& section)
{
    std::map<std::string, HotKeyState> rows;
    for (const auto& row : section.allShortcuts())
        rows[row.title] = HotKeyState{row.keys, row.isDisabled};
    return rows;
}

TEST(SystemShortcuts, MissingOrUnusablePreferencesGiveTheDefaults)
{
    test::TemporaryFolder home;
    fake::ScriptedSymbolicHotKeys noDesktop;
    auto section = systemShortcutSection(noDesktop, UserFolders{home.path(), {}});
    ASSERT_TRUE(section);
    auto rows = rowsByTitle(*section);
    EXPECT_EQ(rows["Select Next Input Source"], (HotKeyState{"⌃⌥Space", true}));

    // Not a property list, a list without the hot-key dictionary, and one where it has another type.
    for (const std::string content : {"not a property list", "<plist><array/></plist>",
                                      "<plist><dict><key>AppleSymbolicHotKeys</key><array/></dict></plist>"}) {
        test::writeFile(symbolicHotKeysFile(home.path()), content);
        EXPECT_EQ(rowsByTitle(systemShortcutSection(noDesktop, UserFolders{home.path(), {}}).value()), rows) << content;
    }
}

TEST(SystemShortcuts, PreferenceEntriesOverrideDisableOrFallBack)
{
    test::TemporaryFolder home;
    test::writeFile(symbolicHotKeysFile(home.path()),
                    test::readFile(HINTBOARD_SOURCE_DIR "/tests/sources/data/symbolichotkeys.plist"));

    fake::ScriptedSymbolicHotKeys noDesktop;
    auto section = systemShortcutSection(noDesktop, UserFolders{home.path(), {}});
    ASSERT_TRUE(section);
    auto rows = rowsByTitle(*section);
    const std::pair<const char*, HotKeyState> expected[] = {{"Show Finder Search Window", {"⌥⌘Space", true}},
                                                            {"Copy Picture of Entire Screen", {"⌃⇧⌘3", true}},
                                                            {"Copy Picture of Selected Area", {"⌃⇧⌘4", false}},
                                                            {"Switch to Space 1", {"⌃1", false}},
                                                            {"Switch to Space 2", {"⌃2", false}},
                                                            {"Show Desktop", {"F11", true}},
                                                            {"Application Windows", {"⌃⇧↓", false}},
                                                            {"Move Focus to Menu Bar", {"⌃F2", false}},
                                                            {"Move Focus to Dock", {"⌃F3", false}},
                                                            {"Move Focus to Active Window", {"⌃F4", false}}};
    for (const auto& [title, state] : expected)
        EXPECT_EQ(rows[title], state) << title;

    auto states =
        hotKeyStatesFromPreferences(sources::readUserPreferences({home.path(), {}}, "com.apple.symbolichotkeys.plist"));
    EXPECT_EQ(states[999], (HotKeyState{"⌘A", false}));
    EXPECT_FALSE(states.contains(998));
}

TEST(SystemShortcuts, DesktopValuesComeFirst)
{
    using Value = platform::SymbolicHotKeys::Value;
    test::TemporaryFolder home;
    fake::ScriptedSymbolicHotKeys desktop;
    desktop.setValues({
        {64, Value{49, 0x100, true}},            // ⌘Space
        {32, Value{126, 0x1000 | 0x200, false}}, // ⌃⇧↑, off
        {61, Value{49, 0x1000 | 0x800, true}},   // ⌃⌥Space
        {28, Value{114, 0x300, true}},           // key code 114 has no name: left out
        {36, Value{0xFFFF, 0, true}},            // no key: left out
    });
    auto section = systemShortcutSection(desktop, UserFolders{home.path(), {}});
    ASSERT_TRUE(section);
    EXPECT_EQ(rowsByTitle(*section), (std::map<std::string, HotKeyState>{
                                         {"Show Spotlight Search", {"⌘Space", false}},
                                         {"Mission Control", {"⌃⇧↑", true}},
                                         {"Select Next Input Source", {"⌃⌥Space", false}},
                                     }));
    // A desktop that names no key gives way to the preferences; by default every category shows.
    desktop.setValues({{28, Value{114, 0x300, true}}});
    EXPECT_FALSE(hotKeyStatesFromDesktop(desktop));
    section = systemShortcutSection(desktop, UserFolders{home.path(), {}});
    ASSERT_TRUE(section);
    EXPECT_EQ(section->groups.size(), hotKeyCategories().size() + 1);
}

// A desktop with one group of its own.
class OneGroupDesktop : public DesktopShortcutSource {
public:
    std::string_view desktopName() const override { return "Test"; }
    std::vector<ShortcutGroup> groups() override
    {
        Shortcut close;
        close.title = "Close window";
        close.keys = "⌥F4";
        return {ShortcutGroup{Uuid::random(), "Window Management", {close}}};
    }
};

TEST(SystemShortcuts, OnALinuxDesktopItsOwnShortcutsAndNeverTheOtherDesktopsDefaults)
{
    test::TemporaryFolder home;
    const UserFolders folders{home.path(), {}};
    OneGroupDesktop desktop;
    auto section = systemShortcutSection(&desktop, folders);
    ASSERT_TRUE(section);
    ASSERT_EQ(section->groups.size(), 2u);
    EXPECT_EQ(section->groups[1].title, "Window Management");
    EXPECT_FALSE(systemShortcutSection(static_cast<DesktopShortcutSource*>(nullptr), folders));

    // A preferences file the user really keeps still counts.
    test::writePlist(symbolicHotKeysFile(home.path()),
                     PlistDictionary{{"AppleSymbolicHotKeys", PlistDictionary{{"36", hotKey(false)}}}},
                     PlistFormat::xml);
    section = systemShortcutSection(&desktop, folders);
    ASSERT_TRUE(section);
    EXPECT_EQ(section->groups.at(1).title, "Window Management");
    EXPECT_GT(section->groups.size(), 2u);
}

TEST(SystemShortcuts, UserKeyEquivalentsComeLastAndAloneMakeASection)
{
    EXPECT_FALSE(systemShortcutSection(HotKeyStateMap{{999, {"⌘A", false}}}, std::nullopt));
    const auto user = ShortcutGroup{.title = "All Applications", .shortcuts = {Shortcut{.title = "Zoom"}}};
    auto onlyUser = systemShortcutSection(HotKeyStateMap{}, user);
    ASSERT_TRUE(onlyUser);
    ASSERT_EQ(onlyUser->groups.size(), 2u);
    EXPECT_EQ(onlyUser->groups[1], user);

    auto withSystem = systemShortcutSection(defaultHotKeyStates(), user);
    ASSERT_TRUE(withSystem);
    EXPECT_GT(withSystem->groups.size(), 2u);
    EXPECT_EQ(withSystem->groups.back(), user) << "after the system's own groups";
}

TEST(UserFolders, FromEnvironmentWithXdgFallbacks)
{
    test::ScopedEnvironment home("HOME", "/home/someone");
    {
        test::ScopedEnvironment data("XDG_DATA_HOME", "/data");
        EXPECT_EQ(UserFolders::fromEnvironment().data, "/data");
    }
    {
        // Relative locations are not valid here and are ignored.
        test::ScopedEnvironment data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(UserFolders::fromEnvironment().home, "/home/someone");
        EXPECT_EQ(UserFolders::fromEnvironment().data, "/home/someone/.local/share");
    }
    test::ScopedEnvironment noHome("HOME", "");
    EXPECT_TRUE(UserFolders::fromEnvironment().home.is_absolute()) << "the account's home directory";
    EXPECT_EQ(UserFolders::inside("/home/someone", "a/b"), "/home/someone/a/b");
    EXPECT_FALSE(UserFolders::inside("", "a/b"));
    EXPECT_FALSE(UserFolders::inside("relative", "a/b"));
}

// Special and oversized files: tests/sources/third_party_shortcut_registry_test.cpp.
TEST(UntrustedFile, AFileLongerWhenReadThanItsSizeSaidIsOversized)
{
    // /proc files report no size at the check, like a file that grows meanwhile.
    EXPECT_EQ(sources::readUntrustedFile("/proc/self/maps", 16).status, sources::UntrustedFile::Status::oversized);
}

} // namespace
} // namespace hb
