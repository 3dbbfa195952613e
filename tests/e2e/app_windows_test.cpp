// The application's own windows in the private session: the welcome wizard on
// a first launch, the quiz over mousepad, and a settings backup carried into
// a fresh settings folder. Screenshots of each window are written beside the
// test, for looking at.
#include "accessible_tree.h"
#include "tray_application.h"

#include "settings/settings_keys.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

namespace hb::e2e {
namespace {

// Command titles of mousepad's menus with their keys, as `hintboard shortcuts` reads them.
std::map<std::string, std::string> mousepadShortcuts()
{
    std::map<std::string, std::string> keys;
    const auto output = nlohmann::json::parse(
        run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app mousepad --json"), nullptr, false);
    if (output.is_discarded())
        return keys;
    for (const auto& section : output.value("sections", nlohmann::json::array()))
        for (const auto& group : section.value("groups", nlohmann::json::array()))
            for (const auto& row : group.value("rows", nlohmann::json::array()))
                keys.emplace(row.value("title", ""), row.value("keys", ""));
    return keys;
}

// The keys of a notation such as "⇧⌃S" as xdotool names them; none for keys
// this test does not know.
std::optional<std::string> xdotoolKeys(std::string notation)
{
    static const std::pair<std::string, std::string> modifiers[] = {
        {"⌃", "ctrl"}, {"⌥", "alt"}, {"⇧", "shift"}, {"⌘", "super"}};
    static const std::map<std::string, std::string> named = {
        {"+", "plus"}, {"-", "minus"}, {"=", "equal"}, {"/", "slash"}, {",", "comma"}, {".", "period"},
        {"⇥", "Tab"}, {"↩", "Return"}, {"⌫", "BackSpace"}, {"⌦", "Delete"}, {"⇞", "Prior"}, {"⇟", "Next"},
        {"Space", "space"}};
    std::string keys;
    for (bool found = true; found;) {
        found = false;
        for (const auto& [glyph, name] : modifiers)
            if (notation.starts_with(glyph)) {
                keys += name + "+";
                notation.erase(0, glyph.size());
                found = true;
            }
    }
    if (notation.size() == 1 && std::isalnum(static_cast<unsigned char>(notation[0])))
        return keys + char(std::tolower(static_cast<unsigned char>(notation[0])));
    if (std::regex_match(notation, std::regex("F[0-9]{1,2}")))
        return keys + notation;
    if (auto name = named.find(notation); name != named.end())
        return keys + name->second;
    return std::nullopt;
}

bool contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Starts hintboard by hand in each test, with settings of the test's choice.
class AppWindows : public TrayApplication {
protected:
    void SetUp() override {}

    void activate(const Window& window) { run("xdotool windowactivate --sync " + window.id); }
    // A screenshot once the step's transition has ended.
    void stepScreenshot(const std::string& name)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        screenshot(name);
    }
};

TEST_F(AppWindows, FirstLaunchWizardCompletedWithTheKeyboardThenTheReadyHint)
{
    const std::string config = freshConfigFolder("first-launch");
    const std::string file = settingsFile(config);
    startHintboard({{"XDG_CONFIG_HOME", config}});
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }))
        << "no wizard on the first launch";
    activate(*hintboardWindowNamed("Welcome to Hintboard"));
    stepScreenshot("wizard-1-intro.png");

    run("xdotool key Return");  // "Get started"
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 1; }));
    stepScreenshot("wizard-2-permission.png");
    // The session's accessibility is already on: the step says so and waits for "Next".
    run("xdotool key Return");
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 2; }))
        << "the permission step did not move on";
    stepScreenshot("wizard-3-trigger.png");

    run("xdotool key Return");  // "Next"
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 3; }));
    stepScreenshot("wizard-4-login-item.png");

    run("xdotool key Return");  // "Done"
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Welcome to Hintboard"); }));
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard is ready").has_value(); }))
        << "no ready hint at the status icon";
    screenshot("ready-hint.png");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, "didShowOnboardingWizard"); }));
    EXPECT_EQ(storedInteger(file, "onboardingResumeStep"), -1);
}

