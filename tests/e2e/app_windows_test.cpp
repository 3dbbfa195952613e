// The application's own windows in the private session, as a user and a
// screen reader meet them: the welcome wizard on a first launch, the status
// menu, and a settings backup carried into a fresh settings folder.
#include "accessible_tree.h"
#include "tray_application.h"

#include "settings/settings_keys.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <regex>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using testing::IsSupersetOf;

// A feed on 127.0.0.1 whose only release is this version's, served by python's
// http.server, which logs each request.
struct Feed {
    explicit Feed(const std::string& name)
    {
        log = freshConfigFolder(name) + "/requests.log";
        pid = DesktopSession::shared().launch({"sh", "-c",
                                               "exec python3 -u -m http.server 0 --bind 127.0.0.1 --directory "
                                                   + dataFile("feed") + " >" + log + " 2>&1"});
        std::string text; // the match points into it
        std::smatch found;
        if (DesktopSession::waitUntil([&] {
                return std::regex_search(text = DesktopSession::fileText(log), found, std::regex("port ([0-9]+)"));
            }))
            address = "http://127.0.0.1:" + found[1].str() + "/appcast.xml";
    }
    ~Feed() { DesktopSession::shared().stopApplication(pid); }
    long requests() const
    {
        const std::string text = DesktopSession::fileText(log);
        const std::regex request("GET /appcast.xml");
        return std::distance(std::sregex_iterator(text.begin(), text.end(), request), std::sregex_iterator());
    }

    pid_t pid = -1;
    std::string log, address;
};

// Starts hintboard by hand in each test, with settings of the test's choice.
class AppWindows : public TrayApplication {
protected:
    void SetUp() override {}

    // The status menu's entry "Settings…", below "Show Shortcuts", "Check for Updates…" and "Quiz Mode…";
    // menus are not in the accessibility tree: the keyboard picks it.
    void openSettings()
    {
        ASSERT_TRUE(openStatusMenu()) << "no status menu";
        run("xdotool key --delay 150 Down Down Down Down Return");
        ASSERT_TRUE(activateHintboardWindow("Hintboard Settings"));
    }
};

// A first launch reaches the update feed only once the user has passed the
// wizard's step that decides automatic checks.
TEST_F(AppWindows, FirstLaunchWizardByKeyboardIsAnnouncedAsksTheFeedOnlyWhenDoneThenTheReadyHint)
{
    Feed feed("first-launch-feed");
    ASSERT_FALSE(feed.address.empty());
    const std::string config = freshConfigFolder("first-launch");
    const std::string file = settingsFile(config);
    writeSettings(config, {{keys::updateFeedAddress, feed.address}});
    startHintboard({{"XDG_CONFIG_HOME", config}, {"HINTBOARD_PACKAGE_MANAGED", "0"}});
    HeardEvents announcements(hintboard);
    ASSERT_TRUE(activateHintboardWindow("Welcome to Hintboard")) << "no wizard on the first launch";
    // "Get started", past the permission step (which the session's accessibility satisfies), past the trigger
    // step; the pages are announced as they come, once each.
    for (int step = 1; step <= 3; ++step) {
        run("xdotool key Return");
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == step; }))
            << "step " << step << " did not come";
        const std::string page = "Step " + std::to_string(step + 1) + " of 4";
        EXPECT_TRUE(step == 3 || (announcements.waitFor(page) && announcements.count(page) == 1))
            << testing::PrintToString(announcements.said());
    }
    EXPECT_EQ(feed.requests(), 0) << "a request before the user decided on automatic checks";

    run("xdotool key Return"); // "Done", automatic checks left on
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Welcome to Hintboard"); }));
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard is ready").has_value(); }));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, "didShowOnboardingWizard"); }));
    EXPECT_EQ(storedInteger(file, "onboardingResumeStep"), -1);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return feed.requests() >= 1; }));
    EXPECT_FALSE(DesktopSession::waitUntil([&] { return feed.requests() > 1; }, 2s));
}

// The popup's size over mousepad once it has settled: it follows the rows the settings let through.
std::optional<std::pair<int, int>> popupSizeOverMousepad()
{
    if (!openWithHotKey())
        return std::nullopt;
    const auto size = [] {
        const auto popup = shownPopup();
        return popup ? std::optional(std::pair(popup->width, popup->height)) : std::nullopt;
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
    writeSettings(first, {{keys::didShowOnboardingWizard, true}, {keys::showAllMenuItems, true}});
    startHintboard({{"XDG_CONFIG_HOME", first}});
    const auto exportedPopup = popupSizeOverMousepad();
    ASSERT_TRUE(exportedPopup);
    openSettings();
    run("import -window root settings-over-mousepad.png");
    chooseFile("Export Settings…", backup);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return std::filesystem::exists(backup); })) << "nothing exported";
    TearDown();

    // A fresh computer: the default popup, then the imported one.
    const std::string second = freshConfigFolder("backup-second");
    writeSettings(second, {{keys::didShowOnboardingWizard, true}});
    startHintboard({{"XDG_CONFIG_HOME", second}});
    const auto defaultPopup = popupSizeOverMousepad();
    ASSERT_TRUE(defaultPopup);
    EXPECT_NE(*defaultPopup, *exportedPopup);
    openSettings();
    chooseFile("Import Settings…", backup);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Later").has_value(); }))
        << "no \"Settings Imported\" alert";
    run("import -window root settings-imported.png");
    ASSERT_TRUE(pressAccessible(hintboard, "Later"));
    // Qt clicks a button pressed over AT-SPI only a moment later; keys typed before then go to the alert.
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return !findAccessible(hintboard, "Later").has_value(); }))
        << "the alert stayed after \"Later\"";
    run("xdotool key ctrl+w");
    EXPECT_TRUE(storedTrue(settingsFile(second), "showAllMenuItems"));
    ASSERT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Hintboard Settings"); }));
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    const auto importedPopup = popupSizeOverMousepad();
    ASSERT_TRUE(importedPopup);
    EXPECT_EQ(*importedPopup, *exportedPopup);
}

// The status menu popped up at the tray icon, as a screen reader hears it going
// down the menu: items named by their titles alone, each with its keys as its
// key binding.
TEST_F(AppWindows, PoppedUpStatusMenuItemsAreSpokenWithTheirKeys)
{
    startHintboard();
    HeardEvents events(hintboard, true);
    ASSERT_TRUE(openStatusMenu()) << "no status menu";
    run("xdotool key --delay 150 Down Down Down Down");
    EXPECT_TRUE(events.waitFor(": Settings… [")) << testing::PrintToString(events.said());
    EXPECT_THAT(events.said(), IsSupersetOf({"menu item: Show Shortcuts [Meta+Alt+K]", "menu item: Settings… [Ctrl+,]",
                                             "menu item: Check for Updates… []"}));
    run("xdotool key Escape");
}

} // namespace
} // namespace hb::e2e
