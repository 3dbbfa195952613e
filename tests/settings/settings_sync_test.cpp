#include "settings/settings_sync.h"

#include "settings/settings_keys.h"
#include "settings/sync_state.h"
#include "support/sync_machines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::LogCategory;
using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;
using platform::Seconds;
using test::machineRecord;
using test::stamp;
using test::stamped;
using test::SyncMachine;
using testing::Contains;
using testing::HasSubstr;

std::string record(const PlistValue& value)
{
    return *platform::serializePropertyList(value, platform::PlistFormat::xml);
}

TEST(SyncState, StampsAreReadWithinTheirBoundsAndUpToADayAhead)
{
    constexpr std::int64_t now = 1'700'000'000'000;
    const double ahead = now / 1000.0 + 86400;
    struct Case {
        PlistValue stamp;
        std::optional<SyncStamp> read;
    };
    for (const auto& c :
         {Case{stamp(ahead, 0, "m"), SyncStamp{now + 86'400'000, 0, "m"}},
          Case{stamp(ahead + 0.001, 0, "m"), std::nullopt}, Case{stamp(1.2345, 7, "m"), SyncStamp{1235, 7, "m"}},
          Case{stamp(std::int64_t(5), 0, "m"), SyncStamp{5000, 0, "m"}}, Case{stamp(0.0, 0, "m"), SyncStamp{0, 0, "m"}},
          Case{stamp(-0.001, 0, "m"), std::nullopt}, Case{stamp(std::nan(""), 0, "m"), std::nullopt},
          Case{stamp(1.0, std::int64_t(1) << 40, "m"), SyncStamp{1000, std::int64_t(1) << 40, "m"}},
          Case{stamp(1.0, (std::int64_t(1) << 40) + 1, "m"), std::nullopt}, Case{stamp(1.0, -1, "m"), std::nullopt},
          Case{stamp(1.0, 0, std::string(128, 'm')), SyncStamp{1000, 0, std::string(128, 'm')}},
          Case{stamp(1.0, 0, std::string(129, 'm')), std::nullopt}, Case{stamp(1.0, 0, ""), std::nullopt},
          Case{stamp("1", 0, "m"), std::nullopt}, Case{PlistArray{1.0, 0}, std::nullopt}}) {
        std::string failure;
        const auto decoded = decodeSyncState(
            machineRecord("other", {{"wrapLongSections", PlistDictionary{{"s", c.stamp}, {"v", true}}}}), now, failure);
        ASSERT_TRUE(decoded) << failure;
        const auto& registers = decoded->state.registers();
        EXPECT_EQ(registers.contains("wrapLongSections") ? std::optional(registers.begin()->second.stamp)
                                                         : std::nullopt,
                  c.read)
            << platform::describe(c.stamp);
        EXPECT_EQ(decoded->skipped.size(), c.read ? 0u : 1u);
    }

    // A stamp refused for lying ahead stays refused at any time; the newest 1000 are remembered.
    std::set<SyncStamp> refused;
    std::string failure;
    const PlistArray marks{stamp(ahead + 1, 0, "fast"), stamp(ahead + 2, 0, "fast")};
    const auto sets =
        PlistDictionary{{"pinnedShortcuts", PlistArray{PlistDictionary{{"e", "[\"a|Save|⌘S\"]"}, {"a", marks}}}}};
    EXPECT_TRUE(decodeSyncState(machineRecord("fast", {}, sets), now, failure, &refused)
                    ->state.sets()
                    .at("pinnedShortcuts")
                    .empty());
    EXPECT_EQ(refused.size(), 1u) << "a list of marks ends at its first refused stamp";
    const SyncStamp first = *refused.begin();
    const auto later = decodeSyncState(machineRecord("fast", {{"wrapLongSections", stamped(ahead + 1, "fast", true)}}),
                                       now + 10 * 86'400'000, failure, &refused);
    EXPECT_EQ(later->skipped,
              std::vector<std::string>{
                  "wrapLongSections: a time stamp refused before as lying ahead of this machine's clock"});
    for (int i = 1; i <= int(maxRefusedStamps); ++i)
        decodeSyncState(
            machineRecord("fast", {{"wrapLongSections", PlistDictionary{{"s", stamp(ahead + 1 + i, 0, "fast")}}}}), now,
            failure, &refused);
    EXPECT_EQ(refused.size(), maxRefusedStamps);
    EXPECT_FALSE(refused.contains(first));
    EXPECT_EQ(decodeSyncState(encodeSyncState({}, "me", &refused), now, failure)->refused, refused);
}

