#include "sources/property_list_reader.h"

#include "sources/untrusted_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace hb::sources {
namespace {

TEST(PropertyListReader, OnlyRegularFilesWithinTheLimit)
{
    test::TemporaryFolder home;
    const auto preferences = home.path() / "Library/Preferences";
    test::writePlist(preferences / "a.plist", platform::PlistDictionary{{"k", 1}}, platform::PlistFormat::binary);
    auto value = readUserPreferences(UserFolders{home.path(), {}}, "a.plist");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, platform::PlistValue(platform::PlistDictionary{{"k", 1}}));

    EXPECT_FALSE(readUserPreferences(UserFolders{home.path(), {}}, "missing.plist"));
    EXPECT_FALSE(readUserPreferences(UserFolders{"relative/home", {}}, "a.plist"));
    EXPECT_FALSE(readUserPreferences(UserFolders{}, "a.plist"));
    std::filesystem::create_symlink("/dev/zero", preferences / "zero.plist");
    EXPECT_FALSE(readUserPreferences(UserFolders{home.path(), {}}, "zero.plist"));
    test::writeFile(preferences / "big.plist", std::string(maxPropertyListFileBytes + 1, ' '));
    EXPECT_FALSE(readUserPreferences(UserFolders{home.path(), {}}, "big.plist"));
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
