// The keyboard journey beyond the hot key, as a new user meets it: a double
// tap closes the popup it opened, gnome-text-editor's rows keep their whole
// keys, the command over a shortcuts window reports no error, and a first
// launch with no window active still knows the application in front.
#include "accessible_tree.h"
#include "tray_application.h"

#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <map>
#include <regex>
#include <string>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;

class KeyboardJourney : public TrayApplication {
protected:
    void SetUp() override {}
    void TearDown() override
    {
        run("xdotool keyup super alt ctrl shift");
        TrayApplication::TearDown();
    }
    static void TearDownTestSuite()
    {
        if (editor > 0)
            session->stopApplication(editor);
        editor = -1;
        TrayApplication::TearDownTestSuite();
    }

    // Hintboard on settings of its own, the wizard seen unless `firstLaunch`.
    void startWith(std::initializer_list<std::string_view> onKeys, bool firstLaunch = false)
    {
        const std::string folder = freshConfigFolder("keyboard-journey");
        if (!firstLaunch)
            seedSettings(folder, {keys::didShowOnboardingWizard});
        seedSettings(folder, onKeys);
        startHintboard({{"XDG_CONFIG_HOME", folder}});
    }

    // gnome-text-editor, which has no menu bar but a shortcuts window, in front.
    static void editorInFront()
    {
        if (editor <= 0)
            editor = launchInFront(*session, {"gnome-text-editor", "--standalone"}, "gnome-text-editor");
        ASSERT_GT(editor, 0) << "gnome-text-editor did not start";
        run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(editor)));
    }

    static pid_t editor;
};
pid_t KeyboardJourney::editor = -1;

TEST_F(KeyboardJourney, DoubleTapFourTimesOpensClosesOpensCloses)
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

TEST_F(KeyboardJourney, ShortcutsCommandOverAShortcutsWindowReportsNoError)
{
    editorInFront();
    const std::string command = std::string(HINTBOARD_EXECUTABLE) + " shortcuts --front";
    EXPECT_EQ(run("(" + command + " 2>&1 >/dev/null)"), "") << "the shortcuts window gave the rows";
    EXPECT_EQ(status(command), 0);
}

// Title and key label of every row `hintboard shortcuts --front --json` lists.
std::multimap<std::string, std::string> commandLabels()
{
    const auto document =
        nlohmann::json::parse(run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --front --json"), nullptr, false);
    std::multimap<std::string, std::string> labels;
    if (document.is_discarded())
        return labels;
    for (const auto& section : document.at("sections"))
        for (const auto& group : section.at("groups"))
            for (const auto& row : group.at("rows"))
                labels.emplace(row.at("title").get<std::string>(), row.at("label").get<std::string>());
    return labels;
}

TEST_F(KeyboardJourney, GnomeTextEditorsRowsCarryTheirWholeKeyLabelsAsDrawn)
{
    startWith({});
    editorInFront();
    const auto labels = commandLabels();
    ASSERT_GE(labels.size(), 40u);
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        return accessibleDescendantsOf(hintboard, "list").size() >= labels.size();
    }));
    // Looked at: the editor's groups in columns, "Ctrl+Shift+Page Down" and the titles beside it whole.
    screenshot("keyboard-journey-gnome-text-editor.png");

    std::multimap<std::string, std::string> drawn;
    for (const auto& element : accessibleDescendantsOf(hintboard, "list"))
        if (element.role == "list item")
            drawn.emplace(element.name, element.description);
    EXPECT_EQ(drawn, labels);
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(KeyboardJourney, FirstLaunchWithNoWindowActiveShowsTheApplicationOnTop)
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

    const std::string folder = freshConfigFolder("keyboard-journey-first");
    hintboard = session->launch({HINTBOARD_EXECUTABLE}, {{"XDG_CONFIG_HOME", folder}});
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }))
        << "no wizard";
    // The wizard is a large window of its own: the popup is known by what it shows.
    run("xdotool key alt+super+k");
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        return findAccessible(hintboard, "Mousepad").has_value();
    })) << ::testing::PrintToString(accessibleNames(hintboard));
    screenshot("keyboard-journey-wizard-trigger.png");
    EXPECT_FALSE(findAccessible(hintboard, "No active application"));
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !findAccessible(hintboard, "Mousepad"); }));
    session->stopApplication(hintboard);
    hintboard = -1;
}

// Rows with keys that `hintboard shortcuts` reads from the application in front.
std::size_t commandRowCount()
{
    const std::string json = run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --front --json");
    static const std::regex keys(R"re("keys": "[^"]+")re");
    return std::size_t(std::distance(std::sregex_iterator(json.begin(), json.end(), keys), std::sregex_iterator()));
}

TEST_F(KeyboardJourney, FirstOpeningOverFeatherPadLeavesNoModifierLitAfterTheHotKey)
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
            // Released as soon as the popup's window is mapped, in one shell.
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
    session->stopApplication(featherpad);
}

} // namespace
} // namespace hb::e2e
