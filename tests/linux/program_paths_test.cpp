#include "platform/linux/program_paths.h"

#include <gtest/gtest.h>

#include "support/temporary_folder.h"

namespace hb::linux_platform {
namespace {

TEST(ProgramPaths, CommandAndTrayApplicationFindEachOtherInBothLayouts)
{
    test::TemporaryFolder folder;
    const auto build = folder.path() / "build";
    test::writeFile(build / "hintboard", "");
    test::writeFile(build / "hintboard-tray", "");
    EXPECT_EQ(trayApplicationPath(build / "hintboard"), build / "hintboard-tray");
    EXPECT_EQ(launcherPath(build / "hintboard-tray"), build / "hintboard");

    const auto prefix = folder.path() / "usr";
    test::writeFile(prefix / "bin" / "hintboard", "");
    test::writeFile(prefix / "libexec" / "hintboard" / "hintboard-tray", "");
    EXPECT_EQ(trayApplicationPath(prefix / "bin" / "hintboard"), prefix / "libexec" / "hintboard" / "hintboard-tray");
    EXPECT_EQ(launcherPath(prefix / "libexec" / "hintboard" / "hintboard-tray"), prefix / "bin" / "hintboard");

    const auto alone = folder.path() / "alone" / "hintboard-tray";
    test::writeFile(alone, "");
    EXPECT_EQ(launcherPath(alone), alone) << "a tray application without its command names itself";
}

} // namespace
} // namespace hb::linux_platform
