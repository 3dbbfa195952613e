// Where the user's files are, and reading them within bounds.
#include "sources/property_list_reader.h"
#include "sources/untrusted_file.h"
#include "sources/user_folders.h"

#include "support/scoped_environment.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace hb::sources {
namespace {

using test::ScopedEnvironment;

TEST(UserFolders, FromEnvironmentWithXdgFallbacks)
{
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment data("XDG_DATA_HOME", "/data");
        EXPECT_EQ(UserFolders::fromEnvironment().data, "/data");
    }
    {
        // Relative locations are not valid here and are ignored.
        ScopedEnvironment data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(UserFolders::fromEnvironment().home, "/home/someone");
        EXPECT_EQ(UserFolders::fromEnvironment().data, "/home/someone/.local/share");
    }
    ScopedEnvironment noHome("HOME", "");
    EXPECT_TRUE(UserFolders::fromEnvironment().home.is_absolute()) << "the account's home directory";
    EXPECT_EQ(UserFolders::inside("/home/someone", "a/b"), "/home/someone/a/b");
    EXPECT_FALSE(UserFolders::inside("", "a/b"));
    EXPECT_FALSE(UserFolders::inside("relative", "a/b"));
}

TEST(PropertyListReader, OnlyRegularFilesWithinTheLimit)
{
    test::TemporaryFolder home;
    const auto preferences = home.path() / "Library/Preferences";
    const UserFolders folders{home.path(), {}};
    test::writePlist(preferences / "a.plist", platform::PlistDictionary{{"k", 1}}, platform::PlistFormat::binary);
    EXPECT_EQ(readUserPreferences(folders, "a.plist"), platform::PlistValue(platform::PlistDictionary{{"k", 1}}));
    EXPECT_FALSE(readUserPreferences(folders, "missing.plist"));
    EXPECT_FALSE(readUserPreferences(UserFolders{"relative/home", {}}, "a.plist"));
    std::filesystem::create_symlink("/dev/zero", preferences / "zero.plist");
    EXPECT_FALSE(readUserPreferences(folders, "zero.plist"));
    test::writeFile(preferences / "big.plist", std::string(maxPropertyListFileBytes + 1, ' '));
    EXPECT_FALSE(readUserPreferences(folders, "big.plist"));
}

TEST(UntrustedFile, ReadsOnlyUpToTheLimit)
{
    test::TemporaryFolder folder;
    test::writeFile(folder.path() / "four", "1234");
    EXPECT_EQ(readUntrustedFile(folder.path() / "four", 4).bytes, "1234");
    EXPECT_EQ(readUntrustedFile(folder.path() / "four", 3).status, UntrustedFile::Status::oversized);
    // Reported as empty at the size check, longer when read: like a file that grows meanwhile.
    EXPECT_EQ(readUntrustedFile("/proc/self/maps", 16).status, UntrustedFile::Status::oversized);
    EXPECT_EQ(readUntrustedFile("/dev/null", 16).status, UntrustedFile::Status::unreadable);
}

} // namespace
} // namespace hb::sources
