#include "platform/linux/x11_workspace.h"

#include "support/temporary_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace hb::linux_platform {
namespace {

TEST(ProcessName, WholeEvenBeyondTheKernelsFifteenCharacters)
{
    test::TemporaryFolder folder;
    const auto program = folder.path() / "a-rather-long-program-name";
    std::filesystem::copy_file("/bin/sleep", program);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    // The new program's command line appears a moment after its name.
    std::string name;
    for (int attempt = 0; attempt < 100 && (name = processName(pid)) != "a-rather-long-program-name"; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(name, "a-rather-long-program-name");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(processName(getpid()), "tests_linux");
}

TEST(ProcessName, CommandNamesWithAndWithoutTheExecutablesExtension)
{
    // LibreOffice runs as soffice.bin, started as soffice.
    test::TemporaryFolder folder;
    const auto program = folder.path() / "soffice.bin";
    std::filesystem::copy_file("/bin/sleep", program);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    char* environment[] = {const_cast<char*>("GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/writer.desktop"),
                           nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environment), 0);
    std::vector<std::string> names;
    for (int attempt = 0; attempt < 100 && (names = commandNames(pid)).size() < 2; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(names, (std::vector<std::string>{"soffice.bin", "soffice"}));
    EXPECT_EQ(launchedDesktopFile(pid), "/usr/share/applications/writer.desktop");
    EXPECT_EQ(launchedDesktopFile(getpid()), std::nullopt);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(commandNames(pid).empty());
}

} // namespace
} // namespace hb::linux_platform
