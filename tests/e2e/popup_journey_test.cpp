// The popup's everyday keyboard journey over mousepad, as a user takes it:
// the trigger that opened the popup closes it, the tray menu opens it, a
// remembered search is replaced by what is typed, Return runs the one row a
// search leaves, and the settings opened from the popup come above it.
#include "accessible_tree.h"
#include "tray_application.h"

#include "settings/settings_keys.h"

#include <algorithm>
#include <regex>
#include <string>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;

// Rows with keys that `hintboard shortcuts` reads from the application in front.
std::size_t commandRowCount()
{
    const std::string json = run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --front --json");
    static const std::regex keys(R"re("keys": "[^"]+")re");
    return std::size_t(std::distance(std::sregex_iterator(json.begin(), json.end(), keys), std::sregex_iterator()));
}

// The hot key held for `held` before its release, keys in the order a hand lets go.
void pressHotKey(std::chrono::milliseconds held)
{
    run("xdotool keydown alt+super+k sleep " + std::to_string(double(held.count()) / 1000) +
        " keyup k keyup super keyup alt");
}

class PopupJourney : public TrayApplication {
protected:
    void TearDown() override
    {
        run("xdotool keyup super alt ctrl shift");
        TrayApplication::TearDown();
    }
    bool showsText(const std::string& text, std::chrono::milliseconds timeout = 5s)
    {
        return DesktopSession::waitUntil(
            [&] { return std::ranges::count(accessibleNames(hintboard), text) > 0; }, timeout);
    }
    std::string shownTexts() { return ::testing::PrintToString(accessibleNames(hintboard)); }
};

TEST_F(PopupJourney, HotKeyPressedFourTimesOpensClosesOpensCloses)
{
    // Held as long as users hold it, shorter than the keyboard's repeat delay.
    const std::chrono::milliseconds holds[] = {20ms, 120ms, 350ms, 60ms};
    for (int press = 0; press < 4; ++press) {
        pressHotKey(holds[press]);
        const bool open = press % 2 == 0;
        EXPECT_TRUE(DesktopSession::waitUntil(open ? popupShown : popupHidden, 3s))
            << "press " << press + 1 << " held " << holds[press].count() << " ms";
        // Settled: no second change follows.
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(popupShown(), open) << "press " << press + 1;
    }
}

TEST_F(PopupJourney, TrayMenusShowShortcutsOpensThePopup)
{
    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    // "Show Shortcuts" is the first entry.
    run("xdotool key --delay 150 Down Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown)) << "the entry did nothing";
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupJourney, TypingAfterARememberedQueryReplacesIt)
{
    const std::string rows = std::to_string(commandRowCount());
    ASSERT_TRUE(openWithHotKey());
    run("xdotool type --delay 40 'new window'");
    ASSERT_TRUE(showsText("1 of " + rows)) << shownTexts();
    pressHotKey(30ms);
    ASSERT_TRUE(DesktopSession::waitUntil(popupHidden));

    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(showsText("1 of " + rows)) << "the query is remembered: " << shownTexts();
    run("xdotool type --delay 40 'new window'");
    EXPECT_TRUE(showsText("1 of " + rows, 2s)) << shownTexts();
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupJourney, ReturnOnAOneRowFilterRunsIt)
{
    const int windows = visibleWindowsOf(mousepad);
    const std::string rows = std::to_string(commandRowCount());
    ASSERT_TRUE(openWithHotKey());
    run("xdotool type --delay 40 'new window'");
    ASSERT_TRUE(showsText("1 of " + rows)) << shownTexts();
    run("xdotool key Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(mousepad) == windows + 1; }))
        << "mousepad opened no window";
    run("xdotool key ctrl+shift+w");
    DesktopSession::waitUntil([&] { return visibleWindowsOf(mousepad) == windows; });
}

TEST_F(PopupJourney, SettingsOpenedFromThePopupAreInFrontWithTheKeyboard)
{
    const auto opensSettingsInFront = [&](const std::string& how) {
        std::this_thread::sleep_for(1s);
        screenshot("settings-from-popup.png");
        std::optional<Window> settings;
        EXPECT_TRUE(DesktopSession::waitUntil([&] { return (settings = hintboardWindowNamed("Hintboard Settings")).has_value(); }))
            << how << ": no settings window";
        // The popup by its title: the settings window is a large window of the program too.
        EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Hintboard"); }))
            << how << ": the popup stayed";
        EXPECT_TRUE(settings && DesktopSession::waitUntil([&] {
                        return std::stoul(run("xdotool getactivewindow")) == std::stoul(settings->id, nullptr, 0);
                    })) << how << ": the settings window does not have the keyboard";
        run("xdotool key Escape");
        DesktopSession::waitUntil([] { return !hintboardWindowNamed("Hintboard Settings"); });
        run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    };
    ASSERT_TRUE(openWithHotKey());
    const auto gear = accessibleCentre(hintboard, "Settings");
    ASSERT_TRUE(gear) << shownTexts();
    run("xdotool mousemove " + std::to_string(gear->first) + " " + std::to_string(gear->second) + " click 1");
    opensSettingsInFront("the gear button");

    ASSERT_TRUE(openWithHotKey());
    run("xdotool key ctrl+comma");
    opensSettingsInFront("Control+comma");
}

// Fresh settings each: the first opening reads mousepad anew.
class FirstOpening : public PopupJourney {
protected:
    void SetUp() override {}
    void startWith(std::initializer_list<std::string_view> onKeys)
    {
        const std::string folder = freshConfigFolder("journey");
        seedSettings(folder, {keys::didShowOnboardingWizard});
        seedSettings(folder, onKeys);
        startHintboard({{"XDG_CONFIG_HOME", folder}});
    }
};

TEST_F(FirstOpening, HotKeyReleasedSoonAfterThePopupMapsLeavesNoModifierLit)
{
    const std::string rows = std::to_string(commandRowCount());
    for (const auto delay : {0ms, 20ms, 50ms, 100ms}) {
        SCOPED_TRACE("released " + std::to_string(delay.count()) + " ms after the popup mapped");
        startWith({});
        // Released as soon as the popup's window is mapped, in one shell: no poll interval in between.
        run("xdotool keydown alt+super+k; for i in $(seq 1000); do xdotool search --onlyvisible --pid " +
            std::to_string(hintboard) + " --name '^Hintboard$' >/dev/null && break; done; sleep " +
            std::to_string(double(delay.count()) / 1000) + "; xdotool keyup k keyup super keyup alt");
        ASSERT_TRUE(DesktopSession::waitUntil(popupShown, 5s));
        EXPECT_TRUE(showsText(rows + " shortcuts", 3s)) << shownTexts();
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(showsText(rows + " shortcuts", 0ms)) << "lit later: " << shownTexts();
        EXPECT_TRUE(closeWithEscape());
        TearDown();
    }
}

} // namespace
} // namespace hb::e2e
