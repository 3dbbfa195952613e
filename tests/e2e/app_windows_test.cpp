// The application's own windows in the private session, as a user and a
// screen reader meet them: the welcome wizard on a first launch, the status
// menu, and a settings backup carried into a fresh settings folder.
#include "accessible_tree.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/plist_file_settings_domain.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <map>
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
        const std::string folder = freshConfigFolder(name);
        std::ofstream(folder + "/appcast.xml")
            << "<?xml version=\"1.0\"?><rss version=\"2.0\" "
               "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
               "sparkle\"><channel><item><sparkle:version>0.0.1</sparkle:version><link>https://example.org/</link>"
               "</item></channel></rss>";
        log = folder + "/requests.log";
        pid = DesktopSession::shared().launch(
            {"sh", "-c",
             "exec python3 -u -m http.server 0 --bind 127.0.0.1 --directory " + folder + " >" + log + " 2>&1"});
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

// Settings written before the first launch.
void writeSettings(const std::string& file, const std::map<std::string_view, platform::PlistValue>& values)
{
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    auto opened = linux_platform::PlistFileSettingsDomain::open(file, log);
    ASSERT_TRUE(opened.domain) << opened.error;
    for (const auto& [key, value] : values)
        opened.domain->set(key, value);
}

// Starts hintboard by hand in each test, with settings of the test's choice.
class AppWindows : public TrayApplication {
protected:
    void SetUp() override {}

    // The status menu's entry below "Show Shortcuts", "Check for Updates…", "Quiz Mode…", "Settings…".
    void chooseFromStatusMenu(int downs)
    {
        click(*trayIcon(), 3);
        ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
        // Menus are not in the accessibility tree: the keyboard picks the entry.
        std::string keys;
        for (int down = 0; down < downs; ++down)
            keys += " Down";
        run("xdotool key --delay 150" + keys + " Return");
    }
    void openSettings()
    {
        chooseFromStatusMenu(4);
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
    writeSettings(file, {{keys::updateFeedAddress, feed.address}});
    startHintboard({{"XDG_CONFIG_HOME", config}, {"HINTBOARD_PACKAGE_MANAGED", "0"}});
    Announcements announcements(hintboard);
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
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard is ready").has_value(); }))
        << "no ready hint at the status icon";
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
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Later").has_value(); }))
        << "no \"Settings Imported\" alert";
    screenshot("settings-imported.png");
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
    FocusEvents events(hintboard);
    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    run("xdotool key --delay 150 Down Down Down Down");
    EXPECT_TRUE(events.waitForFocusOn("Settings…")) << testing::PrintToString(events.focused());
    std::vector<std::string> said;
    for (const auto& element : events.focusedElements())
        said.push_back(element.role + ": " + element.name + " [" + element.keys + "]");
    EXPECT_THAT(said, IsSupersetOf({"menu item: Show Shortcuts [Meta+Alt+K]", "menu item: Settings… [Ctrl+,]",
                                    "menu item: Check for Updates… []"}));
    run("xdotool key Escape");
}

} // namespace
} // namespace hb::e2e
