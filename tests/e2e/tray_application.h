#pragma once

// The tray application in the private session with a tray host (trayer) and
// mousepad, and what tests need to drive it like a user: the windows of the
// hintboard process, its status icon and menu, the popup, clicks and keys.
#include "desktop_session.h"

#include "base/property_list.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb::e2e {

// A shell command's standard output (standard error dropped) and exit status.
std::string run(const std::string& command);
int status(const std::string& command);

// `hintboard ARGUMENTS` (shell words, after `prefix`, e.g. variables): its exit status, output and errors.
struct CommandRun {
    int status = -1;
    std::string output;
    std::string errors;
};
CommandRun hintboardCommand(const std::string& arguments, const std::string& prefix = {});
// The application that `hintboard shortcuts --front` names (0 when none), and its rows as rowTexts() gives them.
std::pair<pid_t, std::vector<std::string>> frontAnswer(const std::string& prefix = {});

struct Window {
    std::string id;
    int x = 0, y = 0, width = 0, height = 0;
    bool isMenu = false;
};

// The mapped windows of the hintboard process, with their places on the screen.
std::vector<Window> visibleHintboardWindows();
// The mapped hintboard window of that title.
std::optional<Window> hintboardWindowNamed(const std::string& title);
// Waits for Hintboard's window of that title and activates it, so that it gets the keys; false when none comes.
bool activateHintboardWindow(const std::string& title);
// The status icon: the tray host's embedded window of class hintboard.
std::optional<Window> trayIcon();
// Opens the status menu with a right click on the icon; the menu, once shown.
std::optional<Window> openStatusMenu();
std::optional<Window> shownPopup();
bool popupShown();
bool popupHidden();
std::string activeWindow();
int visibleWindowsOf(pid_t pid);
// The hot key, as the user presses it over the application in front.
bool openWithHotKey();
// Escape removes one layer (overlay, search text, modifiers, favourites) at a time; until `shown` no longer holds.
bool closeWithEscape(const std::function<bool()>& shown = popupShown);
void click(const Window& window, int button);
// Each row the popup shows as "Menu/Title=keys", as assistive technologies read it.
std::vector<std::string> shownRows(pid_t hintboard);
// Starts a program in the session, waits until `hintboard shortcuts --app
// appName` reads its menus and brings its window to the front; its process
// id, or -1 when it did not get that far.
pid_t launchInFront(DesktopSession& session, const std::vector<std::string>& command, const std::string& appName);

// The path of a file in the end-to-end tests' data folder.
inline std::string dataFile(const std::string& name)
{
    return HINTBOARD_SOURCE_DIR "/tests/e2e/data/" + name;
}

// The settings file in a settings folder; the session's own without one.
std::string settingsFile(const std::string& configFolder = {});
using SettingValues = std::map<std::string_view, platform::PlistValue>;
// Sets values in the settings file of `configFolder` (the session's own when empty).
void writeSettings(const std::string& configFolder, const SettingValues& values);
// The session's settings, in which the welcome wizard has been seen.
void markWizardSeen();
// A settings folder of its own, empty, inside the session's folder.
std::string freshConfigFolder(const std::string& name);
// An integer setting as the settings file holds it, or -1.
int storedInteger(const std::string& file, const std::string& key);
bool storedTrue(const std::string& file, const std::string& key);

class TrayApplication : public ::testing::Test {
protected:
    static pid_t startTrayHost();
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // Starts hintboard (with `environment` added) and waits for its status icon.
    void SetUp() override { startHintboard(); }
    void TearDown() override;

    void startHintboard(const std::map<std::string, std::string>& environment = {});
    // Waits for the program to end; its exit status, or -1.
    int exitStatus(std::chrono::seconds timeout = std::chrono::seconds(5));

    static inline DesktopSession* session = nullptr;
    static inline pid_t tray = -1;
    static inline pid_t mousepad = -1;
    pid_t hintboard = -1;
};

} // namespace hb::e2e
