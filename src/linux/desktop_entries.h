#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb::linux_platform {

// What an application's desktop entry says about it.
struct DesktopEntry {
    std::string id;   // file id without ".desktop", e.g. "org.xfce.mousepad"
    std::string name; // localized when the entry has a name for the language
    std::optional<std::string> iconName;
    std::optional<std::string> startupWMClass;
    std::optional<std::string> command; // the program Exec runs, without folder: "libreoffice"

    friend bool operator==(const DesktopEntry&, const DesktopEntry&) = default;
};

// The "[Desktop Entry]" group of one file, or absent when the file is no
// application entry or is hidden. `locale` is a POSIX locale name ("de_AT.UTF-8").
std::optional<DesktopEntry> parseDesktopEntry(std::string_view contents, std::string id, std::string_view locale);

// $XDG_DATA_HOME/applications, then the applications folder of each of
// $XDG_DATA_DIRS, with the defaults of the base-directory rules.
std::vector<std::filesystem::path> applicationFolders();

// The locale for messages from LC_ALL, LC_MESSAGES or LANG.
std::string messagesLocale();

// The application entries of the given folders, an earlier folder winning for
// an id. Rescans when a folder's modification time has changed. Thread-safe.
class DesktopEntries {
public:
    explicit DesktopEntries(std::vector<std::filesystem::path> folders = applicationFolders(),
                            std::string locale = messagesLocale());

    // By id, with or without the ".desktop" suffix or a leading folder.
    std::optional<DesktopEntry> byID(std::string_view id);
    // The entry for a window's WM_CLASS: its StartupWMClass, else its id, else
    // the last part of a reverse-domain id names the instance or the class
    // (ASCII case ignored).
    std::optional<DesktopEntry> forWindowClass(std::string_view instance, std::string_view className);

private:
    void refreshIfChanged();
    std::vector<std::filesystem::file_time_type> folderTimes() const;

    std::vector<std::filesystem::path> folders_;
    std::string locale_;
    std::mutex mutex_;
    std::optional<std::vector<std::filesystem::file_time_type>> scannedTimes_;
    std::vector<DesktopEntry> entries_; // in precedence order
};

} // namespace hb::linux_platform
