#include "settings/settings_sync.h"

#include "settings/settings_keys.h"
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
using test::SyncMachine;
using testing::Contains;
using testing::HasSubstr;

std::string record(const PlistValue& value)
{
    return *platform::serializePropertyList(value, platform::PlistFormat::xml);
}

PlistValue stamp(double seconds, std::int64_t counter, const std::string& machine)
{
    return PlistArray{PlistValue(seconds), PlistValue(counter), PlistValue(machine)};
}

// A machine file as another release or a damaged copy could hold it.
std::string machineFile(const std::string& machine, PlistDictionary values)
{
    return record(PlistDictionary{{"format", "org.mirelo.Hintboard.sync"}, {"version", 2}, {"machine", machine},
                                  {"values", PlistValue(std::move(values))}});
}

struct SettingsSyncTest : testing::Test {
    fake::VirtualRuntime runtime;
    // One hour ahead of, and one hour behind, the true time.
    SyncMachine ahead{runtime, "ahead", Seconds(3600)};
    SyncMachine behind{runtime, "behind", Seconds(-3600)};
    test::SyncCopier copier{{&ahead, &behind}};

    // Lets pushes run and copies travel until nothing moves.
    void settle()
    {
        for (int i = 0; i < 10; ++i) {
            runtime.advance(Seconds(2));
            copier.deliverAll();
            runtime.runMainQueue();
        }
    }
    std::vector<std::string> globalRules(SyncMachine& machine)
    {
        return machine.ignoreList->globalTitles();
    }
};

TEST_F(SettingsSyncTest, ConcurrentAdditionsToASetAreAllKeptAndARemovalOnlyTakesWhatItSaw)
{
    ahead.startProgram();
    behind.startProgram();
    settle();
    const auto seeded = globalRules(ahead);

    // Both add a rule within the same second, before either sees the other's.
    ahead.ignoreList->addGlobalRule("Print*");
    behind.ignoreList->addGlobalRule("Share*");
    behind.favourites->toggle(Shortcut{.title = "Save", .keys = "⌘S"}, "mousepad");
    settle();
    for (auto* machine : {&ahead, &behind}) {
        EXPECT_THAT(globalRules(*machine), Contains("Print*"));
        EXPECT_THAT(globalRules(*machine), Contains("Share*"));
        EXPECT_EQ(machine->favourites->pinned().size(), 1u);
    }
    EXPECT_EQ(ahead.settings.object(keys::ignoreList), behind.settings.object(keys::ignoreList));

    // Removing "Print*" on one machine while the other adds it again anew:
    // the new addition was not seen by the removal and stays.
    const auto position = [](SyncMachine& m, std::string_view title) {
        const auto& titles = m.ignoreList->globalTitles();
        return std::size_t(std::ranges::find(titles, title) - titles.begin());
    };
    ahead.ignoreList->removeGlobalRules({position(ahead, "Print*")});
    behind.ignoreList->removeGlobalRules({position(behind, "Print*")});
    runtime.advance(Seconds(2));
    behind.ignoreList->addGlobalRule("Print*");
    settle();
    EXPECT_THAT(globalRules(ahead), Contains("Print*"));
    EXPECT_EQ(globalRules(ahead), globalRules(behind));
    EXPECT_EQ(globalRules(ahead).size(), seeded.size() + 2);
}

TEST_F(SettingsSyncTest, AMachineWhoseClockIsBehindOrdersItsNewEditAfterWhatItSaw)
{
    ahead.startProgram();
    behind.startProgram();
    ahead.settings.set(keys::showSystemShortcuts, true);
    settle();
    ASSERT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));

    // Two hours of clock apart, the later edit still wins, on both machines.
    behind.settings.set(keys::showSystemShortcuts, false);
    settle();
    EXPECT_FALSE(ahead.settings.boolean(keys::showSystemShortcuts));
    EXPECT_FALSE(behind.settings.boolean(keys::showSystemShortcuts));
}

