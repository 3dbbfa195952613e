// The tray application over other applications, as a new user meets it: a
// double tap opens and closes the popup, gnome-text-editor's shortcuts window
// gives its rows, a dialog in front stands for its application, the hot key
// released at once lights no modifier, and a first launch with no window active
// still knows the application in front.
#include "accessible_tree.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <string>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;

// The application `hintboard shortcuts --front` names, and its rows as "Menu/Title=label".
struct FrontAnswer {
    std::string application;
    pid_t pid = 0;
    std::set<std::string> rows;
};
FrontAnswer frontAnswer()
{
    const std::string json = hintboardCommand("shortcuts --front --json").output;
    const auto printed = nlohmann::json::parse(json, nullptr, false);
    FrontAnswer answer;
    if (!printed.is_object() || !printed.contains("application"))
        return answer;
    answer.application = printed["application"].value("name", "");
    answer.pid = printed["application"].value("pid", 0);
    for (const auto& row : jsonRows(json))
        answer.rows.insert(row.menu + "/" + row.title + "=" + row.label);
    return answer;
}

// The popup's rows of the menus that `expected` names, as "Menu/Title=label", as
// assistive technologies read them.
std::set<std::string> popupRows(pid_t hintboard, const std::set<std::string>& expected)
{
    std::set<std::string> menus, rows;
    for (const auto& row : expected)
        menus.insert(row.substr(0, row.find('/')));
    std::string menu;
    for (const auto& element : accessibleDescendantsOf(hintboard, "list")) {
        if (element.description == "Menu" && !element.name.empty())
            menu = element.name;  // an unnamed section continues the menu in the next column
        else if (element.role == "list item" && menus.contains(menu))
            rows.insert(menu + "/" + element.name + "=" + element.description);
    }
    return rows;
}

bool activeWindowTitled(const std::string& prefix)
{
    return DesktopSession::waitUntil([&] { return run("xdotool getactivewindow getwindowname").starts_with(prefix); });
}

class Applications : public TrayApplication {
protected:
    void SetUp() override {}

    // Hintboard on settings of its own, the wizard seen.
    void startWith(std::initializer_list<std::string_view> onKeys)
    {
        const std::string folder = freshConfigFolder("applications");
        seedSettings(folder, {keys::didShowOnboardingWizard});
        seedSettings(folder, onKeys);
        startHintboard({{"XDG_CONFIG_HOME", folder}});
    }
};

TEST_F(Applications, DoubleTapFourTimesOpensClosesOpensCloses)
{
    startWith({keys::doubleTapEnabled});  // Alt, the modifier watched unless another is set
    for (int tap = 0; tap < 4; ++tap) {
        run("xdotool keydown alt sleep 0.08 keyup alt sleep 0.12 keydown alt sleep 0.08 keyup alt");
        const bool open = tap % 2 == 0;
        EXPECT_TRUE(DesktopSession::waitUntil(open ? popupShown : popupHidden, 3s)) << "double tap " << tap + 1;
        // Settled, and longer than the double-tap window: the next taps begin afresh.
        std::this_thread::sleep_for(600ms);
        EXPECT_EQ(popupShown(), open) << "double tap " << tap + 1;
    }
}

// gnome-text-editor has no menu bar: its shortcuts window, compiled into its
// executable, gives its rows in the user's language, in the command without a
// complaint and in the popup with their whole key labels, where they run.
TEST_F(Applications, GnomeTextEditorsShortcutsWindowGivesItsRowsToTheCommandAndThePopup)
{
    const pid_t editor = launchInFront(*session, {"gnome-text-editor", "--standalone"}, "gnome-text-editor");
    ASSERT_GT(editor, 0) << "gnome-text-editor did not start";
    const auto rows = [](const std::string& language) {
        return rowTexts(jsonRows(hintboardCommand("shortcuts --app gnome-text-editor --json", "LANGUAGE=" + language).output));
    };
    EXPECT_THAT(rows("en"), Contains("Windows/New window=⌃N"));
    EXPECT_THAT(rows("en"), Contains("Windows/Move to next tab=⌃⇟"));
    EXPECT_THAT(rows("de"), Contains("Fenster/Neues Fenster=⌃N"));
    EXPECT_THAT(hintboardCommand("shortcuts --app gnome-text-editor --verbose").errors,
                HasSubstr("shortcuts window /org/gnome/TextEditor/ui/help-overlay.ui in /usr/bin/gnome-text-editor"));
    const auto front = hintboardCommand("shortcuts --front");
    EXPECT_EQ(front.status, 0);
    EXPECT_EQ(front.errors, "") << "the shortcuts window gave the rows";

    startWith({});
    run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(editor)));
    const auto expected = frontAnswer().rows;
    ASSERT_GE(expected.size(), 40u);
    const int windows = visibleWindowsOf(editor);
    ASSERT_TRUE(openWithHotKey());
    std::set<std::string> drawn;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return (drawn = popupRows(hintboard, expected)) == expected; }))
        << ::testing::PrintToString(drawn);
    // Looked at: the editor's groups in columns, "Ctrl+Shift+Page Down" and the titles beside it whole.
    screenshot("popup-over-gnome-text-editor.png");
    run("xdotool type --delay 40 'new window'");
    run("xdotool key --delay 100 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(editor) == windows + 1; }))
        << "the editor opened no window";
    session->stopApplication(editor);
}

