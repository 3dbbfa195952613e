#include "platform/linux/package_manager.h"

#include <gtest/gtest.h>

#include "support/temporary_folder.h"

#include <cstdlib>

namespace hb::linux_platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(PackageFileList, NamesTheFileByItsPathOrAnotherPathOfTheSameFile)
{
    test::TemporaryFolder folder;
    const fs::path program = folder.path() / "usr/libexec/hintboard/hintboard-tray";
    test::writeFile(program, "");
    // Another name for the folder, as /bin is for /usr/bin on a merged /usr.
    fs::create_directory_symlink(folder.path() / "usr", folder.path() / "alias");
    const fs::path other = folder.path() / "usr/bin/hintboard-tray";
    test::writeFile(other, "");

    struct Case {
        const char* name;
        std::string list;
        fs::path file;
        bool listed;
    };
    const Case cases[] = {
        {"listed", "/.\n" + (folder.path() / "usr").string() + "\n" + program.string(), program, true},
        {"under another folder name", (folder.path() / "alias/libexec/hintboard/hintboard-tray").string() + "\n",
         program, true},
        {"a different file of that name", other.string() + "\n", program, false},
        {"not listed", "/usr/share/doc/hintboard/copyright\n", program, false},
        {"no list", "", program, false},
        {"no file", program.string() + "\n", fs::path(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(listsFile(c.list, c.file), c.listed) << c.name;
}

TEST(PackageFileList, ComesFromTheQueryWithinItsBounds)
{
    test::TemporaryFolder folder;
    const auto script = [&](const std::string& name, const std::string& body) {
        const fs::path path = folder.path() / name;
        test::writeFile(path, "#!/bin/sh\n" + body);
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    };
    EXPECT_EQ(dpkgFileList("hintboard", script("listing", "echo /.; echo \"$1 $2\"\n")), "/.\n--listfiles hintboard\n");
    EXPECT_EQ(dpkgFileList("hintboard", script("unknown", "echo /.; exit 1\n")), "") << "dpkg knows no such package";
    EXPECT_EQ(dpkgFileList("hintboard", script("slow", "echo /.; exec sleep 30\n"), 200ms), "");
    EXPECT_EQ(dpkgFileList("hintboard", script("large", "exec head -c 5000000 /dev/zero\n")), "");
    EXPECT_EQ(dpkgFileList("hintboard", (folder.path() / "missing").string()), "");
}

TEST(UpdatesFromPackageManager, TheEnvironmentDecidesWhenItSays)
{
    ::setenv("HINTBOARD_PACKAGE_MANAGED", "1", 1);
    EXPECT_TRUE(updatesFromPackageManager());
    ::setenv("HINTBOARD_PACKAGE_MANAGED", "0", 1);
    EXPECT_FALSE(updatesFromPackageManager());
    ::unsetenv("HINTBOARD_PACKAGE_MANAGED");
    EXPECT_FALSE(updatesFromPackageManager()) << "the test program is no package's";
}

} // namespace
} // namespace hb::linux_platform