TEST_F(SettingsSyncTest, ValuesAndStampsFromTheFolderAreCheckedBeforeTheyApply)
{
    behind.startProgram();
    const double now = behind.clock.now().time_since_epoch().count();
    behind.folder.place("hintboard-intruder.plist",
                        machineFile("intruder", {
                            {"ignoreList", PlistDictionary{{"s", stamp(now, 0, "intruder")}, {"v", "Print*"}}},
                            {"wrapLongSections", PlistDictionary{{"s", stamp(now, 0, "intruder")}, {"v", true}}},
                            {"keyLabels", PlistDictionary{{"s", stamp(now, 0, "intruder")}, {"v", 42}}},
                            {"showSystemShortcuts", PlistDictionary{{"s", stamp(std::nan(""), 0, "intruder")}, {"v", true}}},
                            {"hideLargeSubmenus",
                             PlistDictionary{{"s", stamp(now + 2 * 86400, 0, "intruder")}, {"v", true}}},
                        }));
    runtime.runMainQueue();
    EXPECT_TRUE(behind.settings.boolean(keys::wrapLongSections));
    EXPECT_FALSE(behind.settings.object(keys::showSystemShortcuts));
    EXPECT_FALSE(behind.settings.object(keys::hideLargeSubmenus));
    EXPECT_TRUE(behind.settings.object(keys::ignoreList)->as<platform::PlistData>());
    EXPECT_FALSE(behind.settings.object(keys::keyLabels));
    const auto lines = behind.logSink.messages(LogCategory::settings);
    EXPECT_THAT(lines, Contains(HasSubstr("skipped 'ignoreList: not stored ignore rules' from hintboard-intruder.plist")));
    EXPECT_THAT(lines, Contains(HasSubstr("skipped 'showSystemShortcuts: a time stamp of nan seconds'")));
    EXPECT_THAT(lines, Contains(HasSubstr("skipped 'keyLabels: not one of \"words\", \"symbols\"'")));
    EXPECT_THAT(lines, Contains(HasSubstr("skipped 'hideLargeSubmenus: a time stamp 172800 seconds ahead")));

    // A refused stamp does not lock the key: the user's change stays.
    behind.settings.set(keys::hideLargeSubmenus, false);
    runtime.advance(Seconds(2));
    EXPECT_FALSE(behind.settings.boolean(keys::hideLargeSubmenus));
    EXPECT_FALSE(behind.settings.object(keys::ignoreList)->as<std::string>());
}

TEST_F(SettingsSyncTest, AStampRefusedAsAheadStaysRefusedAcrossRestartsAndTime)
{
    behind.startProgram();
    const double now = behind.clock.now().time_since_epoch().count();
    behind.folder.place("hintboard-fast.plist",
                        machineFile("fast", {{"hideLargeSubmenus",
                                              PlistDictionary{{"s", stamp(now + 2 * 86400, 0, "fast")}, {"v", true}}}}));
    runtime.runMainQueue();
    behind.settings.set(keys::hideLargeSubmenus, false);
    runtime.advance(Seconds(2));

    // A day and a half later the stamp is within a day: still refused, and the edit made meanwhile stays.
    runtime.advance(Seconds(36 * 3600));
    behind.restart();
    behind.folder.place("hintboard-other.plist", machineFile("other", {}));
    runtime.runMainQueue();
    EXPECT_EQ(behind.settings.object(keys::hideLargeSubmenus), PlistValue(false));
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                Contains(HasSubstr("skipped 'hideLargeSubmenus: a time stamp refused before")));
}

TEST_F(SettingsSyncTest, AMachineBootingWithItsClockDaysBehindKeepsItsOwnRecord)
{
    ahead.startProgram();
    behind.startProgram();
    behind.settings.set(keys::wrapLongSections, true);
    settle();
    behind.clock.offset = Seconds(-3 * 86400);
    behind.restart();
    settle();
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                testing::Not(Contains(HasSubstr("from this machine's record"))));
    // Its edits after the others' still win, and what it had stays.
    behind.settings.set(keys::showConflictIndicator, true);
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::showConflictIndicator));
    EXPECT_TRUE(ahead.settings.boolean(keys::wrapLongSections));
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
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                Contains(HasSubstr("the local 'pinnedShortcuts' is a text of 5000 bytes")));

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