// A dialog in front: the popup and the command list the rows of the main
// window's menu bar; a dialog that names no process is its owner's.
TEST_F(Applications, MousepadsOpenDialogInFrontGivesTheMainWindowsRows)
{
    startWith({});
    const FrontAnswer before = frontAnswer();
    ASSERT_EQ(before.pid, mousepad);
    ASSERT_GT(before.rows.size(), 20u);
    run("xdotool key ctrl+o");
    ASSERT_TRUE(activeWindowTitled("Open")) << run("xdotool getactivewindow getwindowname");
    EXPECT_EQ(frontAnswer().rows, before.rows);

    ASSERT_TRUE(openWithHotKey());
    std::set<std::string> shown;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return (shown = popupRows(hintboard, before.rows)) == before.rows; }))
        << ::testing::PrintToString(shown);
    EXPECT_TRUE(closeWithEscape());

    ASSERT_TRUE(activeWindowTitled("Open"));
    run("xprop -id $(xdotool getactivewindow) -remove _NET_WM_PID");
    const FrontAnswer unnamed = frontAnswer();
    EXPECT_EQ(unnamed.pid, mousepad);
    EXPECT_EQ(unnamed.rows, before.rows);
    run("xdotool key Escape");
}

// The hot key released as soon as the popup maps, with and without the double
// tap watching the same modifiers: the list shows whole, no modifier filter lit.
// Then FeatherPad's own Qt dialog in front: the command names FeatherPad. (It takes
// the shortcuts off its menu items while the dialog is open.)
TEST_F(Applications, FeatherPadFirstOpeningLeavesNoModifierLitAndItsDialogNamesIt)
{
    const pid_t featherpad = launchInFront(*session, {"featherpad", "--standalone"}, "featherpad");
    ASSERT_GT(featherpad, 0);
    const std::string rows = std::to_string(commandRowCount());
    for (const bool doubleTap : {false, true})
        for (const auto delay : {0ms, 20ms, 50ms, 100ms}) {
            SCOPED_TRACE(std::string(doubleTap ? "double tap on, " : "") + "released " +
                         std::to_string(delay.count()) + " ms after the popup mapped");
            if (doubleTap)
                startWith({keys::doubleTapEnabled});
            else
                startWith({});
            run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(featherpad)));
            // Released as soon as the popup's window is mapped, in one shell: no poll interval in between.
            run("xdotool keydown alt+super+k; for i in $(seq 1000); do xdotool search --onlyvisible --pid " +
                std::to_string(hintboard) + " --name '^Hintboard$' >/dev/null && break; done; sleep " +
                std::to_string(double(delay.count()) / 1000) + "; xdotool keyup k keyup super keyup alt");
            ASSERT_TRUE(DesktopSession::waitUntil(popupShown, 5s));
            std::this_thread::sleep_for(500ms);
            EXPECT_TRUE(findAccessible(hintboard, rows + " shortcuts"))
                << "lit: " << ::testing::PrintToString(accessibleNames(hintboard));
            EXPECT_TRUE(closeWithEscape());
            TearDown();
        }

    run("xdotool key ctrl+o");
    ASSERT_TRUE(activeWindowTitled("Open")) << run("xdotool getactivewindow getwindowname");
    const FrontAnswer withDialog = frontAnswer();
    EXPECT_EQ(withDialog.pid, featherpad);
    EXPECT_EQ(withDialog.application, "FeatherPad");
    run("xdotool key Escape");
    session->stopApplication(featherpad);
}

TEST_F(Applications, FirstLaunchWithNoWindowActiveShowsTheApplicationOnTop)
{
    // A click on the bare desktop leaves no window active, as a launcher does.
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    const std::string root = run("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
    ASSERT_FALSE(root.empty());
    for (const char* place : {"1275 1015", "5 1015", "1275 600", "640 1015", "5 600"}) {
        const std::string under = run(std::string("xdotool mousemove ") + place + " getmouselocation --shell");
        if (under.find("WINDOW=" + std::to_string(std::stoul(root, nullptr, 16))) != std::string::npos) {
            run("xdotool click 1");
            break;
        }
    }
    ASSERT_TRUE(DesktopSession::waitUntil([] { return activeWindow().find("0x0") != std::string::npos; }))
        << activeWindow();

    const std::string folder = freshConfigFolder("applications-first");
    hintboard = session->launch({HINTBOARD_EXECUTABLE}, {{"XDG_CONFIG_HOME", folder}});
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }))
        << "no wizard";
    // The wizard is a large window of its own: the popup is known by what it shows.
    run("xdotool key alt+super+k");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Mousepad").has_value(); }))
        << ::testing::PrintToString(accessibleNames(hintboard));
    EXPECT_FALSE(findAccessible(hintboard, "No active application"));
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !findAccessible(hintboard, "Mousepad"); }));
    session->stopApplication(hintboard);
    hintboard = -1;
}

} // namespace
} // namespace hb::e2e