TEST(SyncState, ARecordOfAnotherVersionIsRefusedWhetherOlderOrNewer)
{
    for (const auto& [version, why] : {std::pair<std::int64_t, std::string>{1, "of an unknown version"},
                                       std::pair<std::int64_t, std::string>{3, "written by a newer Hintboard"}}) {
        std::string failure;
        EXPECT_FALSE(decodeSyncState(
            PlistDictionary{{"format", "org.mirelo.Hintboard.sync"}, {"version", version}, {"machine", "m"}},
            1'700'000'000'000, failure));
        EXPECT_THAT(failure, HasSubstr(why));
    }
}

TEST(SyncState, TheClockNeverGoesBackAndTheLaterStampOrOnATieTheGreaterValueWins)
{
    HybridClock clock;
    EXPECT_EQ(clock.tick(1000, "a"), (SyncStamp{1000, 0, "a"}));
    EXPECT_EQ(clock.tick(1000, "a"), (SyncStamp{1000, 1, "a"}));
    EXPECT_EQ(clock.tick(999, "a"), (SyncStamp{1000, 2, "a"}));
    EXPECT_EQ(clock.tick(1001, "a"), (SyncStamp{1001, 0, "a"}));
    clock.observe({5000, 3, "b"});
    clock.observe({5000, 2, "z"});
    clock.observe({4000, 9, "z"});
    EXPECT_EQ(clock.tick(5000, "a"), (SyncStamp{5000, 4, "a"}));

    const auto key = keys::keyAccentColor;
    struct Case {
        SyncStamp stamp;
        std::optional<PlistValue> value;
        bool wins;
    };
    for (const auto& c : {Case{{1000, 0, "b"}, PlistValue(false), true}, Case{{1000, 1, "a"}, PlistValue(false), true},
                          Case{{1001, 0, "a"}, std::nullopt, true}, Case{{999, 9, "z"}, PlistValue(false), false},
                          Case{{1000, 0, "a"}, std::nullopt, false}, Case{{1000, 0, "a"}, PlistValue(false), false},
                          Case{{1000, 0, "a"}, PlistValue(std::int64_t(0)), true}, // later types order after
                          Case{{1000, 0, "a"}, PlistValue(PlistArray{1}), true}}) {
        SyncState mine, theirs;
        mine.recordEdit(key, PlistValue(true), {1000, 0, "a"});
        theirs.recordEdit(key, c.value, c.stamp, true);
        SyncState merged = mine;
        EXPECT_EQ(merged.merge(theirs), c.wins ? std::set<std::string>{std::string(key)} : std::set<std::string>{});
        EXPECT_EQ(merged.value(key), c.wins ? c.value : PlistValue(true)) << c.stamp.milliseconds << c.stamp.machine;
        EXPECT_EQ(mine.covers(theirs), c.stamp <= (SyncStamp{1000, 0, "a"}));
        theirs.merge(mine);
        EXPECT_EQ(theirs.value(key), merged.value(key)) << "whatever the merge order";
    }
    struct Order {
        PlistValue less, greater;
    };
    for (const auto& o :
         {Order{"a", "b"}, Order{std::int64_t(1), std::int64_t(2)}, Order{1.5, 2.5},
          Order{platform::PlistData{1, 2}, platform::PlistData{1, 3}}, Order{PlistArray{1}, PlistArray{1, 0}},
          Order{PlistArray{1, 2}, PlistArray{2}}, Order{PlistDictionary{{"a", 1}}, PlistDictionary{{"a", 2}}},
          Order{PlistDictionary{{"a", 1}}, PlistDictionary{{"b", 0}}}}) {
        EXPECT_TRUE(compareValues(o.less, o.greater) < 0) << platform::describe(o.less);
        EXPECT_TRUE(compareValues(o.greater, o.less) > 0) << platform::describe(o.less);
        EXPECT_TRUE(compareValues(o.greater, o.greater) == 0) << platform::describe(o.less);
    }
}

