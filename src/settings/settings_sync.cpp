#include "settings/settings_sync.h"

#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "settings/theme_settings.h"

#include <algorithm>

namespace hb {
namespace {

using platform::LogCategory;
using platform::PlistDictionary;
using platform::PlistValue;

std::string timeKey(std::string_view key)
{
    return std::string(SettingsSync::timePrefix) + std::string(key);
}

bool isSynchronised(std::string_view key)
{
    return std::ranges::find(keys::synchronised, key) != keys::synchronised.end();
}

std::optional<PlistValue> entry(const PlistDictionary& values, std::string_view key)
{
    auto found = values.find(key);
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

} // namespace

SettingsSync::SettingsSync(SettingsSyncServices services) : s_(services) {}

SettingsSync::~SettingsSync()
{
    stop();
}

double SettingsSync::now() const
{
    return s_.clock.now().time_since_epoch().count();
}

PlistDictionary SettingsSync::currentValues() const
{
    PlistDictionary values;
    for (auto key : keys::synchronised) {
        if (auto value = s_.settings.object(key))
            values.emplace(std::string(key), std::move(*value));
    }
    return values;
}

SettingsSync::Times SettingsSync::localTimes() const
{
    Times times;
    auto stored = s_.settings.object(keys::localSyncTimestamps);
    const auto* entries = stored ? stored->as<PlistDictionary>() : nullptr;
    if (!entries)
        return times;
    for (const auto& [key, time] : *entries) {
        if (const auto* real = time.as<double>())
            times.emplace(key, *real);
        else if (const auto* integer = time.as<std::int64_t>())
            times.emplace(key, static_cast<double>(*integer));
        else
            return {};  // a dictionary of the wrong shape counts as none
    }
    return times;
}

void SettingsSync::saveLocalTimes(const Times& times)
{
    PlistDictionary stored;
    for (const auto& [key, time] : times)
        stored.emplace(key, PlistValue(time));
    s_.settings.set(keys::localSyncTimestamps, PlistValue(std::move(stored)));
}

void SettingsSync::start()
{
    const bool didInit = s_.settings.boolean(keys::didInitSyncV2);
    s_.log.notice(LogCategory::settings, "SettingsSync.start() snapshot keys={} didInit={}", snapshot_.size(), didInit);
    snapshot_ = currentValues();
    // A first start whose seeding failed seeds again next time.
    if (!didInit && seed())
        s_.settings.set(keys::didInitSyncV2, true);
    applyRemoteIfNewer();
    observe();
}

bool SettingsSync::seed()
{
    const Times times = localTimes();
    bool stored = true;
    for (auto key : keys::synchronised) {
        auto local = s_.settings.object(key);
        if (!local || s_.store.object(key))
            continue;
        auto time = times.find(key);
        stored = s_.store.set(key, *local) && s_.store.setDouble(timeKey(key), time == times.end() ? 0 : time->second)
                 && stored;
    }
    return s_.store.synchronize() && stored;
}

void SettingsSync::observe()
{
    if (!storeObserver_)
        storeObserver_ = s_.store.addExternalChangeObserver([this](const auto&) { applyRemoteIfNewer(); });
    if (!settingsObserver_) {
        settingsObserver_ = s_.settings.addObserver([this](std::string_view key) {
            if (isSynchronised(key))
                schedulePush();
        });
    }
}

void SettingsSync::stop()
{
    if (debounceTask_)
        s_.mainQueue.cancel(*debounceTask_);
    debounceTask_.reset();
    if (storeObserver_)
        s_.store.removeExternalChangeObserver(*storeObserver_);
    storeObserver_.reset();
    if (settingsObserver_)
        s_.settings.removeObserver(*settingsObserver_);
    settingsObserver_.reset();
}

void SettingsSync::applyRemoteIfNewer()
{
    Times times = localTimes();
    bool applied = false;
    for (auto key : keys::synchronised) {
        auto remote = s_.store.object(key);
        if (!remote)
            continue;
        const double remoteTime = s_.store.doubleValue(timeKey(key));
        auto local = times.find(key);
        const double localTime = local == times.end() ? 0 : local->second;
        if (remoteTime <= localTime)
            continue;
        s_.log.notice(LogCategory::settings,
                      "SettingsSync.applyRemoteIfNewer: applying remote '{}' (remote ts={:f} > local ts={:f})", key,
                      remoteTime, localTime);
        s_.settings.set(key, *remote);
        times.insert_or_assign(std::string(key), remoteTime);
        snapshot_.insert_or_assign(std::string(key), std::move(*remote));
        applied = true;
    }
    if (!applied)
        return;
    saveLocalTimes(times);
    refreshStores();
}

void SettingsSync::refreshStores()
{
    s_.favourites.reload();
    s_.ignoreList.reload();
    auto color = s_.settings.object(keys::keyAccentColor);
    const auto* data = color ? color->as<platform::PlistData>() : nullptr;
    s_.theme.setCustomColor(data ? unarchiveColor(*data) : std::nullopt);
    s_.notifications.post(notifications::receiveBetaUpdatesChanged);
    s_.notifications.post(notifications::receiveAlphaUpdatesChanged);
}

void SettingsSync::schedulePush()
{
    if (debounceTask_)
        s_.mainQueue.cancel(*debounceTask_);
    debounceTask_ = s_.mainQueue.postAfter(pushDelay, [this] {
        debounceTask_.reset();
        push();
    });
}

void SettingsSync::push()
{
    const PlistDictionary current = currentValues();
    std::vector<std::string_view> changed;
    for (auto key : keys::synchronised) {
        auto local = entry(current, key);
        auto known = entry(snapshot_, key);
        if (local.has_value() != known.has_value() || (local && !(*local == *known)))
            changed.push_back(key);
    }
    if (changed.empty())
        return;

    Times times = localTimes();
    const double now = this->now();
    for (auto key : changed) {
        auto remote = s_.store.object(key);
        const double remoteTime = s_.store.doubleValue(timeKey(key));
        if (auto local = entry(current, key)) {
            if (!remote || remoteTime <= now) {
                s_.log.notice(LogCategory::settings,
                              "SettingsSync.push: pushing '{}' to KVS (local ts={:f} >= remote ts={:f} or no remote value)",
                              key, now, remoteTime);
                // A key whose write failed keeps its snapshot entry, so the next push tries it again.
                if (s_.store.set(key, *local) && s_.store.setDouble(timeKey(key), now)) {
                    times.insert_or_assign(std::string(key), now);
                    snapshot_.insert_or_assign(std::string(key), std::move(*local));
                }
            } else {
                s_.log.notice(LogCategory::settings,
                              "SettingsSync.push: adopting remote value for '{}' (remote ts={:f} > local ts={:f})", key,
                              remoteTime, now);
                s_.settings.set(key, *remote);
                times.insert_or_assign(std::string(key), remoteTime);
                snapshot_.insert_or_assign(std::string(key), std::move(*remote));
            }
        } else if (remoteTime <= now) {
            if (s_.store.remove(key) && s_.store.remove(timeKey(key))) {
                if (auto found = times.find(key); found != times.end())
                    times.erase(found);
                if (auto found = snapshot_.find(key); found != snapshot_.end())
                    snapshot_.erase(found);
            }
        } else if (remote) {
            s_.log.notice(LogCategory::settings,
                          "SettingsSync.push: remote '{}' is newer than local deletion (remote ts={:f} > local ts={:f}); "
                          "adopting remote value instead",
                          key, remoteTime, now);
            s_.settings.set(key, *remote);
            times.insert_or_assign(std::string(key), remoteTime);
            snapshot_.insert_or_assign(std::string(key), std::move(*remote));
        }
    }
    saveLocalTimes(times);
    s_.store.synchronize();
}

void SettingsSync::keepLocalSettings()
{
    snapshot_ = currentValues();
    const double now = this->now();
    Times times = localTimes();
    for (auto key : keys::synchronised) {
        times.insert_or_assign(std::string(key), now);
        if (auto local = entry(snapshot_, key)) {
            s_.store.set(key, *local);
            s_.store.setDouble(timeKey(key), now);
        }
    }
    saveLocalTimes(times);
    s_.store.synchronize();
    s_.settings.set(keys::didInitSyncV2, true);
    applyRemoteIfNewer();
    observe();
}

void SettingsSync::clearICloudData()
{
    s_.log.notice(LogCategory::settings, "SettingsSync.clearICloudData() wiping {} KVS keys", keys::synchronised.size());
    stop();
    for (auto key : keys::synchronised) {
        s_.store.remove(key);
        s_.store.remove(timeKey(key));
    }
    s_.store.synchronize();
    s_.settings.remove(keys::localSyncTimestamps);
    s_.settings.remove(keys::didInitSyncV2);
    snapshot_.clear();
}

bool SettingsSync::hasNewerRemoteSettings() const
{
    const Times times = localTimes();
    return std::ranges::any_of(keys::synchronised, [&](std::string_view key) {
        if (!s_.store.object(key))
            return false;
        auto local = times.find(key);
        return s_.store.doubleValue(timeKey(key)) > (local == times.end() ? 0 : local->second);
    });
}

} // namespace hb
