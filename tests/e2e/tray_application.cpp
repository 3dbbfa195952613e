#include "tray_application.h"

#include "accessible_tree.h"
#include "menu_rows.h"

#include "fake/memory_log.h"
#include "linux/plist_file_settings_domain.h"
#include "settings/settings_keys.h"

#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

namespace hb::e2e {

std::string run(const std::string& command)
{
    return DesktopSession::commandOutput(command + " 2>/dev/null");
}

int status(const std::string& command)
{
    const int result = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

CommandRun hintboardCommand(const std::string& arguments, const std::string& prefix)
{
    // The exit status follows the output, on a line of its own.
    const std::string errors = DesktopSession::shared().folder() + "/command-errors.txt";
    CommandRun result{.output = DesktopSession::commandOutput(prefix + " " HINTBOARD_EXECUTABLE " " + arguments + " 2>"
                                                              + errors + "; printf '\\n%d' $?")};
    const auto end = result.output.rfind('\n');
    result.status = std::atoi(result.output.c_str() + end + 1);
    result.output.resize(end);
    result.errors = DesktopSession::fileText(errors);
    return result;
}

std::pair<pid_t, std::vector<std::string>> frontAnswer(const std::string& prefix)
{
    const std::string json = hintboardCommand("shortcuts --front --json", prefix).output;
    const auto printed = nlohmann::json::parse(json, nullptr, false);
    return {printed.is_object() ? printed.value(nlohmann::json::json_pointer("/application/pid"), 0) : 0,
            rowTexts(jsonRows(json))};
}

std::vector<Window> visibleHintboardWindows()
{
    std::vector<Window> windows;
    std::istringstream ids(run("xdotool search --onlyvisible --class hintboard"));
    for (std::string id; ids >> id;) {
        Window window{.id = id};
        std::sscanf(run("xdotool getwindowgeometry --shell " + id).c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d",
                    &window.x, &window.y, &window.width, &window.height);
        window.isMenu = run("xprop -id " + id + " WM_NAME").find("\"Hintboard Menu\"") != std::string::npos;
        windows.push_back(window);
    }
    return windows;
}

std::optional<Window> trayIcon()
{
    for (const auto& window : visibleHintboardWindows())
        if (!window.isMenu && window.width <= 64 && window.height <= 64)
            return window;
    return std::nullopt;
}

std::optional<Window> openStatusMenu()
{
    if (const auto icon = trayIcon())
        click(*icon, 3);
    std::optional<Window> menu;
    DesktopSession::waitUntil([&] {
        return std::ranges::any_of(visibleHintboardWindows(),
                                   [&](const Window& window) { return window.isMenu && (menu = window); });
    });
    return menu;
}

// The popup: a large window of the process that is neither the icon nor a menu.
std::optional<Window> shownPopup()
{
    for (const auto& window : visibleHintboardWindows())
        if (!window.isMenu && window.width >= 200 && window.height >= 100)
            return window;
    return std::nullopt;
}

bool popupShown()
{
    return shownPopup().has_value();
}

std::string activeWindow()
{
    return run("xprop -root _NET_ACTIVE_WINDOW");
}

int visibleWindowsOf(pid_t pid)
{
    return std::ranges::count(DesktopSession::windowTitles(pid), '\n');
}

bool popupHidden()
{
    return !popupShown();
}

bool openWithHotKey()
{
    run("xdotool key alt+super+k");
    return DesktopSession::waitUntil(popupShown);
}

bool closeWithEscape(const std::function<bool()>& shown)
{
    for (int press = 0; press < 5 && shown(); ++press) {
        run("xdotool key Escape");
        DesktopSession::waitUntil([&] { return !shown(); }, std::chrono::seconds(1));
    }
    return !shown();
}

void click(const Window& window, int button)
{
    run("xdotool mousemove " + std::to_string(window.x + window.width / 2) + " "
        + std::to_string(window.y + window.height / 2) + " click " + std::to_string(button));
}

std::optional<Window> hintboardWindowNamed(const std::string& title)
{
    for (const auto& window : visibleHintboardWindows())
        if (run("xprop -id " + window.id + " WM_NAME").find("\"" + title + "\"") != std::string::npos)
            return window;
    return std::nullopt;
}

bool activateHintboardWindow(const std::string& title)
{
    std::optional<Window> window;
    if (!DesktopSession::waitUntil([&] { return (window = hintboardWindowNamed(title)).has_value(); }))
        return false;
    run("xdotool windowactivate --sync " + window->id);
    return true;
}

std::vector<std::string> shownRows(pid_t hintboard)
{
    std::vector<std::string> rows;
    std::string menu;
    for (const auto& element : accessibleDescendantsOf(hintboard, "list")) {
        if (element.description == "Menu" && !element.name.empty())
            menu = element.name; // an unnamed section continues the menu in the next column
        else if (element.role == "list item")
            rows.push_back(menu + "/" + element.name + "=" + element.description);
    }
    return rows;
}

pid_t launchInFront(DesktopSession& session, const std::vector<std::string>& command, const std::string& appName)
{
    const pid_t pid = session.launch(command);
    if (pid <= 0
        || !DesktopSession::waitUntil(
            [&] { return status(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app " + appName) == 0; },
            std::chrono::seconds(20)))
        return -1;
    run("xdotool search --onlyvisible --pid " + std::to_string(pid) + " windowactivate --sync");
    return pid;
}

pid_t TrayApplication::startTrayHost()
{
    return session->launch({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                            "--height", "28", "--SetDockType", "true", "--transparent", "false"});
}

void TrayApplication::SetUpTestSuite()
{
    session = &DesktopSession::shared();
    markWizardSeen();
    tray = startTrayHost();
    mousepad = launchInFront(*session, {"mousepad", "--disable-server"}, "mousepad");
    ASSERT_GT(tray, 0);
    ASSERT_GT(mousepad, 0) << "mousepad's menus cannot be read";
}

void TrayApplication::TearDownTestSuite()
{
    session->stopApplication(mousepad);
    session->stopApplication(tray);
}

void TrayApplication::startHintboard(const std::map<std::string, std::string>& environment)
{
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    hintboard = session->launch({HINTBOARD_EXECUTABLE}, environment);
    ASSERT_GT(hintboard, 0);
    bool ended = false;
    DesktopSession::waitUntil([&] { return trayIcon() || (ended = !session->isRunning(hintboard)); });
    if (ended) {
        hintboard = -1;
        GTEST_SKIP() << "this build of hintboard has no tray application";
    }
    ASSERT_TRUE(trayIcon()) << "no status icon";
}

void TrayApplication::TearDown()
{
    run("xdotool keyup super alt ctrl shift");
    if (hintboard > 0)
        session->stopApplication(hintboard);
}

int TrayApplication::exitStatus(std::chrono::seconds timeout)
{
    int result = 0;
    pid_t ended = 0;
    DesktopSession::waitUntil([&] { return (ended = waitpid(hintboard, &result, WNOHANG)) != 0; }, timeout);
    if (ended != hintboard)
        return -1;
    hintboard = -1;
    return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

std::string settingsFile(const std::string& configFolder)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return (configFolder.empty() ? std::string(config ? config : "") : configFolder)
           + "/hintboard/org.mirelo.Hintboard.plist";
}

void writeSettings(const std::string& configFolder, const SettingValues& values)
{
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    auto opened = linux_platform::PlistFileSettingsDomain::open(settingsFile(configFolder), log);
    ASSERT_TRUE(opened.domain) << opened.error;
    for (const auto& [key, value] : values)
        opened.domain->set(key, value);
}

void markWizardSeen()
{
    writeSettings({}, {{keys::didShowOnboardingWizard, true}});
}

std::string freshConfigFolder(const std::string& name)
{
    const auto folder = std::filesystem::path(DesktopSession::shared().folder()) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

int storedInteger(const std::string& file, const std::string& key)
{
    std::smatch match;
    const std::string text = DesktopSession::fileText(file);
    if (std::regex_search(text, match, std::regex("<key>" + key + "</key>\\s*<integer>(-?\\d+)</integer>")))
        return std::stoi(match[1]);
    return -1;
}

bool storedTrue(const std::string& file, const std::string& key)
{
    return std::regex_search(DesktopSession::fileText(file), std::regex("<key>" + key + "</key>\\s*<true/>"));
}

} // namespace hb::e2e