TEST(SyncState, ARemovalTakesOnlyTheAdditionsItSawAndElementsKeepTheirOrder)
{
    const auto key = keys::pinnedShortcuts;
    SyncState a, b;
    a.recordEdit(key, PlistValue(PlistArray{"b|X|⌘X"}), {2000, 0, "a"});
    a.recordEdit(key, PlistValue(PlistArray{"b|X|⌘X", "a|Y|⌘Y"}), {3000, 0, "a"});
    b.merge(a);
    EXPECT_EQ(b.value(key), PlistValue(PlistArray{"b|X|⌘X", "a|Y|⌘Y"})) << "in the order of their additions";
    EXPECT_FALSE(b.recordEdit(key, b.value(key), {3500, 0, "b"}));
    EXPECT_TRUE(b.recordEdit(key, PlistValue(PlistArray{"a|Y|⌘Y"}), {4000, 0, "b"})); // removes X
    a.recordEdit(key, PlistValue(PlistArray{"a|Y|⌘Y"}), {3900, 0, "a"});              // removes X as well
    a.recordEdit(key, PlistValue(PlistArray{"a|Y|⌘Y", "b|X|⌘X"}), {3950, 0, "a"});    // and adds it again
    EXPECT_EQ(a.newestStamp(), (SyncStamp{3950, 0, "a"}));
    EXPECT_EQ(b.newestStamp(), (SyncStamp{3000, 0, "a"})) << "a removal marks the additions it saw";
    EXPECT_EQ(b.merge(a), std::set<std::string>{std::string(key)});
    EXPECT_TRUE(a.merge(b).empty());
    EXPECT_EQ(b.value(key), PlistValue(PlistArray{"a|Y|⌘Y", "b|X|⌘X"}));
    EXPECT_EQ(a, b);

    // X removed and forgotten: b, which still holds it, does not cover a, and drops X on merging it.
    a.recordEdit(key, PlistValue(PlistArray{"a|Y|⌘Y"}), {5000, 0, "a"});
    a.forgetRemoved([](auto, auto, auto&) { return true; });
    EXPECT_TRUE(a.covers(b));
    EXPECT_FALSE(b.covers(a));
    b.merge(a);
    EXPECT_EQ(b.value(key), a.value(key));
    std::string failure;
    const auto decoded = decodeSyncState(encodeSyncState(a, "a"), 10'000, failure);
    EXPECT_EQ(decoded->machine, "a");
    EXPECT_EQ(decoded->state.value(key), a.value(key));
    EXPECT_EQ(decoded->state.forgotten(), a.forgotten()) << "the watermark travels in every file";
}

struct SettingsSyncTest : testing::Test {
    void startBoth()
    {
        ahead.startProgram();
        behind.startProgram();
    }
    // Lets pushes run and copies travel until nothing moves.
    void settle()
    {
        for (int i = 0; i < 10; ++i) {
            runtime.advance(Seconds(2));
            copier.deliverAll();
            runtime.runMainQueue();
        }
    }

    fake::VirtualRuntime runtime;
    // One hour ahead of, and one hour behind, the true time.
    SyncMachine ahead{runtime, "ahead", Seconds(3600)};
    SyncMachine behind{runtime, "behind", Seconds(-3600)};
    test::SyncCopier copier{{&ahead, &behind}};
    const Shortcut save{.title = "Save", .keys = "⌘S"};
};

TEST_F(SettingsSyncTest, AStampRefusedAsLyingAheadStaysRefusedOnceItIsNotAndAfterARestart)
{
    behind.settings.set(keys::showSystemShortcuts, true); // an edit of its own: its clock counts
    behind.startProgram();
    const double now = behind.clock.now().time_since_epoch().count();
    behind.folder.place(
        "hintboard-intruder.plist",
        record(machineRecord("intruder", {{"hideLargeSubmenus", stamped(now + 2 * 86400, "intruder", true)}})));
    runtime.runMainQueue();
    EXPECT_FALSE(behind.settings.object(keys::hideLargeSubmenus));
    EXPECT_TRUE(behind.logged("skipped 'hideLargeSubmenus: a time stamp 172800 seconds ahead"));
    // The key is not locked; a day and a half later, after a restart, the stamp is still refused.
    behind.settings.set(keys::hideLargeSubmenus, false);
    runtime.advance(Seconds(2 + 36 * 3600));
    behind.restart();
    behind.folder.place("hintboard-other.plist", record(machineRecord("other", {})));
    runtime.runMainQueue();
    EXPECT_EQ(behind.settings.object(keys::hideLargeSubmenus), PlistValue(false));
    EXPECT_TRUE(behind.logged("skipped 'hideLargeSubmenus: a time stamp refused before"));
}

TEST_F(SettingsSyncTest, ALocalValueThatCannotBeSentIsKeptNotOverwritten)
{
    ahead.startProgram();
    ahead.settings.set(keys::pinnedShortcuts, PlistArray{"a|Save|⌘S"});
    settle();
    const PlistValue tooLong = PlistArray{std::string(5000, 'x')};
    behind.settings.set(keys::pinnedShortcuts, tooLong);
    behind.startProgram();
    settle();
    EXPECT_EQ(behind.settings.object(keys::pinnedShortcuts), tooLong);
    EXPECT_EQ(ahead.settings.object(keys::pinnedShortcuts), PlistValue(PlistArray{"a|Save|⌘S"}));
    EXPECT_TRUE(behind.logged("the local 'pinnedShortcuts' is a text of 5000 bytes"));
    // Once the user changes it to what can be sent, it travels again.
    behind.settings.set(keys::pinnedShortcuts, PlistArray{"a|Open|⌘O"});
    settle();
    EXPECT_EQ(ahead.settings.object(keys::pinnedShortcuts), behind.settings.object(keys::pinnedShortcuts));
}

TEST_F(SettingsSyncTest, AFolderFullOfFilesStillReadsItsOwnAndWritesItOnce)
{
    for (int i = 0; i < 1200; ++i)
        behind.folder.place(fmt::format("hintboard-{:04}.plist", i), "not a property list");
    behind.startProgram();
    behind.settings.set(keys::wrapLongSections, true);
    runtime.advance(Seconds(2));
    const int writes = behind.folder.writeCount();
    for (int round = 0; round < 5; ++round) {
        behind.folder.place("hintboard-0000.plist", "still not one " + std::to_string(round));
        runtime.advance(Seconds(2));
    }
    EXPECT_EQ(behind.folder.writeCount(), writes);
    EXPECT_TRUE(behind.folder.files().contains(behind.sync->ownFileName()));
}

TEST_F(SettingsSyncTest, TheOneFilePerKeyFolderIsMigratedWithoutLoss)
{
    // Records of the earlier release: the value and its time in one file per key.
    behind.folder.place("pinnedShortcuts.plist",
                        record(PlistDictionary{{"value", PlistArray{"a|Save|⌘S", "a|Open|⌘O"}}, {"__ts_", 1000.0}}));
    behind.folder.place("wrapLongSections.plist", record(PlistDictionary{{"value", true}, {"__ts_", 1000.0}}));
    behind.folder.place("ignoreListEnabled.plist", record(PlistDictionary{{"value", "yes"}, {"__ts_", 1000.0}}));
    behind.startProgram();
    EXPECT_EQ(behind.favourites->pinned().size(), 2u);
    EXPECT_TRUE(behind.settings.boolean(keys::wrapLongSections));
    EXPECT_FALSE(behind.settings.object(keys::ignoreListEnabled));
    EXPECT_TRUE(
        behind.logged("skipped ignoreListEnabled.plist from the sync folder: 'ignoreListEnabled': not a Boolean"));
    // The migrated state travels in the machine's own file; the old records stay for older releases.
    EXPECT_TRUE(behind.folder.files().contains("pinnedShortcuts.plist"));
    ahead.startProgram();
    settle();
    EXPECT_EQ(ahead.favourites->pinned(), behind.favourites->pinned());
}

TEST_F(SettingsSyncTest, EditsMadeWhileStoppedOrJustBeforeQuittingArePushed)
{
    behind.settings.set(keys::receiveBetaUpdates, true);
    behind.startProgram();
    ahead.startProgram();
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::receiveBetaUpdates));

    // Sync off: the edit waits in the local settings.
    behind.sync->stop();
    behind.settings.set(keys::wrapLongSections, true);
    settle();
    EXPECT_FALSE(ahead.settings.boolean(keys::wrapLongSections));
    behind.sync->start();
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::wrapLongSections));

    // An edit in the last second before quitting is flushed.
    behind.settings.set(keys::debugLoggingEnabled, true);
    behind.sync->flush();
    behind.stopProgram();
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::debugLoggingEnabled));
}

