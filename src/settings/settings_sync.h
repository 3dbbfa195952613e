#pragma once

#include "platform/key_value_store.h"
#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"

#include <map>
#include <optional>
#include <string>

namespace hb {

class FavouritesStore;
class IgnoreListStore;
class ThemeSettings;

struct SettingsSyncServices {
    platform::SettingsDomain& settings;
    platform::KeyValueStore& store;
    platform::MainQueue& mainQueue;
    platform::Clock& clock;
    platform::NotificationCenter& notifications;
    platform::Log& log;
    // Refreshed after remote values were applied.
    FavouritesStore& favourites;
    IgnoreListStore& ignoreList;
    ThemeSettings& theme;
};

// Keeps the synchronised settings keys in step with the shared key-value
// store, per key, newest change wins. Each key K has the records K (the value
// as stored locally) and "__ts_"+K (seconds since 1970 of the change). The
// local settings stay what every consumer reads; this only writes into them.
// Main thread only.
class SettingsSync {
public:
    static constexpr platform::Seconds pushDelay{1};
    static constexpr std::string_view timePrefix = "__ts_";

    explicit SettingsSync(SettingsSyncServices services);
    ~SettingsSync();
    SettingsSync(const SettingsSync&) = delete;
    SettingsSync& operator=(const SettingsSync&) = delete;

    // Seeds the store on this machine's first start, takes newer remote
    // values and starts observing both sides.
    void start();
    // Stops observing and drops a pending push; the snapshot stays.
    void stop();
    bool isRunning() const { return settingsObserver_.has_value(); }

    // Takes every remote value whose time is later than this machine's.
    void applyRemoteIfNewer();
    // Sends the keys changed since the snapshot; a remote value with a later
    // time than now is adopted instead.
    void push();
    // Pushes 1 second after the last of a burst of calls.
    void schedulePush();

    // Overwrites the store with every local value, then runs as after start().
    void keepLocalSettings();
    // Removes this program's records from the store and forgets the local
    // bookkeeping; stops.
    void clearICloudData();
    // Whether the store holds a value with a later time than this machine's.
    bool hasNewerRemoteSettings() const;

private:
    using Times = std::map<std::string, double, std::less<>>;

    platform::PlistDictionary currentValues() const;
    Times localTimes() const;
    void saveLocalTimes(const Times& times);
    bool seed();
    void observe();
    void refreshStores();
    double now() const;

    SettingsSyncServices s_;
    platform::PlistDictionary snapshot_;
    std::optional<platform::MainQueue::TaskId> debounceTask_;
    std::optional<platform::KeyValueStore::ObserverId> storeObserver_;
    std::optional<platform::SettingsDomain::ObserverId> settingsObserver_;
};

} // namespace hb
