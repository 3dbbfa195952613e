#include "platform/linux/folder_key_value_store.h"

#include "e2e/poll_watches.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"
#include "settings/settings_sync.h"
#include "settings/theme_settings.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::PlistArray;
using platform::PlistValue;
using platform::Seconds;
using test::writeFile;

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// What a file-synchronisation tool does: the target folder ends up with the
// source's records, each file written in place.
void copyRecords(const fs::path& from, const fs::path& to)
{
    for (const auto& entry : fs::directory_iterator(to)) {
        if (!fs::exists(from / entry.path().filename()))
            fs::remove(entry.path());
    }
    for (const auto& entry : fs::directory_iterator(from)) {
        const auto target = to / entry.path().filename();
        const auto content = readFile(entry.path());
        if (!fs::exists(target) || readFile(target) != content)
            writeFile(target, content);
    }
}

struct Clock : platform::Clock {
    Clock(platform::Clock& base, Seconds offset) : base(base), offset(offset) {}
    platform::TimePoint now() const override { return base.now() + offset; }
    platform::Clock& base;
    Seconds offset;
};

struct Machine {
    Machine(fake::VirtualRuntime& runtime, e2e::PollWatches& watches, fs::path folder, Seconds clockOffset)
        : clock(runtime, clockOffset), notifications(runtime), store(std::move(folder), watches, log, std::string(SettingsSync::timePrefix)),
          sync({settings, store, runtime, clock, notifications, log, favourites, ignoreList, theme})
    {
        store.addExternalChangeObserver([this](const auto& keys) { externalChanges.push_back(keys); });
    }
    Clock clock;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink logSink;
    platform::Log log{logSink, [] { return false; }};
    platform::NotificationCenter notifications;
    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
    ThemeSettings theme{settings, [] { return RgbColor{}; }};
    FolderKeyValueStore store;
    SettingsSync sync;
    std::vector<platform::KeyValueStore::ChangedKeys> externalChanges;
};

const PlistValue pins{PlistArray{"Mousepad|Save|⌘S"}};
const PlistValue otherPins{PlistArray{"Mousepad|Open…|⌘O"}};

struct FolderKeyValueStoreTest : testing::Test {
    test::TemporaryFolder root;
    fake::VirtualRuntime runtime;
    e2e::PollWatches watches;
    fake::MemoryLogSink logSink;
    platform::Log log{logSink, [] { return false; }};
};

TEST_F(FolderKeyValueStoreTest, TwoFoldersKeptInStepCarryChangesWithoutEchoes)
{
    fs::create_directories(root.path() / "a");
    fs::create_directories(root.path() / "b");
    Machine ahead(runtime, watches, root.path() / "a", Seconds(100));
    Machine behind(runtime, watches, root.path() / "b", Seconds(0));
    behind.sync.start();
    behind.settings.set(keys::pinnedShortcuts, pins);
    runtime.advance(Seconds(1));
    watches.runFor(50ms);
    EXPECT_THAT(behind.externalChanges, testing::IsEmpty()) << "the store's own writes are not external changes";
    // A value and its time share one file, so the sync tool cannot deliver one without the other.
    EXPECT_FALSE(fs::exists(root.path() / "b" / "__ts_pinnedShortcuts.plist"));
    EXPECT_EQ(behind.store.doubleValue("__ts_pinnedShortcuts"), behind.clock.now().time_since_epoch().count());

    ahead.sync.start();
    copyRecords(root.path() / "b", root.path() / "a");
    ASSERT_TRUE(watches.runUntil([&] { return ahead.settings.object(keys::pinnedShortcuts) == pins; }, 5s));
    EXPECT_THAT(ahead.externalChanges.back(), testing::Contains("pinnedShortcuts"));

    // The applied value is not pushed back after the debounce, although this clock is ahead.
    const auto before = readFile(root.path() / "a" / "pinnedShortcuts.plist");
    runtime.advance(Seconds(2));
    EXPECT_EQ(readFile(root.path() / "a" / "pinnedShortcuts.plist"), before);

    // The machine whose clock is behind loses its own change.
    ahead.settings.set(keys::pinnedShortcuts, otherPins);
    runtime.advance(Seconds(1));
    copyRecords(root.path() / "a", root.path() / "b");
    ASSERT_TRUE(watches.runUntil([&] { return behind.settings.object(keys::pinnedShortcuts) == otherPins; }, 5s));
    behind.settings.set(keys::pinnedShortcuts, pins);
    runtime.advance(Seconds(1));
    EXPECT_EQ(behind.settings.object(keys::pinnedShortcuts), otherPins);
    EXPECT_EQ(behind.store.object(keys::pinnedShortcuts), otherPins);
}

