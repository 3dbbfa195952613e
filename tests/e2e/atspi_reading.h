#pragma once

#include "desktop_session.h"

#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "menus/menu_bar_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace hb::e2e {

// Reads menu bars over AT-SPI in the shared session. Programs started with
// start() or launch() are stopped after each test.
class AtspiReading : public testing::Test {
protected:
    static void SetUpTestSuite() { session = &DesktopSession::shared(); }
    void TearDown() override
    {
        for (pid_t pid : launched)
            session->stopApplication(pid);
    }

    pid_t start(const std::vector<std::string>& arguments)
    {
        const pid_t pid = session->launch(arguments);
        EXPECT_GT(pid, 0) << arguments.front();
        launched.push_back(pid);
        return pid;
    }
    // Starts a program and waits until its menu bar can be read.
    pid_t launch(const std::vector<std::string>& arguments, std::chrono::seconds timeout = std::chrono::seconds(20))
    {
        const pid_t pid = start(arguments);
        EXPECT_TRUE(DesktopSession::waitForMenuBar(accessibility, pid, timeout))
            << arguments.front() << " shows no menu bar over AT-SPI";
        return pid;
    }

    std::vector<MenuSection> read(pid_t pid, bool includeAll = false)
    {
        return reader.readMenuBar(MenuReadOptions{.pid = pid, .includeAll = includeAll});
    }

    static inline DesktopSession* session = nullptr;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
    linux_platform::AtspiAccessibility accessibility{log};
    MenuBarReader reader{accessibility, log};
    std::vector<pid_t> launched;
};

} // namespace hb::e2e