TEST_F(SettingsSyncTest, FirstEnableChoosesWhichSideWinsAndClearingForgetsEverything)
{
    ahead.settings.set(keys::showSystemShortcuts, true);
    ahead.startProgram();
    settle();
    behind.settings.set(keys::showSystemShortcuts, false);
    const auto services = behind.prepareProgram();
    {
        SettingsSync sync(services);
        EXPECT_TRUE(sync.hasNewerRemoteSettings());
        sync.useSyncedSettings();
        EXPECT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));
    }
    behind.settings.set(keys::showSystemShortcuts, false);
    behind.settings.remove(keys::syncState);
    SettingsSync sync(services);
    sync.keepLocalSettings();
    settle();
    EXPECT_FALSE(ahead.settings.boolean(keys::showSystemShortcuts));
    sync.clearICloudData();
    EXPECT_FALSE(sync.isRunning());
    // Only the mark that the folder was cleared is left.
    EXPECT_EQ(behind.folder.files().size(), 1u);
    EXPECT_FALSE(behind.settings.object(keys::syncState));
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                Contains("SettingsSync.clearICloudData() wiped 2 files"));
}

TEST_F(SettingsSyncTest, WhatOnlyAConflictCopyHeldIsPassedOn)
{
    startBoth();
    settle();
    // The copy stays in ahead's folder; the machine that made it has gone.
    const double now = runtime.now().time_since_epoch().count();
    ahead.folder.place("hintboard-gone.sync-conflict-1.plist",
                       record(machineRecord("gone", {{"wrapLongSections", stamped(now, "gone", true)}})));
    settle();
    EXPECT_TRUE(behind.settings.boolean(keys::wrapLongSections));
}