TEST_F(FolderKeyValueStoreTest, AnyKeyHasOneRecordNameAndOtherNamesAreIgnored)
{
    for (const std::string& key : std::vector<std::string>{"pinnedShortcuts", "__ts_x", "", "..", "a/b", "é ü%", std::string("nul\0l", 5)}) {
        auto name = FolderKeyValueStore::recordName(key);
        ASSERT_TRUE(name);
        EXPECT_EQ(name->find('/'), std::string::npos);
        EXPECT_EQ(FolderKeyValueStore::keyOfRecord(*name), key);
    }
    EXPECT_FALSE(FolderKeyValueStore::recordName(std::string(100, '/')));
    for (auto name : {"pinnedShortcuts.sync-conflict-20261206-101010-ABCDEFG.plist", ".pinnedShortcuts.plist.tmp-x1",
                      "pinnedShortcuts (conflicted copy).plist", "%41.plist", "%4.plist", "%e9.plist", "x.plist~"})
        EXPECT_FALSE(FolderKeyValueStore::keyOfRecord(name)) << name;
}

TEST_F(FolderKeyValueStoreTest, BrokenRecordsReadAsAbsentWithoutBlocking)
{
    FolderKeyValueStore store(root.path(), watches, log);
    ASSERT_TRUE(store.set("binary", PlistValue(2.5)));
    const platform::PlistDictionary record{{"value", 2.5}};
    writeFile(root.path() / "binary.plist", *platform::serializePropertyList(record, platform::PlistFormat::binary));
    EXPECT_EQ(store.doubleValue("binary"), 2.5);

    const auto xml = *platform::serializePropertyList(platform::PlistDictionary{{"value", pins}}, platform::PlistFormat::xml);
    writeFile(root.path() / "bare.plist", *platform::serializePropertyList(pins, platform::PlistFormat::xml));
    writeFile(root.path() / "half.plist", xml.substr(0, xml.size() / 2));
    writeFile(root.path() / "huge.plist", std::string(FolderKeyValueStore::maxRecordBytes + 1, ' '));
    ASSERT_EQ(::mkfifo((root.path() / "fifo.plist").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root.path() / "zero.plist");
    for (auto key : {"bare", "half", "huge", "fifo", "zero", "missing"})
        EXPECT_FALSE(store.object(key)) << key;

    // A conflict copy is neither read nor reported; a record copied in is.
    watches.runFor(20ms);
    std::vector<std::string> changed;
    store.addExternalChangeObserver([&](const auto& keys) { changed.insert(changed.end(), keys.begin(), keys.end()); });
    writeFile(root.path() / "binary.sync-conflict-20261206-101010-ABCDEFG.plist", xml);
    writeFile(root.path() / "a%2Fb.plist", xml);
    ASSERT_TRUE(watches.runUntil([&] { return !changed.empty(); }, 5s));
    watches.runFor(20ms);
    EXPECT_THAT(changed, testing::ElementsAre("a/b"));
    EXPECT_EQ(store.object("a/b"), pins);
}

TEST_F(FolderKeyValueStoreTest, WritesIntoAMissingFolderFailWithALogLineAndLeaveLocalSettings)
{
    const auto folder = root.path() / "gone";
    fs::create_directories(folder);
    Machine machine(runtime, watches, folder, Seconds(0));
    machine.sync.start();
    fs::remove_all(folder);
    watches.runFor(20ms);

    machine.settings.set(keys::showSystemShortcuts, true);
    runtime.advance(Seconds(1));
    EXPECT_TRUE(machine.settings.boolean(keys::showSystemShortcuts));
    EXPECT_FALSE(machine.store.remove(keys::pinnedShortcuts));
    EXPECT_THAT(machine.logSink.messages(platform::LogCategory::settings),
                testing::Contains(testing::HasSubstr("Synchronised setting showSystemShortcuts could not be written")));

    // Once the folder is back, the next push stores what failed.
    fs::create_directories(folder);
    machine.settings.set(keys::wrapLongSections, true);
    runtime.advance(Seconds(1));
    EXPECT_EQ(machine.store.object(keys::showSystemShortcuts), PlistValue(true));
}

} // namespace
} // namespace hb::linux_platform
