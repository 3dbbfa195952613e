// The tray application in a private session with a tray host (trayer) and
// mousepad, driven like a user would: clicks on the status icon, the hot key's
// D-Bus twin `hintboard toggle`, a second `hintboard`.
#include "desktop_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace hb::e2e {
namespace {

std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        while (auto count = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, count);
        pclose(pipe);
    }
    return output;
}

int status(const std::string& command)
{
    const int result = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

struct Window {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0;
    bool isMenu = false;
};

// The mapped windows of the hintboard process, with their places on the screen.
std::vector<Window> visibleHintboardWindows()
{
    std::vector<Window> windows;
    std::istringstream ids(run("xdotool search --onlyvisible --class hintboard"));
    std::string id;
    while (ids >> id) {
        Window window{.id = id};
        std::istringstream shell(run("xdotool getwindowgeometry --shell " + id));
        std::string line;
        while (std::getline(shell, line)) {
            if (auto eq = line.find('='); eq != std::string::npos) {
                const std::string key = line.substr(0, eq);
                const int value = std::atoi(line.c_str() + eq + 1);
                if (key == "X") window.x = value;
                if (key == "Y") window.y = value;
                if (key == "WIDTH") window.width = value;
                if (key == "HEIGHT") window.height = value;
            }
        }
        window.isMenu = run("xprop -id " + id + " WM_NAME").find("\"Hintboard Menu\"") != std::string::npos;
        windows.push_back(window);
    }
    return windows;
}

// The status icon: the tray host's embedded window of class hintboard.
std::optional<Window> trayIcon()
{
    static const std::regex line(R"re((0x[0-9a-f]+) "[^"]*": \("hintboard" "Hintboard"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))re");
    std::istringstream tree(run("xwininfo -root -tree"));
    std::string text;
    while (std::getline(tree, text)) {
        std::smatch match;
        if (std::regex_search(text, match, line) && std::stoi(match[2]) <= 64 && std::stoi(match[3]) <= 64)
            return Window{match[1], std::stoi(match[4]), std::stoi(match[5]), std::stoi(match[2]), std::stoi(match[3])};
    }
    return std::nullopt;
}

std::optional<Window> shownMenu()
{
    for (const auto& window : visibleHintboardWindows())
        if (window.isMenu)
            return window;
    return std::nullopt;
}

// The popup: a large window of the process that is neither the icon nor a menu.
bool popupShown()
{
    for (const auto& window : visibleHintboardWindows())
        if (!window.isMenu && window.width >= 200 && window.height >= 100)
            return true;
    return false;
}

std::string activeWindow() { return run("xprop -root _NET_ACTIVE_WINDOW"); }

int visibleWindowsOf(pid_t pid)
{
    std::istringstream ids(run("xdotool search --onlyvisible --pid " + std::to_string(pid)));
    int count = 0;
    for (std::string id; ids >> id;)
        ++count;
    return count;
}

bool popupHidden() { return !popupShown(); }

// The hot key, as the user presses it over the application in front.
bool openWithHotKey()
{
    run("xdotool key alt+super+k");
    return DesktopSession::waitUntil(popupShown, std::chrono::seconds(5));
}

// Escape removes one layer (overlay, search text, modifiers, favourites) at a time.
bool closeWithEscape()
{
    for (int press = 0; press < 5 && popupShown(); ++press) {
        run("xdotool key Escape");
        DesktopSession::waitUntil(popupHidden, std::chrono::seconds(1));
    }
    return popupHidden();
}

void click(const Window& window, int button)
{
    run("xdotool mousemove " + std::to_string(window.x + window.width / 2) + " " +
        std::to_string(window.y + window.height / 2) + " click " + std::to_string(button));
}

class TrayApplication : public ::testing::Test {
protected:
    static pid_t startTrayHost()
    {
        return session->launch({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                                "120", "--height", "28", "--SetDockType", "true", "--transparent", "false"});
    }
    static void SetUpTestSuite()
    {
        session = &DesktopSession::shared();
        tray = startTrayHost();
        mousepad = session->launch({"mousepad", "--disable-server"});
        ASSERT_GT(tray, 0);
        ASSERT_GT(mousepad, 0);
        // Readable menus: mousepad has joined AT-SPI.
        ASSERT_TRUE(DesktopSession::waitUntil(
            [] { return status(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app mousepad") == 0; },
            std::chrono::seconds(20)));
    }
    static void TearDownTestSuite()
    {
        session->stopApplication(mousepad);
        session->stopApplication(tray);
    }

    void SetUp() override
    {
        run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
        hintboard = start();
        ASSERT_GT(hintboard, 0);
        bool ended = false;
        DesktopSession::waitUntil([&] { return trayIcon() || (ended = waitpid(hintboard, nullptr, WNOHANG) != 0); });
        if (ended) {
            hintboard = -1;
            GTEST_SKIP() << "this build of hintboard has no tray application";
        }
        ASSERT_TRUE(trayIcon()) << "no status icon";
    }
    void TearDown() override
    {
        if (hintboard > 0 && waitpid(hintboard, nullptr, WNOHANG) == 0) {
            kill(hintboard, SIGTERM);
            if (!DesktopSession::waitUntil([&] { return waitpid(hintboard, nullptr, WNOHANG) != 0; },
                                           std::chrono::seconds(3))) {
                kill(hintboard, SIGKILL);
                waitpid(hintboard, nullptr, 0);
            }
        }
    }

    // Started here rather than by the session, to see its exit status.
    static pid_t start()
    {
        char* argv[] = {const_cast<char*>(HINTBOARD_EXECUTABLE), nullptr};
        pid_t pid = -1;
        return posix_spawn(&pid, HINTBOARD_EXECUTABLE, nullptr, nullptr, argv, environ) == 0 ? pid : -1;
    }
    // Waits for the program to end; its exit status, or -1.
    int exitStatus(std::chrono::seconds timeout = std::chrono::seconds(5))
    {
        int result = 0;
        pid_t ended = 0;
        DesktopSession::waitUntil([&] { return (ended = waitpid(hintboard, &result, WNOHANG)) != 0; }, timeout);
        if (ended != hintboard)
            return -1;
        hintboard = -1;
        return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }

    static DesktopSession* session;
    static pid_t tray;
    static pid_t mousepad;
    pid_t hintboard = -1;
};

DesktopSession* TrayApplication::session = nullptr;
pid_t TrayApplication::tray = -1;
pid_t TrayApplication::mousepad = -1;

TEST_F(TrayApplication, LeftClickTogglesThePopupOverMousepad)
{
    const Window icon = *trayIcon();
    click(icon, 1);
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown)) << "the popup did not open";
    click(icon, 1);
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !popupShown(); })) << "the popup did not close";
}

