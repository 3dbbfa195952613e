#include "platform/linux/directory_sync_folder.h"

#include "e2e/poll_watches.h"
#include "platform/fake/memory_log.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <sys/stat.h>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
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

TEST_F(DirectorySyncFolderTest, ManyFilesListTheWantedOnesFirstByNameAndSayWhenCutShort)
{
    fs::create_directories(path);
    for (int i = 0; i < 1500; ++i)
        test::writeFile(path / ("photo-" + std::to_string(i) + ".jpg"), "x");
    test::writeFile(path / "hintboard-zz.plist", "own");
    DirectorySyncFolder folder(path, watches, log);
    const auto wanted = [](std::string_view name) { return name.starts_with("hintboard-"); };
    EXPECT_THAT(folder.matchingFileNames(wanted), testing::ElementsAre("hintboard-zz.plist"));
    EXPECT_TRUE(logSink.messages(platform::LogCategory::settings).empty());

    for (int i = 0; i < 1200; ++i)
        test::writeFile(path / fmt::format("hintboard-{:04}.plist", i), "peer");
    for (int round = 0; round < 2; ++round) {
        const auto names = folder.matchingFileNames(wanted);
        ASSERT_EQ(names.size(), platform::SyncFolder::maxListedFiles);
        EXPECT_EQ(names.front(), "hintboard-0000.plist");
        EXPECT_EQ(names.back(), "hintboard-0999.plist");
    }
    EXPECT_THAT(logSink.messages(platform::LogCategory::settings),
                testing::ElementsAre(testing::HasSubstr("too many files: 1000 of 1201 matching ones read")));
}

TEST_F(DirectorySyncFolderTest, ALinkPlantedInPlaceOfAFileIsReplacedNeverFollowed)
{
    fs::create_directories(path);
    const auto elsewhere = root.path() / "precious.txt";
    test::writeFile(elsewhere, "keep me");
    fs::create_symlink(elsewhere, path / "hintboard-a.plist");
    DirectorySyncFolder folder(path, watches, log);
    ASSERT_TRUE(folder.write("hintboard-a.plist", "settings"));
    EXPECT_FALSE(fs::is_symlink(path / "hintboard-a.plist"));
    EXPECT_EQ(folder.read("hintboard-a.plist", 100), "settings");
    EXPECT_EQ(folder.read("../../precious.txt", 100), "keep me");
}

} // namespace
} // namespace hb::linux_platform