TEST_F(AppWindows, QuizOverMousepadAnsweredByTypingTheRealShortcut)
{
    markWizardSeen();
    startHintboard();
    const auto shortcuts = mousepadShortcuts();
    ASSERT_FALSE(shortcuts.empty());

    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    // Menus are not in the accessibility tree: the keyboard picks the entry.
    // "Show Shortcuts", "Check for Updates…", then "Quiz Mode…".
    run("xdotool key --delay 150 Down Down Down Return");
    std::optional<Window> quiz;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        for (const auto& window : visibleHintboardWindows())
            if (run("xprop -id " + window.id + " WM_NAME").find("\"Quiz Mode — ") != std::string::npos)
                quiz = window;
        return quiz.has_value();
    })) << "no quiz window";
    activate(*quiz);
    screenshot("quiz-over-mousepad.png");
    // The quiz announces its questions and its feedback.
    Announcements announcements(hintboard);

    // Questions come in a random order: answer the first one whose keys xdotool can type.
    bool answered = false;
    for (int question = 0; question < 12 && !answered; ++question) {
        std::optional<std::string> keys;
        ASSERT_TRUE(DesktopSession::waitUntil([&] {
            const auto names = accessibleNames(hintboard);
            if (!contains(names, "Press the shortcut…"))
                return false;
            for (const auto& name : names)
                if (auto row = shortcuts.find(name); row != shortcuts.end()) {
                    keys = xdotoolKeys(row->second);
                    return true;
                }
            return false;
        })) << "no question from mousepad's menus";
        run("xdotool key " + keys.value_or("ctrl+alt+shift+F12"));
        ASSERT_TRUE(DesktopSession::waitUntil([&] {
            const auto names = accessibleNames(hintboard);
            return contains(names, "Right") || contains(names, "Wrong");
        }));
        EXPECT_TRUE(announcements.waitFor(contains(accessibleNames(hintboard), "Right") ? "Right: " : "Wrong. You pressed"))
            << testing::PrintToString(announcements.said());
        if (keys) {
            screenshot("quiz-answered.png");
            EXPECT_TRUE(contains(accessibleNames(hintboard), "Right")) << "typed " << *keys;
            answered = true;
        } else {
            run("xdotool key space");  // skips the pause
        }
    }
    EXPECT_TRUE(answered);
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !hintboardWindowNamed(run("xdotool getwindowname " + quiz->id)); }));
}

// The popup's size over mousepad once it has settled: it follows the rows the settings let through.
std::optional<std::pair<int, int>> popupSizeOverMousepad()
{
    if (!openWithHotKey())
        return std::nullopt;
    const auto size = [] {
        std::optional<std::pair<int, int>> found;
        for (const auto& window : visibleHintboardWindows())
            if (!window.isMenu && window.width >= 200 && window.height >= 100)
                found = std::pair(window.width, window.height);
        return found;
    };
    auto settled = size();
    DesktopSession::waitUntil([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return std::exchange(settled, size()) == settled;
    });
    closeWithEscape();
    return settled;
}

TEST_F(AppWindows, BackupExportedAndImportedIntoFreshSettingsGivesTheSamePopup)
{
    const std::string backup = DesktopSession::shared().folder() + "/carried.hintboardsettings";
    std::filesystem::remove(backup);
    const auto openSettings = [this] {
        click(*trayIcon(), 3);
        ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
        // "Show Shortcuts", "Check for Updates…", "Quiz Mode…", then "Settings…".
        run("xdotool key --delay 150 Down Down Down Down Return");
        ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard Settings").has_value(); }));
        run("xdotool windowactivate --sync " + hintboardWindowNamed("Hintboard Settings")->id);
    };
    // Types a path into the file dialog that the button opened.
    const auto chooseFile = [this](const std::string& button, const std::string& path) {
        ASSERT_TRUE(pressAccessible(hintboard, button));
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return visibleHintboardWindows().size() >= 3; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run("xdotool type --delay 20 '" + path + "'");
        run("xdotool key Return");
    };

    // Settings of one computer: every menu entry shown, so the popup is larger than by default.
    const std::string first = freshConfigFolder("backup-first");
    seedSettings(first, {keys::didShowOnboardingWizard, keys::showAllMenuItems});
    startHintboard({{"XDG_CONFIG_HOME", first}});
    const auto exportedPopup = popupSizeOverMousepad();
    ASSERT_TRUE(exportedPopup);
    openSettings();
    screenshot("settings-over-mousepad.png");
    chooseFile("Export Settings…", backup);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return std::filesystem::exists(backup); })) << "nothing exported";
    TearDown();

    // A fresh computer: the default popup, then the imported one.
    const std::string second = freshConfigFolder("backup-second");
    seedSettings(second, {keys::didShowOnboardingWizard});
    startHintboard({{"XDG_CONFIG_HOME", second}});
    const auto defaultPopup = popupSizeOverMousepad();
    ASSERT_TRUE(defaultPopup);
    EXPECT_NE(*defaultPopup, *exportedPopup);
    openSettings();
    chooseFile("Import Settings…", backup);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return contains(accessibleNames(hintboard), "Later"); }))
        << "no \"Settings Imported\" alert";
    screenshot("settings-imported.png");
    ASSERT_TRUE(pressAccessible(hintboard, "Later"));
    // Qt clicks a button pressed over AT-SPI only a moment later; keys typed before then go to the alert.
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return !contains(accessibleNames(hintboard), "Later"); }))
        << "the alert stayed after \"Later\"";
    run("xdotool key ctrl+w");
    EXPECT_TRUE(storedTrue(settingsFile(second), "showAllMenuItems"));
    ASSERT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Hintboard Settings"); }));
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    const auto importedPopup = popupSizeOverMousepad();
    ASSERT_TRUE(importedPopup);
    EXPECT_EQ(*importedPopup, *exportedPopup);
}

} // namespace
} // namespace hb::e2e