TEST_F(TrayApplication, HotKeyOpensThePopupOverMousepadWhichStaysActive)
{
    const std::string before = activeWindow();
    ASSERT_TRUE(openWithHotKey());
    EXPECT_EQ(activeWindow(), before) << "the popup took the activation";
    // Looked at: the popup over mousepad, beside the test in the build folder.
    run("import -window root popup-over-mousepad.png");
    EXPECT_TRUE(closeWithEscape());

    ASSERT_TRUE(openWithHotKey());
    run("xdotool mousemove 5 1000 click 1");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden)) << "a click elsewhere left it open";
}

TEST_F(TrayApplication, TypingFiltersAndReturnRunsTheSelectedRowInMousepad)
{
    const int windows = visibleWindowsOf(mousepad);
    ASSERT_TRUE(openWithHotKey());
    // Only "New Window" is left; Tab selects it (unfiltered, the first row would be "New").
    run("xdotool type --delay 40 'new window'");
    run("xdotool key --delay 100 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(mousepad) == windows + 1; }))
        << "mousepad opened no window";
    run("xdotool key ctrl+shift+w");
    DesktopSession::waitUntil([&] { return visibleWindowsOf(mousepad) == windows; });
}

TEST_F(TrayApplication, TypingACommandsShortcutRunsItInMousepad)
{
    run("xdotool search --onlyvisible --pid " + std::to_string(mousepad) + " windowactivate --sync");
    const std::string title = run("xdotool getactivewindow getwindowname");
    ASSERT_TRUE(openWithHotKey());
    run("xdotool key ctrl+n");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    // A new tab is a new document: mousepad's title names it.
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return run("xdotool getactivewindow getwindowname") != title; }))
        << "still " << title;
    run("xdotool key ctrl+w");
}

TEST_F(TrayApplication, PopupOpensOverFeatherPadToo)
{
    const pid_t featherpad = session->launch({"featherpad", "--standalone"});
    ASSERT_TRUE(DesktopSession::waitUntil(
        [] { return status(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app featherpad") == 0; },
        std::chrono::seconds(20)));
    run("xdotool search --onlyvisible --pid " + std::to_string(featherpad) + " windowactivate --sync");
    const std::string before = activeWindow();
    EXPECT_TRUE(openWithHotKey());
    EXPECT_EQ(activeWindow(), before);
    run("import -window root popup-over-featherpad.png");
    EXPECT_TRUE(closeWithEscape());
    session->stopApplication(featherpad);
}

TEST_F(TrayApplication, RightClickOpensTheMenuWhoseQuitEndsTheProgram)
{
    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    EXPECT_FALSE(popupShown());
    // "Quit Hintboard" is the last entry.
    const Window menu = *shownMenu();
    run("xdotool mousemove " + std::to_string(menu.x + menu.width / 3) + " " +
        std::to_string(menu.y + menu.height - 12) + " click 1");
    EXPECT_EQ(exitStatus(), 0);
}

TEST_F(TrayApplication, ToggleCommandFromAnotherProcessOpensAndClosesThePopup)
{
    EXPECT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " toggle"), 0);
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown));
    EXPECT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " toggle"), 0);
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !popupShown(); }));
}

TEST_F(TrayApplication, SecondInstanceExitsAndQuitCommandEndsTheFirst)
{
    EXPECT_EQ(status(HINTBOARD_EXECUTABLE), 0);
    EXPECT_EQ(waitpid(hintboard, nullptr, WNOHANG), 0) << "the first instance ended";
    EXPECT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " quit"), 0);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " toggle"), 1) << "toggle without an instance";
}

TEST_F(TrayApplication, IconComesBackWhenTheTrayHostRestarts)
{
    session->stopApplication(tray);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return !trayIcon(); }));
    tray = startTrayHost();
    EXPECT_TRUE(DesktopSession::waitUntil([] { return trayIcon().has_value(); }));
    EXPECT_EQ(waitpid(hintboard, nullptr, WNOHANG), 0) << "the program ended with its tray host";
}

TEST_F(TrayApplication, TerminationSignalEndsCleanlyWithTheSettingsSaved)
{
    kill(hintboard, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(status(std::string("test -s ") + config + "/hintboard/org.mirelo.Hintboard.plist"), 0);
}

} // namespace
} // namespace hb::e2e
