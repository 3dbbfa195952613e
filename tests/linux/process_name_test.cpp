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

} // namespace
} // namespace hb::linux_platform
