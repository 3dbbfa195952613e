// The files Hintboard keeps: its settings file and the folder a sync tool shares.
#include "linux/directory_sync_folder.h"
#include "linux/plist_file_settings_domain.h"

#include "base/property_list_guard.h"
#include "e2e/poll_watches.h"
#include "fake/memory_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/scoped_environment.h"
#include "support/temporary_folder.h"

#include <fmt/format.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
using platform::PlistArray;
using platform::PlistData;
using platform::PlistValue;
using test::readFile;
using testing::HasSubstr;

std::vector<fs::path> filesStartingWith(const fs::path& folder, std::string_view prefix)
{
    std::vector<fs::path> result;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix))
            result.push_back(entry.path());
    return result;
}

int waitForExit(pid_t child)
{
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class PlistFileSettingsDomainTest : public testing::Test {
protected:
    std::unique_ptr<PlistFileSettingsDomain> open()
    {
        auto opened = PlistFileSettingsDomain::open(file, log);
        EXPECT_TRUE(opened.domain) << opened.error;
        return std::move(opened.domain);
    }
    std::vector<fs::path> temporaries() const
    {
        return filesStartingWith(file.parent_path(), ".org.mirelo.Hintboard.plist.tmp-");
    }
    std::vector<fs::path> setAside() const
    {
        return filesStartingWith(file.parent_path(), "org.mirelo.Hintboard.plist.corrupt-");
    }

    test::TemporaryFolder temporary;
    fs::path folder = temporary.path();
    fs::path file = folder / "hintboard" / "org.mirelo.Hintboard.plist";
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
};

TEST_F(PlistFileSettingsDomainTest, AValueTheFileCannotHoldIsRefusedAndLaterWritesStillSave)
{
    // As deep as a property list may be on its own: one level too deep inside the file.
    PlistValue nested = PlistArray{};
    for (int depth = 0; depth < platform::maxPropertyListDepth; ++depth)
        nested = PlistArray{nested};
    ASSERT_TRUE(platform::serializePropertyList(nested, platform::PlistFormat::xml));
    auto domain = open();
    domain->set("nested", nested);
    domain->set("bad", std::string("a\0b", 3)); // no text of the format
    domain->set("wrapLongSections", true);
    EXPECT_FALSE(domain->object("nested"));
    EXPECT_FALSE(domain->object("bad"));
    EXPECT_TRUE(domain->synchronize());
    EXPECT_THAT(readFile(file), HasSubstr("wrapLongSections"));
    EXPECT_THAT(sink.messages(platform::LogCategory::settings),
                testing::Contains(HasSubstr("nested cannot be stored")));
}

TEST_F(PlistFileSettingsDomainTest, ASecondHolderIsRefusedUntilTheFirstCloses)
{
    auto first = open();
    auto second = PlistFileSettingsDomain::open(file, log);
    EXPECT_FALSE(second.domain);
    EXPECT_THAT(second.error, HasSubstr("in use by another Hintboard process"));
    first.reset();
    EXPECT_TRUE(PlistFileSettingsDomain::open(file, log).domain);
}

TEST_F(PlistFileSettingsDomainTest, CrashBetweenTemporaryWriteAndRenameKeepsThePreviousSettings)
{
    open()->set("name", "previous");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto opened = PlistFileSettingsDomain::open(file, log);
        opened.domain->setBeforeRename([] { _exit(42); });
        opened.domain->set("name", "next");
        _exit(0);
    }
    ASSERT_EQ(waitForExit(child), 42);
    EXPECT_EQ(temporaries().size(), 1u);
    EXPECT_EQ(open()->object("name"), PlistValue("previous"));
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(PlistFileSettingsDomainTest, WriterKilledMidWriteLeavesAWholeFile)
{
    for (int round = 1; round <= 4; ++round) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(pipeFds[0]);
            auto opened = PlistFileSettingsDomain::open(file, log);
            if (!opened.domain)
                _exit(1);
            for (std::uint8_t generation = 1;; ++generation) {
                opened.domain->set("blob", PlistData(512 * 1024, generation));
                if (write(pipeFds[1], &generation, 1) != 1)
                    _exit(1);
            }
        }
        close(pipeFds[1]);
        std::uint8_t generation = 0;
        for (int i = 0; i < round; ++i)
            ASSERT_EQ(read(pipeFds[0], &generation, 1), 1);
        kill(child, SIGKILL);
        ASSERT_EQ(waitForExit(child), -SIGKILL);
        close(pipeFds[0]);

        auto blob = open()->object("blob");
        ASSERT_TRUE(blob && blob->as<PlistData>()) << "round " << round;
        const auto& bytes = *blob->as<PlistData>();
        ASSERT_EQ(bytes.size(), 512u * 1024);
        EXPECT_GE(bytes.front(), generation); // the one reported, or one written after it
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), bytes.front()), static_cast<long>(bytes.size()));
    }
    EXPECT_TRUE(setAside().empty());
}