TEST_F(SettingsSyncTest, TheFileOfAMachineSilentForOverAYearGoesWithNothingLost)
{
    startBoth();
    ahead.favourites->toggle(save, "mousepad");
    settle();
    // Only behind's file holds the removal; ahead's still holds the addition.
    behind.favourites->toggle(save, "mousepad");
    settle();
    ASSERT_TRUE(ahead.favourites->pinned().empty());

    behind.stopProgram();
    runtime.advance(SettingsSync::departedAfter - Seconds(86400));
    ahead.restart();
    EXPECT_TRUE(ahead.folder.files().contains("hintboard-behind.plist"));

    runtime.advance(Seconds(2 * 86400));
    ahead.restart();
    EXPECT_FALSE(ahead.folder.files().contains("hintboard-behind.plist"));
    const auto own = test::decodeRecord(*platform::parsePropertyList(ahead.folder.files().at("hintboard-ahead.plist")));
    EXPECT_EQ(own.value().state.value(keys::pinnedShortcuts), PlistValue(PlistArray{}));

    // The machine comes back: nothing removed returns.
    behind.startProgram();
    settle();
    EXPECT_TRUE(behind.favourites->pinned().empty());
    EXPECT_TRUE(ahead.favourites->pinned().empty());
}

TEST_F(SettingsSyncTest, ARemovalEveryMachineHasSeenIsForgottenAndNoStaleCopyBringsItBack)
{
    startBoth();
    ahead.favourites->toggle(save, "mousepad");
    settle();
    const auto stale = ahead.folder.files().at("hintboard-ahead.plist");
    behind.favourites->toggle(save, "mousepad");
    settle();
    runtime.advance(Seconds(2 * 86400)); // a day for copies in transit
    for (int round = 0; round < 2; ++round) {
        ahead.sync->synchronize();
        behind.sync->synchronize();
        settle();
    }
    const auto held = test::decodeRecord(*behind.settings.object(keys::syncState)).value().state;
    EXPECT_TRUE(held.sets().at("pinnedShortcuts").empty()) << "forgotten";
    behind.folder.place("hintboard-ahead.plist", stale);
    settle();
    EXPECT_TRUE(behind.favourites->pinned().empty());
    EXPECT_TRUE(ahead.favourites->pinned().empty());
    // Nor does it on a machine that joins now, with the stale copy in its folder.
    SyncMachine late{runtime, "late", Seconds(0)};
    for (const auto& [name, content] : behind.folder.files())
        late.folder.place(name, content);
    late.startProgram();
    EXPECT_TRUE(late.favourites->pinned().empty());
    ahead.favourites->toggle(save, "mousepad"); // added anew: a newer stamp
    settle();
    EXPECT_EQ(behind.favourites->pinned().size(), 1u);
}

