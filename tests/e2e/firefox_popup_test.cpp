// Firefox's menus stay empty until opened; the popup shows them all the
// same, read from its archive, and runs a row by pressing its keys.
#include "accessible_tree.h"
#include "tray_application.h"

#include <gmock/gmock.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace hb::e2e {
namespace {

class FirefoxPopupTest : public TrayApplication {
protected:
    void TearDown() override
    {
        if (firefox > 0) {
            const auto helpers = DesktopSession::descendantsOf(firefox);
            session->stopApplication(firefox);
            DesktopSession::waitUntil([&] {
                return std::all_of(helpers.begin(), helpers.end(), [](pid_t helper) { return kill(helper, 0) != 0; });
            });
            for (pid_t helper : helpers)
                if (kill(helper, 0) == 0)
                    kill(helper, SIGKILL);
        }
        TrayApplication::TearDown();
    }

    pid_t firefox = -1;
};

TEST_F(FirefoxPopupTest, PopupShowsItsMenusAndNewTabOpensATab)
{
    if (access("/usr/bin/firefox-esr", X_OK) != 0)
        GTEST_SKIP() << "firefox-esr is not installed";
    const std::string profile = session->folder() + "/firefox-popup-profile";
    std::filesystem::create_directories(profile);
    firefox = session->launch({"firefox-esr", "--profile", profile, "--no-remote", "about:blank"});
    ASSERT_GT(firefox, 0);
    unsigned long window = 0;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (window = DesktopSession::managedWindowOf(firefox)) != 0; },
                                          std::chrono::seconds(60)));
    ASSERT_TRUE(DesktopSession::waitUntil(
        [] { return status(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app firefox-esr") == 0; },
        std::chrono::seconds(30)));
    run("xdotool windowactivate --sync " + std::to_string(window));
    auto tabCount = [&] {
        const auto strip = accessibleDescendantsOf(firefox, "page tab list");
        return std::count_if(strip.begin(), strip.end(), [](const auto& e) { return e.role == "page tab"; });
    };
    const auto tabsBefore = tabCount();
    ASSERT_GT(tabsBefore, 0);

    ASSERT_TRUE(openWithHotKey());
    // Looked at: File, Edit, View, History, Bookmarks, Tools and the window's other keys in columns.
    screenshot("popup-over-firefox.png");
    run("xdotool type --delay 40 'new tab'");
    run("xdotool key --delay 100 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return tabCount() == tabsBefore + 1; }))
        << "Firefox opened no tab: " << tabsBefore << " tabs before, " << tabCount() << " after";
}

} // namespace
} // namespace hb::e2e
