// Firefox, whose menu bar sits inside a tool bar and whose menus are filled
// only once they have been opened: the command and the popup read them from
// its archive, run a row by pressing its keys, and AT-SPI reads the menus
// that have been opened.
#include "accessible_tree.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "menus/menu_bar_reader.h"
#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "linux/exported_menu_accessibility.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gmock/gmock.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace hb::e2e {
namespace {

using testing::Contains;
using testing::IsSupersetOf;
using testing::Not;
using testing::StartsWith;

class FirefoxTest : public TrayApplication {
protected:
    void SetUp() override
    {
        if (access("/usr/bin/firefox-esr", X_OK) != 0)
            GTEST_SKIP() << "firefox-esr is not installed";
        const std::string profile = freshConfigFolder("firefox-profile");
        firefox = session->launch({"firefox-esr", "--profile", profile, "--no-remote", "about:blank"});
        ASSERT_GT(firefox, 0);
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return (window = DesktopSession::managedWindowOf(firefox)) != 0; },
                                              std::chrono::seconds(60)));
        ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardCommand("shortcuts --app firefox-esr").status == 0; },
                                              std::chrono::seconds(30)));
    }
    void TearDown() override
    {
        // Firefox runs helper processes below it; they end with it, or are ended here.
        const auto helpers = DesktopSession::descendantsOf(firefox);
        session->stopApplication(firefox);
        DesktopSession::waitUntil([&] { return std::ranges::all_of(helpers, [](pid_t helper) { return kill(helper, 0) != 0; }); });
        for (pid_t helper : helpers)
            if (kill(helper, 0) == 0)
                kill(helper, SIGKILL);
        TrayApplication::TearDown();
    }
    long tabCount()
    {
        return std::ranges::count(accessibleDescendantsOf(firefox, "page tab list"), "page tab", &AccessibleElement::role);
    }

    pid_t firefox = -1;
    unsigned long window = 0;
};

TEST_F(FirefoxTest, MenusComeFromItsArchiveThePopupRunsNewTabAndOpenedMenusReadOverAtspi)
{
    // No menu has been opened: the command lists them all the same, from the archive.
    const auto listed = hintboardCommand("shortcuts --app firefox-esr --json");
    EXPECT_THAT(hintboardCommand("shortcuts --app firefox-esr").output,
                StartsWith(fmt::format("Firefox ESR (firefox-esr, pid {})\n", firefox)));
    std::map<std::string, std::string> labels;
    for (const auto& row : jsonRows(listed.output))
        if (!row.keys.empty())
            labels.emplace(row.menu + "/" + row.title, row.label);
    EXPECT_GE(labels.size(), 40u) << listed.output;
    EXPECT_EQ(labels["File/New Tab"], "Ctrl+T");
    EXPECT_EQ(labels["File/Quit"], "Ctrl+Q");
    EXPECT_EQ(labels["Edit/Undo"], "Ctrl+Z");
    EXPECT_EQ(labels["Tools/Downloads"], "Ctrl+Shift+Y");
    // --verbose names where the rows came from.
    EXPECT_THAT(hintboardCommand("shortcuts --app firefox-esr --verbose").errors,
                testing::HasSubstr("browser.xhtml in /usr/lib/firefox-esr/browser/omni.ja (en-US)"));

    // New Tab presses Ctrl+T in Firefox's window: one more tab opens.
    startHintboard();
    run("xdotool windowactivate --sync " + std::to_string(window));
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

    // Each menu fills when it opens and keeps its items once closed.
    for (const char* key : {"alt+f", "alt+e"})
        run(fmt::format("xdotool windowactivate --sync {} key {} sleep 1 key Escape sleep 0.3", window, key));
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    linux_platform::AtspiAccessibility atspi{log};
    linux_platform::ExportedMenuAccessibility exported{log};
    linux_platform::MenuExportingAccessibility accessibility{exported, atspi, SessionKind::x11};
    const MenuBarReader reader{accessibility, log};
    std::vector<std::string> rows;
    DesktopSession::waitUntil([&] {
        rows = rowTexts(reader.readMenuBar(MenuReadOptions{.pid = firefox}));
        return std::ranges::find(rows, "Edit/Find in Page…=⌃F") != rows.end();
    });
    EXPECT_THAT(rows, IsSupersetOf({"File/New Tab=⌃T", "File/New Window=⌃N", "File/New Private Window=⌃⇧P",
                                    "File/Open File…=⌃O", "File/Close Tab=⌃W", "File/Close Window=⌃⇧W",
                                    "File/Save Page As…=⌃S", "File/Print…=⌃P", "File/Quit=⌃Q", "Edit/Undo=⌃Z",
                                    "Edit/Redo=⌃⇧Z", "Edit/Paste=⌃V", "Edit/Select All=⌃A",
                                    "Edit/Find in Page…=⌃F", "Edit/Find Again=⌃G"}))
        << fmt::format("{}", fmt::join(rows, "\n"));
    // Mnemonics are no keys: such items come with every item only.
    EXPECT_THAT(rows, Not(Contains(StartsWith("File/Email Link…="))));
    EXPECT_THAT(rowTexts(reader.readMenuBar(MenuReadOptions{.pid = firefox, .includeAll = true})),
                IsSupersetOf({"File/Email Link…=", "File/Work Offline=", "Edit/Settings="}));
}

} // namespace
} // namespace hb::e2e
