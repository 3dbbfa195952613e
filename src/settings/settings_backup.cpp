#include "settings/settings_backup.h"

#include "settings/app_icon.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "sources/untrusted_file.h"

#include <fmt/format.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace hb {
namespace {

using platform::PlistDictionary;
using platform::PlistValue;

constexpr std::string_view versionEntry = "__version";
constexpr std::string_view exportedAtEntry = "__exportedAt";
constexpr std::string_view appVersionEntry = "__hintboardVersion";

constexpr std::string_view notPropertyList = "The data couldn’t be read because it isn’t in the correct format.";
constexpr std::string_view notBackup = "The file couldn’t be opened because it isn’t in the correct format.";

std::string displayName(const std::filesystem::path& path) { return path.filename().string(); }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Writes the whole of `bytes`; the reason of a failure otherwise.
std::optional<std::string> writeFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return std::strerror(errno);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return std::strerror(errno);
    if (std::fclose(file.release()) != 0)
        return std::strerror(errno);
    return std::nullopt;
}

} // namespace

std::string iso8601(platform::TimePoint time)
{
    const double seconds = std::floor(time.time_since_epoch().count());
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[32] = "";
    if (!gmtime_r(&whole, &parts) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return {};
    return text;
}

std::optional<std::string> exportSettings(const platform::SettingsDomain& settings, platform::TimePoint now,
                                          std::string_view appVersion)
{
    PlistDictionary entries{
        {std::string(versionEntry), PlistValue(1)},
        {std::string(exportedAtEntry), PlistValue(iso8601(now))},
        {std::string(appVersionEntry), PlistValue(std::string(appVersion))},
    };
    for (auto key : keys::backup) {
        if (auto value = settings.object(key))
            entries.insert_or_assign(std::string(key), std::move(*value));
    }
    return platform::serializePropertyList(PlistValue(std::move(entries)), platform::PlistFormat::xml);
}

BackupResult importSettings(std::string_view data, platform::SettingsDomain& settings)
{
    const auto parsed = platform::parsePropertyList(data);
    if (!parsed)
        return BackupResult::failure(std::string(notPropertyList));
    const auto* entries = parsed->as<PlistDictionary>();
    if (!entries)
        return BackupResult::failure(std::string(notBackup));
    for (auto key : keys::backup) {
        if (auto found = entries->find(key); found != entries->end())
            settings.set(key, found->second);
        else
            settings.remove(key);
    }
    return BackupResult::success();
}

BackupResult SettingsBackup::exportTo(const std::filesystem::path& path)
{
    const auto data = exportSettings(services_.settings, services_.clock.now(), services_.appVersion);
    if (!data)
        return failed("export", "The settings could not be written as a property list.");
    if (auto reason = writeFile(path, *data))
        return failed("export", fmt::format("The file “{}” couldn’t be saved: {}.", displayName(path), *reason));
    return BackupResult::success();
}

BackupResult SettingsBackup::importFrom(const std::filesystem::path& path)
{
    using Status = sources::UntrustedFile::Status;
    const auto file = sources::readUntrustedFile(path, maxBackupFileBytes);
    switch (file.status) {
    case Status::unreadable:
        return failed("import",
                      fmt::format("The file “{}” couldn’t be opened because it isn’t a readable file.", displayName(path)));
    case Status::oversized:
        return failed("import", fmt::format("The file “{}” is too large to be a settings backup.", displayName(path)));
    case Status::read:
        break;
    }
    auto result = importSettings(file.bytes, services_.settings);
    if (!result.succeeded)
        return failed("import", std::move(result.message));
    refreshAfterImport();
    return result;
}

BackupResult SettingsBackup::failed(std::string_view action, std::string message)
{
    services_.log.error(platform::LogCategory::settings, "Settings {} failed: {}", action, message);
    return BackupResult::failure(std::move(message));
}

void SettingsBackup::refreshAfterImport()
{
    auto& settings = services_.settings;
    services_.favourites.reload();
    services_.ignoreList.reload();
    auto stored = settings.object(keys::keyAccentColor);
    const auto* archive = stored ? stored->as<platform::PlistData>() : nullptr;
    services_.theme.setCustomColor(archive ? unarchiveColor(*archive) : std::nullopt);
    applyAppIconVariant(Settings(settings).appIconVariant(), services_.appPresence);
    services_.notifications.post(notifications::menuBarIconStyleChanged);
    services_.notifications.post(notifications::receiveBetaUpdatesChanged);
    services_.notifications.post(notifications::receiveAlphaUpdatesChanged);
}

} // namespace hb
