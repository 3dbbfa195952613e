#include "desktop_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace hb::e2e {
namespace {

bool hasWindow(pid_t pid)
{
    const std::string command = "xdotool search --onlyvisible --pid " + std::to_string(pid) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(DesktopSession, RunsApplicationsOnItsOwnDisplayAndStopsThem)
{
    auto& session = DesktopSession::shared();
    EXPECT_EQ(session.display(), std::getenv("DISPLAY"));

    const pid_t pid = session.launch({"mousepad"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return hasWindow(pid); }));

    session.stopApplication(pid);
    EXPECT_FALSE(session.isRunning(pid));
    EXPECT_EQ(session.launch({"no-such-program-here"}), -1);
}

} // namespace
} // namespace hb::e2e
