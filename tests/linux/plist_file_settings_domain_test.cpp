#include "platform/linux/plist_file_settings_domain.h"

#include "platform/fake/memory_log.h"
#include "platform/property_list_guard.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/scoped_environment.h"
#include "support/temporary_folder.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace hb::linux_platform {

namespace platform = hb::platform;

namespace {

using platform::LogCategory;
using platform::PlistArray;
using platform::PlistData;
using platform::PlistDictionary;
using platform::PlistValue;
namespace fs = std::filesystem;

std::string readAll(const fs::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

std::vector<fs::path> filesStartingWith(const fs::path& folder, std::string_view prefix)
{
    std::vector<fs::path> result;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(prefix))
            result.push_back(entry.path());
    }
    return result;
}

class PlistFileSettingsDomainTest : public testing::Test {
protected:
    std::unique_ptr<PlistFileSettingsDomain> open()
    {
        auto opened = PlistFileSettingsDomain::open(file, log);
        EXPECT_TRUE(opened.domain) << opened.error;
        return std::move(opened.domain);
    }

    test::TemporaryFolder temporary;
    fs::path folder = temporary.path();
    fs::path file = folder / "hintboard" / "org.mirelo.Hintboard.plist";
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
};

TEST_F(PlistFileSettingsDomainTest, ValuesSurviveReopeningAsStored)
{
    PlistData bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<std::uint8_t>(255 - i));
    const PlistDictionary expected{
        {"data", bytes},
        {"date", platform::PlistDate{700000000}},
        {"real", 0.30000000000000004},
        {"negative", -3},
        {"nested", PlistArray{PlistDictionary{{"a", PlistArray{true, "x"}}}, PlistArray{}}},
    };
    {
        auto domain = open();
        std::string onDiskWhenNotified;
        domain->addObserver([&](std::string_view) { onDiskWhenNotified = readAll(file); });
        for (const auto& [key, value] : expected)
            domain->set(key, value);
        domain->set("gone", 1);
        domain->remove("gone");
        EXPECT_THAT(onDiskWhenNotified, testing::StartsWith("<?xml"));
        EXPECT_THAT(onDiskWhenNotified, testing::Not(testing::HasSubstr("gone")));
        EXPECT_TRUE(domain->synchronize());
    }
    EXPECT_EQ(open()->allValues(), expected);
    EXPECT_TRUE(filesStartingWith(file.parent_path(), ".org.mirelo").empty());
}

TEST_F(PlistFileSettingsDomainTest, AValueTheFileCannotHoldIsRefusedAndLaterWritesStillSave)
{
    // As deep as a property list may be on its own: one level too deep inside the file.
    PlistValue nested = PlistArray{};
    for (int depth = 0; depth < platform::maxPropertyListDepth; ++depth)
        nested = PlistArray{nested};
    ASSERT_TRUE(platform::serializePropertyList(nested, platform::PlistFormat::xml));
    auto domain = open();
    domain->set("nested", nested);
    domain->set("wrapLongSections", true);
    EXPECT_FALSE(domain->object("nested"));
    EXPECT_TRUE(domain->synchronize());
    EXPECT_THAT(readAll(file), testing::HasSubstr("wrapLongSections"));
    EXPECT_THAT(sink.messages(LogCategory::settings), testing::Contains(testing::HasSubstr("nested cannot be stored")));
}

TEST_F(PlistFileSettingsDomainTest, ASecondHolderIsRefusedUntilTheFirstCloses)
{
    auto first = open();
    auto second = PlistFileSettingsDomain::open(file, log);
    EXPECT_FALSE(second.domain);
    EXPECT_THAT(second.error, testing::HasSubstr("in use by another Hintboard process"));
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
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 42);
    EXPECT_EQ(filesStartingWith(file.parent_path(), ".org.mirelo.Hintboard.plist.tmp-").size(), 1u);

    auto domain = open();
    EXPECT_EQ(domain->object("name"), PlistValue("previous"));
    EXPECT_TRUE(filesStartingWith(file.parent_path(), ".org.mirelo.Hintboard.plist.tmp-").empty());
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
        int status = 0;
        waitpid(child, &status, 0);
        close(pipeFds[0]);
        ASSERT_TRUE(WIFSIGNALED(status));

        auto domain = open();
        auto blob = domain->object("blob");
        ASSERT_TRUE(blob && blob->as<PlistData>()) << "round " << round;
        const auto& bytes = *blob->as<PlistData>();
        ASSERT_EQ(bytes.size(), 512u * 1024);
        EXPECT_GE(bytes.front(), generation);  // the one reported, or one written after it
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), bytes.front()), static_cast<long>(bytes.size()));
    }
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "org.mirelo.Hintboard.plist.corrupt-").empty());
}

