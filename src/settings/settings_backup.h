#pragma once

#include "base/log.h"
#include "platform/app_presence.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/theme_settings.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

inline constexpr std::string_view backupFileExtension = "hintboardsettings";
inline constexpr std::string_view backupDefaultFileName = "Hintboard Settings.hintboardsettings";
// A backup holds a few kilobytes; anything much larger is not one.
inline constexpr std::size_t maxBackupFileBytes = 4 << 20;

// How an export or import went; `message` says why it failed, for the alert.
struct BackupResult {
    bool succeeded = false;
    std::string message;
    // Entries of an import left out, each "key (why)".
    std::vector<std::string> skipped;

    static BackupResult success() { return {true, {}, {}}; }
    static BackupResult failure(std::string message, std::vector<std::string> skipped = {})
    {
        return {false, std::move(message), std::move(skipped)};
    }
};

// "2025-03-01T14:05:09Z": UTC, whole seconds.
std::string iso8601(platform::TimePoint time);

// The backup as an XML property list: "__version" 1, "__exportedAt",
// "__hintboardVersion" and every backup key that has a value, as stored.
// None when the values cannot be written as a property list.
std::optional<std::string> exportSettings(const platform::SettingsDomain& settings, platform::TimePoint now,
                                          std::string_view appVersion);

// Replaces the backup keys with those of a backup, in one write: each key
// present in it with a value of its type and bounds is written, each one
// absent is removed; a present value of the wrong kind is skipped (the key
// keeps its value) and listed. Other entries are ignored. When every present
// value is of the wrong kind, nothing is written and the import fails. The
// whole backup is read first, so a failure changes nothing.
BackupResult importSettings(std::string_view data, platform::SettingsDomain& settings);

// Backup files and what must follow an import. Main thread only.
class SettingsBackup {
public:
    struct Services {
        platform::SettingsDomain& settings;
        platform::Clock& clock;
        FavouritesStore& favourites;
        IgnoreListStore& ignoreList;
        ThemeSettings& theme;
        platform::AppPresence& appPresence;
        platform::NotificationCenter& notifications;
        platform::Log& log;
        std::string appVersion; // empty when unknown
    };

    explicit SettingsBackup(Services services) : services_(std::move(services)) {}

    // Writes the backup of the current settings to `path`: a temporary file
    // beside it renamed over it. A target that is not a regular file (a FIFO,
    // a device, a folder) is refused at once. Failures of both are logged.
    BackupResult exportTo(const std::filesystem::path& path);
    // Reads a backup file (a regular file of at most maxBackupFileBytes),
    // imports it, then refreshes the stores, the application icon and those
    // who follow the icon style and update channels.
    BackupResult importFrom(const std::filesystem::path& path);

private:
    BackupResult failed(std::string_view action, std::string message);
    void refreshAfterImport();

    Services services_;
};

} // namespace hb