TEST_F(SettingsSyncTest, AWatermarkIsTakenOnlyFromASoundFileAndNoFurtherThanItAcknowledges)
{
    startBoth();
    ahead.favourites->toggle(save, "mousepad");
    settle();
    const double now = ahead.clock.now().time_since_epoch().count();
    const auto at = [&](double seconds) { return PlistDictionary{{"ahead", stamp(now + seconds, 0, "ahead")}}; };
    const PlistDictionary unsound{{"keyLabels", stamped(now, "x", 42)}};
    // A file forgot ahead's pin: beyond what it acknowledges, with a wrong value, days ahead; last, rightly.
    for (const auto& [seen, forgotten, values, pins] :
         {std::tuple{at(0), at(60), PlistDictionary{}, 1u}, std::tuple{at(60), at(60), unsound, 1u},
          std::tuple{at(3 * 86400), at(3 * 86400), PlistDictionary{}, 1u},
          std::tuple{at(60), at(60), PlistDictionary{}, 0u}}) {
        auto file = *machineRecord("x", values).as<PlistDictionary>();
        file.emplace("seen", seen);
        file.emplace("forgotten", forgotten);
        behind.folder.place("hintboard-x.plist", record(file));
        settle();
        EXPECT_EQ(behind.favourites->pinned().size(), pins) << record(file);
    }
}

TEST_F(SettingsSyncTest, AMachineBootingDaysBehindBeforeAnyEditTakesTheClockTwoPeersAgreeOn)
{
    startBoth();
    ahead.settings.set(keys::wrapLongSections, true);
    settle();
    SyncMachine late{runtime, "late", Seconds(-3 * 86400)};
    for (const auto& [name, content] : ahead.folder.files())
        late.folder.place(name, content);
    late.startProgram();
    EXPECT_TRUE(late.settings.boolean(keys::wrapLongSections));
    EXPECT_TRUE(late.logged("this machine's clock is 72 hours behind"));
}

TEST_F(SettingsSyncTest, ClearingTheFolderIsNotUndoneByARunningMachine)
{
    startBoth();
    ahead.settings.set(keys::showSystemShortcuts, true);
    ahead.favourites->toggle(save, "mousepad");
    settle();
    ASSERT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));

    ahead.sync->clearICloudData();
    // The sync tool brings ahead's mark and removes what ahead removed.
    copier.deliverAll();
    for (const auto& [name, content] : std::map(behind.folder.files()))
        if (!ahead.folder.files().contains(name))
            behind.folder.remove(name);
    settle();
    behind.restart();
    settle();
    // Behind keeps its values and writes nothing back.
    EXPECT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));
    EXPECT_EQ(behind.favourites->pinned().size(), 1u);
    EXPECT_EQ(behind.folder.files().size(), 1u);

    // An edit afterwards is sent alone.
    behind.settings.set(keys::showSystemShortcuts, false);
    settle();
    const auto sent =
        test::decodeRecord(*platform::parsePropertyList(behind.folder.files().at("hintboard-behind.plist")));
    EXPECT_EQ(sent.value().state.registers().size(), 1u);
    EXPECT_TRUE(sent->state.sets().empty());
}

} // namespace
} // namespace hb