TEST(SyncState, EqualStampsPickTheSameValueOnEveryMachineWhateverTheMergeOrder)
{
    // A machine copied with its identity can make two edits with one stamp.
    const SyncStamp twin{1000, 0, "twin"};
    const std::vector<std::optional<PlistValue>> values{
        platform::PlistData{1, 2}, platform::PlistData{1, 3}, std::nullopt, PlistValue("b"), PlistValue(PlistArray{1})};
    for (const auto& first : values) {
        for (const auto& second : values) {
            SyncState a, b;
            a.recordEdit(keys::keyAccentColor, first, twin, true);
            b.recordEdit(keys::keyAccentColor, second, twin, true);
            SyncState ab = a, ba = b;
            ab.merge(b);
            ba.merge(a);
            EXPECT_EQ(ab.value(keys::keyAccentColor), ba.value(keys::keyAccentColor));
        }
    }
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
    EXPECT_THAT(behind.logSink.messages(LogCategory::settings),
                Contains(HasSubstr("skipped ignoreListEnabled.plist from the sync folder: 'ignoreListEnabled': not a Boolean")));
    // The migrated state now travels in the machine's own file; the old records stay for older releases.
    EXPECT_TRUE(behind.folder.files().contains(behind.sync->ownFileName()));
    EXPECT_TRUE(behind.folder.files().contains("pinnedShortcuts.plist"));

    ahead.startProgram();
    settle();
    EXPECT_EQ(ahead.favourites->pinned(), behind.favourites->pinned());
}

TEST_F(SettingsSyncTest, EditsMadeWhileStoppedOrWithTheFolderGoneArePushedLater)
{
    ahead.startProgram();
    behind.startProgram();
    settle();

    // Sync off: the edit waits in the local settings.
    behind.sync->stop();
    behind.settings.set(keys::wrapLongSections, true);
    settle();
    EXPECT_FALSE(ahead.settings.boolean(keys::wrapLongSections));
    behind.sync->start();
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::wrapLongSections));

    // The folder disappears, an edit is made, the folder returns: it is pushed
    // without a restart, and what arrived meanwhile is read.
    behind.folder.setAvailable(false);
    behind.settings.set(keys::showConflictIndicator, true);
    ahead.settings.set(keys::alwaysShowFavourites, true);
    settle();
    EXPECT_FALSE(ahead.settings.boolean(keys::showConflictIndicator));
    behind.folder.setAvailable(true);
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::showConflictIndicator));
    EXPECT_TRUE(behind.settings.boolean(keys::alwaysShowFavourites));

    // An edit in the last second before quitting is flushed.
    behind.settings.set(keys::debugLoggingEnabled, true);
    behind.sync->flush();
    behind.stopProgram();
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::debugLoggingEnabled));
}

TEST_F(SettingsSyncTest, ANewFolderIsSeededAndAKillAtAnyWriteLosesNothing)
{
    behind.settings.set(keys::receiveBetaUpdates, true);
    for (int writes = 0; writes < 3; ++writes) {
        behind.killAfter(writes);
        behind.startProgram();
        behind.settings.set(keys::receiveAlphaUpdates, writes % 2 == 0);
        runtime.advance(Seconds(2));
        behind.restart();
        runtime.advance(Seconds(2));
    }
    // A fresh, empty folder: the machine pushes all it has.
    ahead.startProgram();
    settle();
    EXPECT_TRUE(ahead.settings.boolean(keys::receiveBetaUpdates));
    EXPECT_EQ(ahead.settings.object(keys::receiveAlphaUpdates), behind.settings.object(keys::receiveAlphaUpdates));
}

