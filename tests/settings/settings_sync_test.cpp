#include "settings/settings_sync.h"

#include "platform/fake/memory_key_value_store.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "settings/theme_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::LogCategory;
using platform::PlistArray;
using platform::PlistValue;
using platform::Seconds;

struct OffsetClock : platform::Clock {
    OffsetClock(platform::Clock& base, Seconds offset) : base(base), offset(offset) {}
    platform::TimePoint now() const override { return base.now() + offset; }
    platform::Clock& base;
    Seconds offset;
};

// One simulated machine: its own settings and stores over the shared cloud.
struct Machine {
    Machine(fake::VirtualRuntime& runtime, fake::MemoryCloud& cloud, Seconds clockOffset)
        : clock(runtime, clockOffset), store(cloud), notifications(runtime)
    {
    }
    SettingsSync& sync(fake::VirtualRuntime& runtime)
    {
        if (!sync_) {
            favourites.emplace(settings);
            ignoreList.emplace(settings);
            theme.emplace(settings, [] { return RgbColor{}; });
            sync_.emplace(SettingsSyncServices{settings, store, runtime, clock, notifications, log, *favourites,
                                               *ignoreList, *theme});
        }
        return *sync_;
    }
    double now() const { return clock.now().time_since_epoch().count(); }

    OffsetClock clock;
    fake::MemorySettingsDomain settings;
    fake::MemoryKeyValueStore store;
    platform::NotificationCenter notifications;
    fake::MemoryLogSink logSink;
    platform::Log log{logSink, [] { return false; }};
    std::optional<FavouritesStore> favourites;
    std::optional<IgnoreListStore> ignoreList;
    std::optional<ThemeSettings> theme;
    std::optional<SettingsSync> sync_;
};

const PlistValue pins{PlistArray{"Mousepad|Save|⌘S"}};
const PlistValue otherPins{PlistArray{"Mousepad|Open…|⌘O"}};

struct SettingsSyncTest : testing::Test {
    fake::VirtualRuntime runtime;
    fake::MemoryCloud cloud;
    Machine ahead{runtime, cloud, Seconds(100)};
    Machine behind{runtime, cloud, Seconds(0)};

    // Starts both machines and hands each the other's seeding.
    void startBoth()
    {
        ahead.sync(runtime).start();
        behind.sync(runtime).start();
        cloud.deliver();
        runtime.advance(Seconds(2));
    }
};

TEST_F(SettingsSyncTest, FirstStartSeedsOnlyMissingKeysThenTakesNewerValues)
{
    ahead.settings.set(keys::wrapLongSections, true);
    ahead.sync(runtime).start();
    EXPECT_EQ(cloud.records().at("__ts_wrapLongSections"), PlistValue(0.0));
    ahead.settings.set(keys::showAllMenuItems, true);
    runtime.advance(Seconds(1));
    EXPECT_EQ(cloud.records().at("__ts_showAllMenuItems"), PlistValue(ahead.now()));

    cloud.deliver();
    behind.settings.set(keys::wrapLongSections, false);
    behind.settings.set(keys::showConflictIndicator, true);
    behind.sync(runtime).start();
    // The seeded value of the other machine stays; equal times (0) apply nothing.
    EXPECT_EQ(cloud.records().at(std::string(keys::wrapLongSections)), PlistValue(true));
    EXPECT_FALSE(behind.settings.boolean(keys::wrapLongSections));
    EXPECT_EQ(cloud.records().at(std::string(keys::showConflictIndicator)), PlistValue(true));
    EXPECT_TRUE(behind.settings.boolean(keys::showAllMenuItems));
    EXPECT_TRUE(behind.settings.boolean(keys::didInitSyncV2));

    // Seeding runs once per machine.
    behind.sync(runtime).stop();
    behind.settings.set(keys::hideLargeSubmenus, true);
    const int writes = behind.store.writeCount();
    behind.sync(runtime).start();
    EXPECT_EQ(behind.store.writeCount(), writes);
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                testing::Contains("SettingsSync.start() snapshot keys=3 didInit=true"));
}

TEST_F(SettingsSyncTest, EqualTimesDoNotApply)
{
    behind.sync(runtime).start();
    behind.settings.set(keys::pinnedShortcuts, pins);
    behind.settings.set(keys::localSyncTimestamps, platform::PlistDictionary{{"pinnedShortcuts", 5.0}});
    ahead.store.set(keys::pinnedShortcuts, otherPins);
    ahead.store.setDouble("__ts_pinnedShortcuts", 5.0);
    cloud.deliver();
    EXPECT_EQ(behind.settings.object(keys::pinnedShortcuts), pins);
    EXPECT_FALSE(behind.sync(runtime).hasNewerRemoteSettings());

    ahead.store.setDouble("__ts_pinnedShortcuts", 5.5);
    cloud.deliver();
    EXPECT_EQ(behind.settings.object(keys::pinnedShortcuts), otherPins);
}

