// `hintboard toggle` with no Hintboard running: the session bus starts one
// from the service file it finds on XDG_DATA_DIRS, and the popup opens over
// the application in front.
#include "tray_application.h"

#include "linux/program_paths.h"

#include <gmock/gmock.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace hb::e2e {
namespace {

using ::testing::HasSubstr;

// The process that owns the name on the session bus, or -1.
pid_t busNameOwner(const std::string& name)
{
    const std::string reply =
        run("gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
            "--method org.freedesktop.DBus.GetConnectionUnixProcessID "
            + name);
    constexpr std::string_view prefix = "(uint32 "; // "(uint32 1234,)"
    return reply.starts_with(prefix) ? std::atoi(reply.c_str() + prefix.size()) : -1;
}

// Gone, or a zombie that its parent has not reaped yet.
bool processEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    return !std::getline(stat, line) || line.substr(line.rfind(')') + 2, 1) == "Z";
}

class Activation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char folder[] = "/tmp/hintboard-activation.XXXXXX";
        dataFolder = mkdtemp(folder);
        std::filesystem::create_directories(dataFolder + "/dbus-1/services");
        // The session bus reads XDG_DATA_DIRS once, when it starts.
        const char* dataDirs = std::getenv("XDG_DATA_DIRS");
        setenv("XDG_DATA_DIRS",
               (dataFolder + ":" + (dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share")).c_str(), 1);
        const std::string before = std::getenv("HINTBOARD_SESSION") ? std::getenv("HINTBOARD_SESSION") : "";
        session = &DesktopSession::shared();
        busSeesFolder = before != session->folder();
        markWizardSeen();
    }

    static void TearDownTestSuite() { std::filesystem::remove_all(dataFolder); }

    static inline DesktopSession* session = nullptr;
    static inline std::string dataFolder;
    static inline bool busSeesFolder = false;
};

TEST_F(Activation, ToggleSaysWhenNothingAnswersAndStartsHintboardFromTheServiceFile)
{
    if (!busSeesFolder)
        GTEST_SKIP() << "the session bus of this test program started before the service folder was set; "
                        "run this test on its own";
    const std::string toggle = HINTBOARD_EXECUTABLE " toggle";
    EXPECT_THAT(DesktopSession::commandOutput(toggle + " 2>&1"), HasSubstr("no service file that starts it"));
    EXPECT_EQ(status(toggle), 1);

    const pid_t mousepad = launchInFront(*session, {"mousepad", "--disable-server"}, "mousepad");
    ASSERT_GT(mousepad, 0);
    const std::string front = activeWindow();

    std::ofstream(dataFolder + "/dbus-1/services/org.mirelo.Hintboard.service")
        << "[D-BUS Service]\nName=org.mirelo.Hintboard\nExec=" HINTBOARD_EXECUTABLE "\n";
    EXPECT_EQ(status(toggle), 0) << "the bus did not start Hintboard";
    const pid_t hintboard = busNameOwner("org.mirelo.Hintboard");
    ASSERT_GT(hintboard, 0);
    std::error_code error;
    ASSERT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(hintboard) + "/exe", error),
              linux_platform::trayApplicationPath(std::filesystem::path(HINTBOARD_EXECUTABLE).lexically_normal()));
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown)) << "the popup did not open";
    EXPECT_EQ(activeWindow(), front) << "the popup took the activation";
    // Looked at: the popup over mousepad, beside the test in the build folder.
    run("import -window root popup-after-activation.png");

    // Started by the bus, not by this test: stopped by its process id all the same.
    kill(hintboard, SIGTERM);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return processEnded(hintboard); }, std::chrono::seconds(5)));
    session->stopApplication(mousepad);
}

} // namespace
} // namespace hb::e2e