TEST_F(SettingsSyncTest, FirstEnableChoosesWhichSideWinsAndClearingForgetsEverything)
{
    ahead.settings.set(keys::showSystemShortcuts, true);
    ahead.startProgram();
    settle();

    behind.settings.set(keys::showSystemShortcuts, false);
    behind.favourites.emplace(behind.settings);
    behind.ignoreList.emplace(behind.settings);
    behind.theme.emplace(behind.settings, [] { return RgbColor{}; });
    SettingsSyncServices services{behind.settings, behind.folder,      runtime,   behind.clock, behind.notifications,
                                  behind.log,      *behind.favourites, *behind.ignoreList, *behind.theme, "behind"};
    {
        SettingsSync sync(services);
        EXPECT_TRUE(sync.hasNewerRemoteSettings());
        sync.useSyncedSettings();
        EXPECT_TRUE(behind.settings.boolean(keys::showSystemShortcuts));
        sync.stop();
    }
    behind.settings.set(keys::showSystemShortcuts, false);
    behind.settings.remove(keys::syncState);
    {
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
}

TEST_F(SettingsSyncTest, UnignoringAnApplicationIgnoredUnderTwoNamesEndsItEverywhere)
{
    ahead.startProgram();
    behind.startProgram();
    ahead.ignoreList->addIgnoredApp("org.xfce.mousepad", "Mousepad");
    behind.ignoreList->addIgnoredApp("org.xfce.mousepad", "Mousepad Text Editor");
    settle();
    ASSERT_TRUE(ahead.ignoreList->ignoredApps().contains("org.xfce.mousepad"));

    ahead.ignoreList->removeIgnoredApp("org.xfce.mousepad");
    settle();
    EXPECT_TRUE(ahead.ignoreList->ignoredApps().empty());
    EXPECT_TRUE(behind.ignoreList->ignoredApps().empty());
}

TEST_F(SettingsSyncTest, AHomeFolderCopiedToAnotherComputerGetsANewMachineName)
{
    // A record from a release that did not know its computer keeps its name.
    ahead.startProgram();
    ahead.computer = "one";
    ahead.restart();
    settle();
    EXPECT_EQ(ahead.sync->ownFileName(), "hintboard-ahead.plist");

    for (const auto& [key, value] : ahead.settings.allValues())
        behind.settings.set(key, value);
    behind.computer = "two";
    behind.startProgram();
    EXPECT_EQ(behind.sync->ownFileName(), "hintboard-behind.plist");
    behind.restart();
    EXPECT_EQ(behind.sync->ownFileName(), "hintboard-behind.plist");

    // Each edits under its own name, so both edits arrive.
    ahead.favourites->toggle(Shortcut{.title = "Save", .keys = "⌘S"}, "mousepad");
    behind.favourites->toggle(Shortcut{.title = "Open", .keys = "⌘O"}, "mousepad");
    settle();
    EXPECT_EQ(ahead.favourites->pinned().size(), 2u);
    EXPECT_EQ(ahead.settings.object(keys::pinnedShortcuts), behind.settings.object(keys::pinnedShortcuts));
}

TEST_F(SettingsSyncTest, TheFileOfAMachineSilentForOverAYearGoesWithNothingLost)
{
    ahead.startProgram();
    behind.startProgram();
    const Shortcut save{.title = "Save", .keys = "⌘S"};
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
    std::string failure;
    const auto own = decodeSyncState(*platform::parsePropertyList(ahead.folder.files().at("hintboard-ahead.plist")),
                                     std::numeric_limits<std::int64_t>::max() / 2, failure);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->state.value(keys::pinnedShortcuts), PlistValue(PlistArray{}));

    // The machine comes back: nothing removed returns.
    behind.startProgram();
    settle();
    EXPECT_TRUE(behind.favourites->pinned().empty());
    EXPECT_TRUE(ahead.favourites->pinned().empty());
}

TEST_F(SettingsSyncTest, ClearingTheFolderIsNotUndoneByARunningMachine)
{
    ahead.startProgram();
    behind.startProgram();
    ahead.settings.set(keys::showSystemShortcuts, true);
    ahead.favourites->toggle(Shortcut{.title = "Save", .keys = "⌘S"}, "mousepad");
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
    ASSERT_TRUE(behind.folder.files().contains("hintboard-behind.plist"));
    std::string failure;
    const auto sent = decodeSyncState(*platform::parsePropertyList(behind.folder.files().at("hintboard-behind.plist")),
                                      std::numeric_limits<std::int64_t>::max() / 2, failure);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->state.registers().size(), 1u);
    EXPECT_TRUE(sent->state.sets().empty());
}

} // namespace
} // namespace hb
