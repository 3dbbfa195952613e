// The application's own windows in the private session: the welcome wizard on
// a first launch, the quiz over mousepad, and a settings backup carried into
// a fresh settings folder. Screenshots of each window are written beside the
// test, for looking at.
#include "accessible_tree.h"
#include "tray_application.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace hb::e2e {
namespace {

std::string fileText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// An integer setting as the settings file holds it, or -1.
int storedInteger(const std::string& file, const std::string& key)
{
    std::smatch match;
    const std::string text = fileText(file);
    if (std::regex_search(text, match, std::regex("<key>" + key + "</key>\\s*<integer>(-?\\d+)</integer>")))
        return std::stoi(match[1]);
    return -1;
}

bool storedTrue(const std::string& file, const std::string& key)
{
    return std::regex_search(fileText(file), std::regex("<key>" + key + "</key>\\s*<true/>"));
}

// A settings folder of its own, empty.
std::string freshConfigFolder(const std::string& name)
{
    const auto folder = std::filesystem::path(DesktopSession::shared().folder()) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

// Starts hintboard by hand in each test, with settings of the test's choice.
class AppWindows : public TrayApplication {
protected:
    void SetUp() override {}

    void activate(const Window& window) { run("xdotool windowactivate --sync " + window.id); }
};

TEST_F(AppWindows, FirstLaunchWizardCompletedWithTheKeyboardThenTheReadyHint)
{
    const std::string config = freshConfigFolder("first-launch");
    const std::string file = settingsFile(config);
    startHintboard({{"XDG_CONFIG_HOME", config}});
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }))
        << "no wizard on the first launch";
    activate(*hintboardWindowNamed("Welcome to Hintboard"));
    screenshot("wizard-1-intro.png");

    run("xdotool key Return");  // "Get started"
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") >= 1; }));
    screenshot("wizard-2-permission.png");
    // The session's accessibility is on: the wizard moves on by itself.
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 2; }))
        << "the permission step did not move on after the grant";
    screenshot("wizard-3-trigger.png");

    run("xdotool key Return");  // "Next"
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 3; }));
    screenshot("wizard-4-login-item.png");

    run("xdotool key Return");  // "Done"
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Welcome to Hintboard"); }));
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard is ready").has_value(); }))
        << "no ready hint at the status icon";
    screenshot("ready-hint.png");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, "didShowOnboardingWizard"); }));
    EXPECT_EQ(storedInteger(file, "onboardingResumeStep"), -1);
}

} // namespace
} // namespace hb::e2e
