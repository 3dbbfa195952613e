#include "desktop_session.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace hb::e2e {

constexpr const char* sessionScript = HINTBOARD_SOURCE_DIR "/scripts/session";

DesktopSession& DesktopSession::shared()
{
    static DesktopSession* session = [] {
        auto* created = new DesktopSession;
        if (!created->start()) {
            // Fail loudly: a test framework may report an exception here as a skipped test.
            std::fprintf(stderr, "could not start a private desktop session with %s\n", sessionScript);
            std::abort();
        }
        std::atexit([] { delete session; });
        return created;
    }();
    return *session;
}

bool DesktopSession::start()
{
    // The script prints the session's variables as lines "export NAME='value'" (or NAME=value).
    static const std::regex line(R"(export ([A-Za-z_0-9]+)='?([^'\n]*)'?)");
    const std::string lines = commandOutput(std::string(sessionScript) + " start");
    for (std::sregex_iterator at(lines.begin(), lines.end(), line), end; at != end; ++at)
        setenv((*at)[1].str().c_str(), (*at)[2].str().c_str(), 1);
    folder_ = std::getenv("HINTBOARD_SESSION") ? std::getenv("HINTBOARD_SESSION") : "";
    return !folder_.empty() && std::getenv("DISPLAY");
}

DesktopSession::~DesktopSession()
{
    for (pid_t pid : std::vector(launched_))
        stopApplication(pid);
    if (!folder_.empty())
        commandOutput(std::string(sessionScript) + " stop '" + folder_ + "'");
}

pid_t DesktopSession::launch(const std::vector<std::string>& arguments,
                             const std::map<std::string, std::string>& environment)
{
    if (arguments.empty())
        return -1;
    // Through env(1), which adds the variables and looks the program up in PATH.
    std::vector<std::string> words{"env"};
    for (const auto& [name, value] : environment)
        words.push_back(name + "=" + value);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const std::string logPath = folder_ + "/" + std::filesystem::path(arguments.front()).filename().string() + "-"
                                + std::to_string(launched_.size()) + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, "env", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    launched_.push_back(pid);
    return pid;
}

bool DesktopSession::isRunning(pid_t pid)
{
    if (std::find(launched_.begin(), launched_.end(), pid) == launched_.end())
        return false;
    if (waitpid(pid, nullptr, WNOHANG) == 0)
        return true;
    std::erase(launched_, pid);
    return false;
}

void DesktopSession::stopApplication(pid_t pid)
{
    if (!isRunning(pid))
        return;
    // With what runs below it (a launcher's program, a browser's helpers), which may outlive it.
    const auto below = descendantsOf(pid);
    for (pid_t each : below)
        kill(each, SIGTERM);
    kill(pid, SIGTERM);
    kill(pid, SIGCONT); // a stopped program only acts on the signal once it runs
    if (!waitUntil([&] { return waitpid(pid, nullptr, WNOHANG) != 0; }, std::chrono::seconds(3))) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::erase(launched_, pid);
    if (!waitUntil([&] { return std::ranges::none_of(below, [](pid_t each) { return kill(each, 0) == 0; }); },
                   std::chrono::seconds(3)))
        for (pid_t each : below)
            kill(each, SIGKILL);
}

bool DesktopSession::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string DesktopSession::windowTitles(pid_t pid)
{
    return commandOutput(fmt::format(
        "for w in $(xdotool search --onlyvisible --pid {} 2>/dev/null); do xdotool getwindowname $w; done", pid));
}

std::string DesktopSession::commandOutput(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        output += buffer;
    return output;
}

std::string DesktopSession::fileText(const std::string& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

namespace {

struct Process {
    pid_t pid = 0, parent = 0;
    std::string name;
};

// The running processes, from /proc: "pid (name) state ppid …", the name may hold spaces and parentheses.
std::vector<Process> processes()
{
    std::vector<Process> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::string line;
        if (!std::getline(std::ifstream(entry.path() / "stat"), line) || line.find(')') == std::string::npos)
            continue;
        const auto open = line.find('('), close = line.rfind(')');
        Process process{std::atoi(line.c_str()), 0, line.substr(open + 1, close - open - 1)};
        std::sscanf(line.c_str() + close + 1, " %*c %d", &process.parent);
        found.push_back(std::move(process));
    }
    return found;
}

} // namespace

pid_t DesktopSession::childOf(pid_t parent, std::string_view name)
{
    for (const auto& process : processes())
        if (process.parent == parent && process.name == name)
            return process.pid;
    return -1;
}

std::vector<pid_t> DesktopSession::descendantsOf(pid_t parent)
{
    std::map<pid_t, std::vector<pid_t>> children;
    for (const auto& process : processes())
        children[process.parent].push_back(process.pid);
    std::vector<pid_t> found{parent};
    for (std::size_t i = 0; i < found.size(); ++i)
        for (pid_t child : children[found[i]])
            found.push_back(child);
    found.erase(found.begin());
    return found;
}

unsigned long DesktopSession::managedWindowOf(pid_t pid)
{
    const std::string managed = commandOutput("xprop -root _NET_CLIENT_LIST 2>/dev/null");
    std::istringstream windows(commandOutput("xdotool search --pid " + std::to_string(pid) + " 2>/dev/null"));
    for (unsigned long window = 0; windows >> window;)
        if (std::regex_search(managed, std::regex(fmt::format("0x{:x}\\b", window))))
            return window;
    return 0;
}

bool DesktopSession::waitForMenuBar(platform::Accessibility& accessibility, pid_t pid,
                                    std::chrono::milliseconds timeout)
{
    return waitUntil(
        [&] {
            // Each try is a read of its own: an application busy starting up may
            // have let a request of the last try time out.
            const auto application = accessibility.applicationElement(pid);
            accessibility.setMessagingTimeout(application, std::chrono::seconds(1));
            return platform::readElement(accessibility, application, platform::ax::menuBar) != nullptr;
        },
        timeout);
}

} // namespace hb::e2e
