#include "platform/linux/directory_sync_folder.h"

#include "e2e/poll_watches.h"
#include "platform/fake/memory_log.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::UnorderedElementsAre;

struct DirectorySyncFolderTest : testing::Test {
    test::TemporaryFolder root;
    fs::path path = root.path() / "Sync" / "Hintboard";
    e2e::PollWatches watches;
    fake::MemoryLogSink logSink;
    platform::Log log{logSink, [] { return false; }};
};

TEST_F(DirectorySyncFolderTest, FilesAreReplacedWholeAndOnlyVisibleRegularOnesAreListed)
{
    fs::create_directories(path);
    DirectorySyncFolder folder(path, watches, log);
    ASSERT_TRUE(folder.write("hintboard-a.plist", "first"));
    ASSERT_TRUE(folder.write("hintboard-a.plist", "second"));
    test::writeFile(path / ".syncthing.hintboard-b.plist.tmp", "partial");
    test::writeFile(path / "large.plist", std::string(100, 'x'));
    fs::create_directory(path / "folder.plist");
    ASSERT_EQ(::mkfifo((path / "fifo.plist").c_str(), 0600), 0);
    EXPECT_THAT(folder.fileNames(), UnorderedElementsAre("hintboard-a.plist", "large.plist"));
    EXPECT_EQ(folder.read("hintboard-a.plist", 100), "second");
    EXPECT_FALSE(folder.read("large.plist", 99));
    EXPECT_FALSE(folder.read("fifo.plist", 99));  // returns at once
    ASSERT_TRUE(folder.remove("hintboard-a.plist"));
    EXPECT_TRUE(folder.remove("hintboard-a.plist"));
    EXPECT_FALSE(fs::exists(path / "hintboard-a.plist"));
}

TEST_F(DirectorySyncFolderTest, ChangesAndTheFoldersRemovalAndReturnAreFollowed)
{
    fs::create_directories(path);
    DirectorySyncFolder folder(path, watches, log);
    int changes = 0;
    folder.addChangeObserver([&] { ++changes; });

    test::writeFile(path / "hintboard-b.plist", "from b");
    ASSERT_TRUE(watches.runUntil([&] { return changes > 0; }, 5s));

    fs::remove_all(path);
    changes = 0;
    ASSERT_TRUE(watches.runUntil([&] { return changes > 0 && !folder.isAvailable(); }, 5s));
    EXPECT_FALSE(folder.write("hintboard-a.plist", "lost"));
    EXPECT_TRUE(folder.fileNames().empty());

    // The sync tool restores the folder: seen without a new watch being asked for.
    fs::create_directories(path);
    changes = 0;
    ASSERT_TRUE(watches.runUntil([&] { return changes > 0 && folder.isAvailable(); }, 5s));
    test::writeFile(path / "hintboard-b.plist", "again");
    changes = 0;
    ASSERT_TRUE(watches.runUntil([&] { return changes > 0; }, 5s));
    EXPECT_THAT(logSink.messages(platform::LogCategory::settings),
                testing::Contains(testing::HasSubstr("is back; synchronising again")));
}

} // namespace
} // namespace hb::linux_platform
