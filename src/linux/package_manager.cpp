#include "linux/package_manager.h"

#include "base/file_descriptor.h"
#include "linux/program_paths.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

extern char** environ;

namespace hb::linux_platform {

std::string dpkgFileList(std::string_view package, const std::string& dpkgQuery, std::chrono::milliseconds timeLimit)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {};
    platform::FileDescriptor output(ends[0]);
    pid_t child = -1;
    {
        const platform::FileDescriptor input(ends[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input.get(), STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::string name(package);
        std::string option = "--listfiles";
        std::string program = dpkgQuery;
        char* argv[] = {program.data(), option.data(), name.data(), nullptr};
        const int spawned = ::posix_spawnp(&child, dpkgQuery.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return {};
    }

    std::string list;
    bool complete = false;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    char buffer[64 * 1024];
    while (list.size() <= maximumFileListSize) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd readable{output.get(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t count = ::read(output.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            complete = count == 0;
            break;
        }
        list.append(buffer, static_cast<std::size_t>(count));
    }
    if (!complete)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    return complete && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? list : std::string();
}

bool listsFile(std::string_view fileList, const std::filesystem::path& file)
{
    if (file.empty())
        return false;
    const std::string path = file.string();
    const std::filesystem::path name = file.filename();
    while (!fileList.empty()) {
        const std::size_t end = fileList.find('\n');
        const std::string_view line = fileList.substr(0, end);
        fileList.remove_prefix(end == std::string_view::npos ? fileList.size() : end + 1);
        if (line == path)
            return true;
        // The same file under another folder name.
        const std::filesystem::path listed(line);
        std::error_code error;
        if (listed.filename() == name && std::filesystem::equivalent(listed, file, error))
            return true;
    }
    return false;
}

bool updatesFromPackageManager()
{
    if (const char* stated = std::getenv("HINTBOARD_PACKAGE_MANAGED"); stated && *stated)
        return std::string_view(stated) == "1";
    const auto running = runningExecutable();
    return !running.empty() && listsFile(dpkgFileList(), running);
}

} // namespace hb::linux_platform
