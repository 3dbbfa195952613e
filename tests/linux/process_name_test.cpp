#include "linux/x11_workspace.h"

#include "support/temporary_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace hb::linux_platform {
namespace {

TEST(ProcessName, WholeBeyondTheKernelsFifteenCharactersAndWithoutTheExtension)
{
    // LibreOffice runs as soffice.bin, started as soffice; names longer than the kernel keeps.
    test::TemporaryFolder folder;
    const auto program = folder.path() / "a-rather-long-program.bin";
    std::filesystem::copy_file("/bin/sleep", program);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    char* environment[] = {const_cast<char*>("GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/writer.desktop"),
                           nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environment), 0);
    // The new program's command line appears a moment after its name.
    std::vector<std::string> names;
    for (int attempt = 0; attempt < 100 && (names = commandNames(pid)).size() < 2; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(names, (std::vector<std::string>{"a-rather-long-program.bin", "a-rather-long-program"}));
    EXPECT_EQ(processName(pid), "a-rather-long-program.bin");
    EXPECT_EQ(launchedDesktopFile(pid), "/usr/share/applications/writer.desktop");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(commandNames(pid).empty());
    EXPECT_EQ(processName(getpid()), "tests_linux");
    EXPECT_EQ(launchedDesktopFile(getpid()), std::nullopt);
}

} // namespace
} // namespace hb::linux_platform
