#include "linux/application_identity.h"

#include "linux/x11_workspace.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace hb::linux_platform {

namespace {

std::string fileContents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool strip(std::string_view& text, std::string_view suffix)
{
    if (!text.ends_with(suffix))
        return false;
    text.remove_suffix(suffix.size());
    return true;
}

// systemd's escaping of unit names: "\xNN" stands for the byte NN.
std::optional<std::string> unescaped(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            result += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 3 >= text.size() || text[i + 1] != 'x')
            return std::nullopt;
        const char* first = text.data() + i + 2;
        auto [end, error] = std::from_chars(first, first + 2, value, 16);
        if (error != std::errc() || end != first + 2)
            return std::nullopt;
        result += static_cast<char>(value);
        i += 3;
    }
    if (result.empty())
        return std::nullopt;
    return result;
}

} // namespace

std::optional<std::string> launchedDesktopFileID(std::string_view environment, pid_t pid)
{
    constexpr std::string_view fileVariable = "GIO_LAUNCHED_DESKTOP_FILE=";
    constexpr std::string_view pidVariable = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
    std::optional<std::string_view> file, launchedPID;
    while (!environment.empty()) {
        const auto end = environment.find('\0');
        const std::string_view entry = environment.substr(0, end);
        if (entry.starts_with(fileVariable))
            file = entry.substr(fileVariable.size());
        else if (entry.starts_with(pidVariable))
            launchedPID = entry.substr(pidVariable.size());
        environment.remove_prefix(end == std::string_view::npos ? environment.size() : end + 1);
    }
    if (!file)
        return std::nullopt;
    if (launchedPID && *launchedPID != std::to_string(pid))
        return std::nullopt;
    std::string_view name = file->substr(file->rfind('/') + 1);
    if (!strip(name, ".desktop") || name.empty())
        return std::nullopt;
    return std::string(name);
}

std::optional<std::string> applicationIDFromUnitName(std::string_view unit)
{
    const bool isScope = strip(unit, ".scope");
    if (!isScope && !strip(unit, ".service"))
        return std::nullopt;

    constexpr std::string_view gnomeLaunched = "gnome-launched-";
    if (isScope && unit.starts_with(gnomeLaunched)) {
        unit.remove_prefix(gnomeLaunched.size());
        const auto desktop = unit.rfind(".desktop-");
        return desktop == std::string_view::npos ? std::nullopt : unescaped(unit.substr(0, desktop));
    }

    constexpr std::string_view application = "app-";
    if (!unit.starts_with(application))
        return std::nullopt;
    unit.remove_prefix(application.size());
    if (isScope) {
        const auto random = unit.rfind('-');
        if (random == std::string_view::npos || random + 1 == unit.size())
            return std::nullopt;
        unit = unit.substr(0, random);
    } else if (const auto random = unit.find('@'); random != std::string_view::npos) {
        unit = unit.substr(0, random);
    }
    // What is left is "<id>" or "<launcher>-<id>"; dashes of the id are escaped.
    const auto dash = unit.find('-');
    if (dash == std::string_view::npos)
        return unescaped(unit);
    if (unit.find('-', dash + 1) != std::string_view::npos || dash == 0)
        return std::nullopt;
    return unescaped(unit.substr(dash + 1));
}

std::optional<std::string> unitApplicationID(std::string_view cgroups)
{
    std::istringstream lines{std::string(cgroups)};
    for (std::string line; std::getline(lines, line);) {
        // "<hierarchy>:<controllers>:<path>"
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string_view controllers = std::string_view(line).substr(first + 1, second - first - 1);
        const bool unified = line.starts_with("0:") && controllers.empty();
        if (!unified && controllers != "name=systemd")
            continue;
        // The innermost unit of the path; groups below it belong to it.
        std::string_view path = std::string_view(line).substr(second + 1);
        while (!path.empty()) {
            const auto slash = path.rfind('/');
            const std::string_view component = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
            if (component.ends_with(".scope") || component.ends_with(".service")) {
                if (auto id = applicationIDFromUnitName(component))
                    return id;
                break;
            }
            if (slash == std::string_view::npos)
                break;
            path = path.substr(0, slash);
        }
    }
    return std::nullopt;
}

ProcessIdentity processIdentity(pid_t pid)
{
    const std::string folder = "/proc/" + std::to_string(pid);
    return ProcessIdentity{
        .processName = processName(pid),
        .launchedDesktopFileID = launchedDesktopFileID(fileContents(folder + "/environ"), pid),
        .unitApplicationID = unitApplicationID(fileContents(folder + "/cgroup")),
    };
}

platform::RunningApplication identifiedApplication(pid_t pid, const ProcessIdentity& identity,
                                                   std::string_view windowClass, DesktopEntries& entries)
{
    platform::RunningApplication app;
    app.pid = pid;
    app.processName = identity.processName;
    std::optional<DesktopEntry> entry;
    if (identity.launchedDesktopFileID) {
        app.bundleIdentifier = identity.launchedDesktopFileID;
        entry = entries.byID(*identity.launchedDesktopFileID);
    } else if (identity.unitApplicationID) {
        app.bundleIdentifier = identity.unitApplicationID;
        entry = entries.byID(*identity.unitApplicationID);
    } else if (!windowClass.empty()) {
        entry = entries.forWindowClass(windowClass, windowClass);
        app.bundleIdentifier = entry ? entry->id : std::string(windowClass);
    }
    if (entry) {
        app.name = entry->name;
        app.iconName = entry->iconName;
    } else {
        app.name = !windowClass.empty() ? std::string(windowClass) : app.processName;
    }
    return app;
}

} // namespace hb::linux_platform
