#include "app/instance_client.h"
#include "app/shortcuts_command.h"
#include "app/stored_settings.h"
#include "linux/program_paths.h"
#include "triggers/trigger_availability.h"

#include <fmt/format.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace {

// The help names the hot key as the popup would write it; on Wayland, where
// the desktop may deliver no hot key, it leads with the command to bind.
std::string usage()
{
    const auto stored = hb::app::StoredSettings::read();
    const auto hotkey = stored.hotkey();
    const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    const bool wayland = hb::sessionKind(waylandDisplay ? waylandDisplay : "", sessionType ? sessionType : "")
                         == hb::SessionKind::wayland;
    const std::string keyName = hotkey ? hb::notation::keyLabel(hotkey->displayString, stored.keyLabels()) : "";
    // Wayland lets no program watch the modifier keys: no double tap there.
    const std::string trigger =
        wayland ? "press a key bound to `hintboard toggle` in the desktop's keyboard settings"
                      + (hotkey ? "\n(or " + keyName + " where the desktop grants global shortcuts)" : std::string())
                      + ", or click its icon."
        : hotkey ? "press " + keyName + " (the hot key),\ntap the chosen modifier key twice, or click its icon."
                 : "press the hot key you set,\ntap the chosen modifier key twice, or click its icon.";
    return fmt::format(R"(usage: hintboard                 start Hintboard in the panel's tray area
       hintboard toggle          show or hide the popup of the running Hintboard
       hintboard show            show the popup of the running Hintboard
       hintboard settings        open the settings window of the running Hintboard
       hintboard quiz            start a quiz over the application in front
       hintboard quit            end the running Hintboard
       hintboard shortcuts (--front | --app NAME | --pid PID | --system | --registered)
                         [--all] [--json] [--verbose]
                                 print an application's menu shortcuts, the
                                 desktop's own or those applications registered
       hintboard --help          show this help
       hintboard --version       print the version

Hintboard shows the keyboard shortcuts of the application in front:
{}
One Hintboard runs per session; a second `hintboard` says so and exits.
The other commands reach it over the session bus (name
org.mirelo.Hintboard), so a desktop's own keyboard settings can bind them;
where the desktop shows no tray icons they stand in for the icon's menu.
`hintboard shortcuts --help` describes that command.

Exit status: 0 on success, 1 when Hintboard cannot start or no running
Hintboard answers, 2 for bad arguments.
)",
                       trigger);
}

// The tray application takes over this process (same id, same environment).
int startTrayApplication(char** argv)
{
    const auto launcher = hb::linux_platform::runningExecutable();
    const std::string tray = hb::linux_platform::trayApplicationPath(launcher.empty() ? argv[0] : launcher).string();
    ::execv(tray.c_str(), argv);
    std::fprintf(stderr, "hintboard: cannot start %s: %s\n", tray.c_str(), std::strerror(errno));
    return 1;
}

} // namespace

// The command line loads no GUI library: subcommands run here, the tray
// application is a program of its own.
int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    if (arguments.empty())
        return startTrayApplication(argv);
    const std::string_view command = arguments.front();
    if (command == "shortcuts")
        return hb::app::runShortcutsCommand(std::span(arguments).subspan(1));
    if (arguments.size() == 1) {
        if (command == "--help" || command == "-h") {
            std::fputs(usage().c_str(), stdout);
            return 0;
        }
        if (command == "--version") {
            std::printf("hintboard %s\n", HINTBOARD_VERSION);
            return 0;
        }
        if (command == "toggle")
            return hb::app::sendToRunningInstance("Toggle");
        if (command == "show")
            return hb::app::sendToRunningInstance("Show");
        if (command == "settings")
            return hb::app::sendToRunningInstance("Settings");
        if (command == "quiz")
            return hb::app::sendToRunningInstance("Quiz");
        if (command == "quit")
            return hb::app::sendToRunningInstance("Quit");
    }
    std::fprintf(stderr, "hintboard: unknown arguments; see `hintboard --help`\n");
    return 2;
}
