#include "platform/notification_center.h"

#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <thread>

namespace hb::platform {
namespace {

TEST(NotificationCenter, ObserversOfTheNameRunOnTheMainQueue)
{
    fake::VirtualRuntime runtime;
    NotificationCenter center(runtime);
    int beta = 0, alpha = 0;
    center.addObserver(notifications::receiveBetaUpdatesChanged, [&] { ++beta; });
    const auto alphaObserver = center.addObserver(notifications::receiveAlphaUpdatesChanged, [&] { ++alpha; });

    std::thread([&] { center.post(notifications::receiveBetaUpdatesChanged); }).join();
    EXPECT_EQ(beta, 0);  // not on the posting thread
    runtime.runMainQueue();
    EXPECT_EQ(beta, 1);
    EXPECT_EQ(alpha, 0);

    // Removed between the post and the run: not called.
    center.post(notifications::receiveAlphaUpdatesChanged);
    center.removeObserver(alphaObserver);
    runtime.runMainQueue();
    EXPECT_EQ(alpha, 0);
}

TEST(NotificationCenter, TasksOutlivingTheCentreCallNobody)
{
    fake::VirtualRuntime runtime;
    int calls = 0;
    {
        NotificationCenter center(runtime);
        center.addObserver(notifications::menuBarIconStyleChanged, [&] { ++calls; });
        center.post(notifications::menuBarIconStyleChanged);
    }
    runtime.runMainQueue();
    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace hb::platform
