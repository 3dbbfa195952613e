#include "linux/xdg_autostart_login_item.h"

#include "base/atomic_file.h"
#include "base/xdg_folders.h"
#include "linux/desktop_entries.h"
#include "linux/program_paths.h"

#include <fstream>
#include <sstream>

namespace hb::linux_platform {
namespace {

// A string value: only the backslash needs escaping in a path.
std::string stringValue(const std::string& text)
{
    std::string value;
    for (char c : text) {
        if (c == '\\')
            value += '\\';
        value += c;
    }
    return value;
}

// An Exec argument in double quotes, with the characters the quoting rules
// reserve escaped, then escaped again as a string value.
std::string quotedExecArgument(const std::string& argument)
{
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return stringValue(quoted);
}

} // namespace

std::filesystem::path XdgAutostartLoginItem::defaultEntryPath()
{
    const auto config = platform::xdgConfigHome();
    return config.empty() ? config : config / "autostart" / "hintboard.desktop";
}

std::filesystem::path XdgAutostartLoginItem::currentExecutable()
{
    // The entry starts the command, which hands over to the tray application.
    const auto running = runningExecutable();
    return running.empty() ? std::filesystem::path("hintboard") : launcherPath(running);
}

XdgAutostartLoginItem::XdgAutostartLoginItem(std::filesystem::path entry, std::filesystem::path executable)
    : entry_(std::move(entry)), executable_(std::move(executable))
{}

std::string XdgAutostartLoginItem::entryText(const std::filesystem::path& executable)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Hintboard\n"
           "Comment=Keyboard shortcuts of the application in front\n"
           "Exec="
           + quotedExecArgument(executable.string())
           + "\n"
             // Once the program is removed, the desktop skips the entry.
             "TryExec="
           + stringValue(executable.string())
           + "\n"
             "Terminal=false\n"
             "X-GNOME-Autostart-enabled=true\n";
}

bool XdgAutostartLoginItem::isEnabled() const
{
    if (!entry_.is_absolute())
        return false;
    std::ifstream file(entry_, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    return parseDesktopEntry(content.str(), "hintboard", "").has_value();
}

bool XdgAutostartLoginItem::setEnabled(bool enabled, std::string& error)
{
    if (!entry_.is_absolute()) {
        error = "No home folder is known ($HOME is not set and the account has none), so there is no autostart folder";
        return false;
    }
    std::error_code failure;
    if (enabled) {
        std::filesystem::create_directories(entry_.parent_path(), failure);
        if (!failure)
            failure = platform::replaceFileAtomically(entry_, entryText(executable_), 0644);
    } else {
        std::filesystem::remove(entry_, failure);
    }
    if (failure)
        error = entry_.string() + ": " + failure.message();
    return !failure;
}

} // namespace hb::linux_platform
