#pragma once

#include "linux/desktop_entries.h"
#include "platform/workspace.h"

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace hb::linux_platform {

// The desktop-entry id that GIO's launcher put in a process's environment
// (the NUL-separated contents of /proc/PID/environ): the file name of
// GIO_LAUNCHED_DESKTOP_FILE without ".desktop". Only for the process that was
// launched (GIO_LAUNCHED_DESKTOP_FILE_PID), not for its children, which
// inherit the variable.
std::optional<std::string> launchedDesktopFileID(std::string_view environment, pid_t pid);

// The application id in the name of a systemd unit that a desktop launcher
// made for an application: "app[-<launcher>]-<id>-<random>.scope",
// "app[-<launcher>]-<id>[@<random>].service" and the older
// "gnome-launched-<id>.desktop-<random>.scope"; "\x2d" in the id is a dash.
// Other units (session scopes, terminals' "vte-spawn-…") give none.
std::optional<std::string> applicationIDFromUnitName(std::string_view unit);

// The application id of the unit a process runs in, from the contents of
// /proc/PID/cgroup (the unified hierarchy, else the systemd one).
std::optional<std::string> unitApplicationID(std::string_view cgroups);

// What a process says about its application, read from /proc.
struct ProcessIdentity {
    std::string processName;
    std::optional<std::string> launchedDesktopFileID;
    std::optional<std::string> unitApplicationID;
};
ProcessIdentity processIdentity(pid_t pid);

// The running application of a process: the identifier from the launcher's
// desktop file, else from its unit, else the desktop entry or name of its
// window class (on Wayland: the toolkit's application name); its name and
// icon from the desktop entry when there is one.
platform::RunningApplication identifiedApplication(pid_t pid, const ProcessIdentity& identity,
                                                   std::string_view windowClass, DesktopEntries& entries);

} // namespace hb::linux_platform