TEST_F(SettingsSyncTest, AppliedValueRefreshesStoresAndDoesNotEchoBack)
{
    startBoth();
    // The receiver's clock is ahead, so only the snapshot keeps it from pushing the value back.
    int channelNotifications = 0;
    ahead.notifications.addObserver(notifications::receiveBetaUpdatesChanged, [&] { ++channelNotifications; });

    behind.settings.set(keys::pinnedShortcuts, pins);
    behind.settings.set(keys::receiveBetaUpdates, true);
    runtime.advance(Seconds(0.9));
    EXPECT_FALSE(cloud.records().contains(std::string(keys::pinnedShortcuts)));
    runtime.advance(Seconds(0.1));
    ASSERT_EQ(cloud.records().at(std::string(keys::pinnedShortcuts)), pins);

    const int writes = ahead.store.writeCount();
    cloud.deliver();
    runtime.advance(Seconds(2));
    EXPECT_EQ(ahead.settings.object(keys::pinnedShortcuts), pins);
    EXPECT_EQ(ahead.favourites->pinned(), std::set<std::string>{"Mousepad|Save|⌘S"});
    EXPECT_EQ(channelNotifications, 1);
    EXPECT_EQ(ahead.store.writeCount(), writes);

    // Writing the same value again pushes nothing either.
    const int behindWrites = behind.store.writeCount();
    behind.settings.set(keys::pinnedShortcuts, pins);
    runtime.advance(Seconds(2));
    EXPECT_EQ(behind.store.writeCount(), behindWrites);
}

TEST_F(SettingsSyncTest, MachineWhoseClockIsBehindAdoptsTheRemoteValue)
{
    startBoth();
    ahead.settings.set(keys::pinnedShortcuts, pins);
    runtime.advance(Seconds(1));
    cloud.deliver();

    behind.settings.set(keys::pinnedShortcuts, otherPins);
    runtime.advance(Seconds(1));
    EXPECT_EQ(behind.settings.object(keys::pinnedShortcuts), pins);
    EXPECT_EQ(cloud.records().at(std::string(keys::pinnedShortcuts)), pins);
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                testing::Contains(testing::StartsWith("SettingsSync.push: adopting remote value for 'pinnedShortcuts' "
                                                      "(remote ts=1800000103.000000 > local ts=1800000004.000000)")));

    // A removal is undone the same way while the remote time is later.
    behind.settings.remove(keys::pinnedShortcuts);
    runtime.advance(Seconds(1));
    EXPECT_EQ(behind.settings.object(keys::pinnedShortcuts), pins);
    EXPECT_TRUE(cloud.records().contains("__ts_pinnedShortcuts"));

    // The machine ahead removes it from the store.
    ahead.settings.remove(keys::pinnedShortcuts);
    runtime.advance(Seconds(1));
    EXPECT_FALSE(cloud.records().contains(std::string(keys::pinnedShortcuts)));
    EXPECT_FALSE(cloud.records().contains("__ts_pinnedShortcuts"));
}

TEST_F(SettingsSyncTest, FailedWriteIsRetriedByTheNextPush)
{
    startBoth();
    ahead.store.failWrites = true;
    ahead.settings.set(keys::showSystemShortcuts, true);
    runtime.advance(Seconds(1));
    ahead.store.failWrites = false;
    ahead.settings.set(keys::wrapLongSections, true);
    runtime.advance(Seconds(1));
    EXPECT_EQ(cloud.records().at(std::string(keys::showSystemShortcuts)), PlistValue(true));
}

TEST_F(SettingsSyncTest, AStoppedSyncNeitherPushesNorTakesRemoteValues)
{
    startBoth();
    behind.sync(runtime).stop();
    behind.settings.set(keys::showSystemShortcuts, true);
    runtime.advance(Seconds(2));
    EXPECT_FALSE(cloud.records().contains(std::string(keys::showSystemShortcuts)));

    ahead.settings.set(keys::wrapLongSections, true);
    runtime.advance(Seconds(2));
    cloud.deliver();
    runtime.advance(Seconds(2));
    EXPECT_FALSE(behind.settings.boolean(keys::wrapLongSections));
}

TEST_F(SettingsSyncTest, KeepLocalOverwritesTheStoreAndClearingForgetsEverything)
{
    ahead.settings.set(keys::showSystemShortcuts, true);
    ahead.sync(runtime).start();
    ahead.settings.set(keys::showSystemShortcuts, false);
    runtime.advance(Seconds(1));
    cloud.deliver();

    behind.settings.set(keys::showSystemShortcuts, true);
    EXPECT_TRUE(behind.sync(runtime).hasNewerRemoteSettings());
    behind.sync(runtime).keepLocalSettings();
    EXPECT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));
    EXPECT_EQ(cloud.records().at(std::string(keys::showSystemShortcuts)), PlistValue(true));
    EXPECT_TRUE(behind.sync(runtime).isRunning());

    behind.sync(runtime).clearICloudData();
    EXPECT_FALSE(behind.sync(runtime).isRunning());
    EXPECT_TRUE(cloud.records().empty());
    EXPECT_FALSE(behind.settings.object(keys::localSyncTimestamps));
    EXPECT_FALSE(behind.settings.object(keys::didInitSyncV2));
    EXPECT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                testing::Contains("SettingsSync.clearICloudData() wiping 19 KVS keys"));
}

} // namespace
} // namespace hb
