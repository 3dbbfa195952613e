#include "settings/settings_backup.h"

#include "base/atomic_file.h"
#include "base/untrusted_file.h"
#include "settings/app_icon.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <cmath>
#include <ctime>

namespace hb {
namespace {

using platform::PlistDictionary;
using platform::PlistValue;

constexpr std::string_view versionEntry = "__version";
constexpr std::string_view exportedAtEntry = "__exportedAt";
constexpr std::string_view appVersionEntry = "__hintboardVersion";

constexpr std::string_view notPropertyList = "The data couldn’t be read because it isn’t in the correct format.";
constexpr std::string_view notBackup = "The file couldn’t be opened because it isn’t in the correct format.";

std::string displayName(const std::filesystem::path& path)
{
    return path.filename().string();
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
    platform::SettingsDomain::Changes changes;
    std::vector<std::string> skipped;
    std::size_t present = 0;
    for (auto key : keys::backup) {
        auto found = entries->find(key);
        if (found == entries->end()) {
            changes.emplace(std::string(key), std::nullopt);
            continue;
        }
        ++present;
        if (auto problem = storedValueProblem(key, found->second))
            skipped.push_back(fmt::format("{} ({})", key, *problem));
        else
            changes.emplace(std::string(key), found->second);
    }
    if (present > 0 && skipped.size() == present) {
        auto message = fmt::format("None of the settings in the file has a value of the right kind: {}.",
                                   fmt::join(skipped, ", "));
        return BackupResult::failure(std::move(message), std::move(skipped));
    }
    settings.apply(changes);
    BackupResult result = BackupResult::success();
    result.skipped = std::move(skipped);
    return result;
}

BackupResult SettingsBackup::exportTo(const std::filesystem::path& path)
{
    const auto data = exportSettings(services_.settings, services_.clock.now(), services_.appVersion);
    if (!data)
        return failed("export", "The settings could not be written as a property list.");
    if (auto error = platform::replaceFileAtomically(path, *data, 0644))
        return failed("export",
                      fmt::format("The file “{}” couldn’t be saved because {}.", displayName(path), error.message()));
    return BackupResult::success();
}

BackupResult SettingsBackup::importFrom(const std::filesystem::path& path)
{
    using Status = sources::UntrustedFile::Status;
    const auto file = sources::readUntrustedFile(path, maxBackupFileBytes);
    switch (file.status) {
    case Status::unreadable:
        return failed("import", fmt::format("The file “{}” couldn’t be opened because it isn’t a readable file.",
                                            displayName(path)));
    case Status::oversized:
        return failed("import", fmt::format("The file “{}” is too large to be a settings backup.", displayName(path)));
    case Status::read:
        break;
    }
    auto result = importSettings(file.bytes, services_.settings);
    if (!result.succeeded) {
        services_.log.error(platform::LogCategory::settings, "Settings import failed: {}", result.message);
        return result;
    }
    for (const auto& key : result.skipped)
        services_.log.error(platform::LogCategory::settings, "Settings import from {} skipped {}", displayName(path),
                            key);
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
