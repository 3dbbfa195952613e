#include "app/instance_client.h"
#include "app/shortcuts_command.h"
#include "app/stored_settings.h"
#include "platform/linux/program_paths.h"

#include <fmt/format.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace {

// The help names the hot key as the popup would write it.
std::string usage()
{
    const auto stored = hb::app::StoredSettings::read();
    const auto hotkey = stored.hotkey();
    const std::string trigger =
        hotkey ? "press " + hb::notation::keyLabel(hotkey->displayString, stored.keyLabels()) + " (the hot key)"
               : "press the hot key you set";
    return fmt::format(R"(usage: hintboard                 start Hintboard in the panel's tray area
       hintboard toggle          show or hide the popup of the running Hintboard
       hintboard show            show the popup of the running Hintboard
       hintboard quit            end the running Hintboard
       hintboard shortcuts (--front | --app NAME | --pid PID | --system | --registered)
                         [--all] [--json] [--verbose]
                                 print an application's menu shortcuts, the
                                 desktop's own or those applications registered
       hintboard --help          show this help
       hintboard --version       print the version

Hintboard shows the keyboard shortcuts of the application in front:
{}, tap the chosen modifier key twice, or click its icon.
One Hintboard runs per session; a second `hintboard` says so and exits.
`toggle`, `show` and `quit` reach it over the session bus (name
org.mirelo.Hintboard), so a desktop's own keyboard settings can bind them.
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
        if (command == "quit")
            return hb::app::sendToRunningInstance("Quit");
    }
    std::fprintf(stderr, "hintboard: unknown arguments; see `hintboard --help`\n");
    return 2;
}
