#include "sources/user_folders.h"

#include "support/scoped_environment.h"

#include <gtest/gtest.h>

namespace hb {
namespace {

using test::ScopedEnvironment;

TEST(UserFolders, FromEnvironmentWithXdgFallbacks)
{
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment data("XDG_DATA_HOME", nullptr);
        auto folders = UserFolders::fromEnvironment();
        EXPECT_EQ(folders.home, "/home/someone");
        EXPECT_EQ(folders.data, "/home/someone/.local/share");
    }
    {
        ScopedEnvironment data("XDG_DATA_HOME", "/data");
        EXPECT_EQ(UserFolders::fromEnvironment().data, "/data");
    }
    {
        // Relative locations are not valid here and are ignored.
        ScopedEnvironment data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(UserFolders::fromEnvironment().data, "/home/someone/.local/share");
    }
    {
        ScopedEnvironment noHome("HOME", "");
        EXPECT_TRUE(UserFolders::fromEnvironment().home.is_absolute()) << "the account's home directory";
    }
    EXPECT_EQ(UserFolders::inside("/home/someone", "a/b"), "/home/someone/a/b");
    EXPECT_FALSE(UserFolders::inside("", "a/b"));
    EXPECT_FALSE(UserFolders::inside("relative", "a/b"));
}

} // namespace
} // namespace hb