TEST_F(PlistFileSettingsDomainTest, UnreadableFilesAreKeptAsideAndNeverOverwritten)
{
    const std::string valid = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              "<key>a</key><string>b</string></dict></plist>\n";
    for (const auto& content : {std::string(), valid.substr(0, valid.size() / 2), std::string("not a property list"),
                                std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>")}) {
        test::writeFile(file, content);
        sink.clear();
        {
            auto domain = open();
            EXPECT_TRUE(domain->allValues().empty());
            domain->set("fresh", true);
        }
        auto aside = setAside();
        ASSERT_EQ(aside.size(), 1u) << content;
        EXPECT_EQ(readFile(aside.front()), content);
        EXPECT_THAT(sink.messages(platform::LogCategory::settings),
                    testing::ElementsAre(HasSubstr("moved aside to " + aside.front().string())));
        EXPECT_EQ(open()->object("fresh"), PlistValue(true));
        fs::remove(aside.front());
    }
}

TEST_F(PlistFileSettingsDomainTest, AFileThisUserMayNotReadIsLeftUntouchedAndNeverWritten)
{
    const std::string content =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><true/></dict></plist>";
    test::writeFile(file, content);
    fs::permissions(file, fs::perms::none);
    // Another user than the file's owner: nobody, when the tests run as root.
    fs::permissions(folder, fs::perms::all);
    fs::permissions(file.parent_path(), fs::perms::all);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        auto opened = PlistFileSettingsDomain::open(file, log);
        if (!opened.domain)
            ::_exit(11);
        if (!opened.domain->allValues().empty()
            || opened.domain->readProblem().find("Permission denied") == std::string::npos)
            ::_exit(12);
        opened.domain->set("fresh", true);
        ::_exit(opened.domain->object("fresh") == PlistValue(true) && !opened.domain->synchronize() ? 0 : 13);
    }
    EXPECT_EQ(waitForExit(child), 0);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readFile(file), content);
    EXPECT_TRUE(setAside().empty());
}

TEST_F(PlistFileSettingsDomainTest, ALinkedSettingsFileKeepsItsLinkAndItsTargetIsReplaced)
{
    const fs::path target = folder / "dotfiles" / "hintboard.plist";
    fs::create_directories(target.parent_path());
    fs::create_directories(file.parent_path());
    fs::create_symlink(target, file); // dangling until the first write
    {
        auto domain = open();
        std::string onDiskWhenNotified;
        domain->addObserver([&](std::string_view) { onDiskWhenNotified = readFile(file); });
        domain->set("second", 2);
        EXPECT_THAT(onDiskWhenNotified, HasSubstr("second")) << "written before observers hear of it";
    }
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(open()->object("second"), PlistValue(2));
    EXPECT_THAT(readFile(target), HasSubstr("second"));
    EXPECT_TRUE(filesStartingWith(target.parent_path(), ".hintboard.plist.tmp-").empty());
}