TEST_F(PlistFileSettingsDomainTest, UnreadableFilesAreKeptAsideAndNeverOverwritten)
{
    const std::string valid = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              "<key>a</key><string>b</string></dict></plist>\n";
    const std::vector<std::string> broken{
        "",
        valid.substr(0, valid.size() / 2),
        "this is not a property list",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array></plist>",
    };
    for (const auto& content : broken) {
        test::writeFile(file, content);
        sink.clear();
        {
            auto domain = open();
            EXPECT_TRUE(domain->allValues().empty());
            domain->set("fresh", true);
        }
        auto aside = filesStartingWith(file.parent_path(), "org.mirelo.Hintboard.plist.corrupt-");
        ASSERT_EQ(aside.size(), 1u) << content;
        EXPECT_EQ(readAll(aside.front()), content);
        auto lines = sink.messages(LogCategory::settings);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_THAT(lines.front(), testing::HasSubstr("moved aside to " + aside.front().string()));
        EXPECT_EQ(open()->object("fresh"), PlistValue(true));
        fs::remove(aside.front());
    }
}

TEST_F(PlistFileSettingsDomainTest, AFileThisUserMayNotReadIsLeftUntouchedAndNeverWritten)
{
    const std::string content = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><true/></dict></plist>";
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
        if (!opened.domain->allValues().empty() || opened.domain->readProblem().find("Permission denied") == std::string::npos)
            ::_exit(12);
        opened.domain->set("fresh", true);
        ::_exit(opened.domain->object("fresh") == PlistValue(true) && !opened.domain->synchronize() ? 0 : 13);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readAll(file), content);
    EXPECT_TRUE(filesStartingWith(file.parent_path(), "org.mirelo.Hintboard.plist.corrupt-").empty());
}

TEST_F(PlistFileSettingsDomainTest, ALinkedSettingsFileKeepsItsLinkAndItsTargetIsReplaced)
{
    const fs::path target = folder / "dotfiles" / "hintboard.plist";
    fs::create_directories(target.parent_path());
    fs::create_directories(file.parent_path());
    fs::create_symlink(target, file);  // dangling until the first write
    open()->set("first", 1);
    ASSERT_TRUE(fs::is_symlink(file));
    open()->set("second", 2);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(open()->object("first"), PlistValue(1));
    EXPECT_NE(readAll(target).find("second"), std::string::npos);
    EXPECT_TRUE(filesStartingWith(target.parent_path(), ".hintboard.plist.tmp-").empty());
}

TEST_F(PlistFileSettingsDomainTest, ValuesOfUnexpectedTypesReadAsTheFallbacks)
{
    test::writeFile(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>doubleTapEnabled</key><string>YES</string>
  <key>popupDisplayMode</key><real>1</real>
  <key>doubleTapModifier</key><integer>1</integer>
</dict></plist>)");
    auto domain = open();
    Settings settings(*domain);
    EXPECT_FALSE(settings.flag(keys::doubleTapEnabled));
    EXPECT_EQ(settings.popupDisplayMode(), PopupDisplayMode::mouseCursor);
    EXPECT_EQ(settings.doubleTapModifier(), DoubleTapModifier::option);

    // A text the file format cannot hold is refused instead of blocking later saves.
    domain->set("bad", std::string("a\0b", 3));
    EXPECT_FALSE(domain->object("bad"));
    domain->set("good", 1);
    EXPECT_TRUE(domain->synchronize());
}

TEST(PlistFileSettingsDomainPath, WithoutAHomeFolderNothingIsWrittenHere)
{
    // defaultPath() is empty when no home folder is known; a relative path is refused alike.
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    for (const fs::path& file : {fs::path(), fs::path("hintboard/org.mirelo.Hintboard.plist")}) {
        auto opened = PlistFileSettingsDomain::open(file, log);
        EXPECT_FALSE(opened.domain);
        EXPECT_THAT(opened.error, testing::HasSubstr("No home folder is known"));
    }
    EXPECT_FALSE(fs::exists("hintboard"));
}

TEST(PlistFileSettingsDomainPath, FollowsXdgConfigHome)
{
    test::ScopedEnvironment configHome("XDG_CONFIG_HOME", "/x/config");
    EXPECT_EQ(PlistFileSettingsDomain::defaultPath(), "/x/config/hintboard/org.mirelo.Hintboard.plist");
    test::ScopedEnvironment relative("XDG_CONFIG_HOME", "relative");
    test::ScopedEnvironment home("HOME", "/home/someone");
    EXPECT_EQ(PlistFileSettingsDomain::defaultPath(), "/home/someone/.config/hintboard/org.mirelo.Hintboard.plist");
}

} // namespace
} // namespace hb::linux_platform