TEST_F(PlistFileSettingsDomainTest, FollowsXdgConfigHomeAndWithoutAHomeFolderNothingIsWritten)
{
    test::ScopedEnvironment relative("XDG_CONFIG_HOME", "relative");
    test::ScopedEnvironment home("HOME", "/home/someone");
    EXPECT_EQ(PlistFileSettingsDomain::defaultPath(), "/home/someone/.config/hintboard/org.mirelo.Hintboard.plist");

    // defaultPath() is empty when no home folder is known; a relative path is refused alike.
    auto opened = PlistFileSettingsDomain::open("hintboard/org.mirelo.Hintboard.plist", log);
    EXPECT_FALSE(opened.domain);
    EXPECT_THAT(opened.error, HasSubstr("No home folder is known"));
    EXPECT_FALSE(fs::exists("hintboard"));
}

struct DirectorySyncFolderTest : testing::Test {
    DirectorySyncFolderTest() { fs::create_directories(path); }
    test::TemporaryFolder root;
    fs::path path = root.path() / "Sync" / "Hintboard";
    e2e::PollWatches watches;
    fake::MemoryLogSink logSink;
    platform::Log log{logSink, [] { return false; }};
};

TEST_F(DirectorySyncFolderTest, FilesAreReplacedWholeAndOnlyVisibleRegularOnesAreListed)
{
    DirectorySyncFolder folder(path, watches, log);
    ASSERT_TRUE(folder.write("hintboard-a.plist", "first"));
    ASSERT_TRUE(folder.write("hintboard-a.plist", "second"));
    test::writeFile(path / ".syncthing.hintboard-b.plist.tmp", "partial");
    test::writeFile(path / "large.plist", std::string(100, 'x'));
    fs::create_directory(path / "folder.plist");
    ASSERT_EQ(::mkfifo((path / "fifo.plist").c_str(), 0600), 0);
    EXPECT_THAT(folder.fileNames(), testing::UnorderedElementsAre("hintboard-a.plist", "large.plist"));
    EXPECT_EQ(folder.read("hintboard-a.plist", 100), "second");
    EXPECT_FALSE(folder.read("large.plist", 99));
    EXPECT_FALSE(folder.read("fifo.plist", 99)); // returns at once
    ASSERT_TRUE(folder.remove("hintboard-a.plist"));
    EXPECT_TRUE(folder.remove("hintboard-a.plist"));
    EXPECT_FALSE(fs::exists(path / "hintboard-a.plist"));
}

TEST_F(DirectorySyncFolderTest, ManyFilesListTheWantedOnesFirstByNameAndSayWhenCutShort)
{
    for (int i = 0; i < 1500; ++i)
        test::writeFile(path / ("photo-" + std::to_string(i) + ".jpg"), "x");
    test::writeFile(path / "hintboard-zz.plist", "own");
    DirectorySyncFolder folder(path, watches, log);
    const auto wanted = [](std::string_view name) { return name.starts_with("hintboard-"); };
    EXPECT_THAT(folder.matchingFileNames(wanted), testing::ElementsAre("hintboard-zz.plist"));
    EXPECT_TRUE(logSink.messages(platform::LogCategory::settings).empty());

    for (int i = 0; i < 1200; ++i)
        test::writeFile(path / fmt::format("hintboard-{:04}.plist", i), "peer");
    folder.matchingFileNames(wanted);
    const auto names = folder.matchingFileNames(wanted);
    ASSERT_EQ(names.size(), platform::SyncFolder::maxListedFiles);
    EXPECT_EQ(names.front(), "hintboard-0000.plist");
    EXPECT_EQ(names.back(), "hintboard-0999.plist");
    EXPECT_THAT(logSink.messages(platform::LogCategory::settings),
                testing::ElementsAre(testing::HasSubstr("too many files: 1000 of 1201 matching ones read")));
}

TEST_F(DirectorySyncFolderTest, ALinkPlantedInPlaceOfAFileIsReplacedNeverFollowed)
{
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
