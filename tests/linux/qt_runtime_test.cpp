#include "linux/qt/qt_runtime.h"
#include "linux/qt/qt_screens.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

using namespace hb;
using linux_platform::QtRuntime;
using platform::Seconds;
using testing::ElementsAre;

namespace {

TEST(QtRuntime, DelayedTasksRunInTheirOrderUnlessCancelled)
{
    int argc = 1;
    char name[] = "tests_linux";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    QtRuntime runtime;
    // Runs the event loop until `done` holds or `limit` milliseconds have passed.
    const auto runUntil = [](const std::function<bool()>& done, int limit = 2000) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done() && elapsed.elapsed() < limit)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        return done();
    };
    std::vector<int> ran;
    const auto start = runtime.now(); // Qt's coarse timers may fire 5 % early
    runtime.postAfter(Seconds(0.1), [&] { ran.push_back(3); });
    runtime.postAfter(Seconds(0.01), [&] { ran.push_back(1); });
    runtime.cancel(runtime.postAfter(Seconds(0.02), [&] { ran.push_back(-1); }));
    // Posted from another thread, then cancelled on the main thread before its timer starts.
    platform::MainQueue::TaskId fromThread = 0;
    std::thread([&] {
        fromThread = runtime.postAfter(Seconds(0), [&] { ran.push_back(-2); });
        runtime.postAfter(Seconds(0.05), [&] { ran.push_back(2); });
    }).join();
    runtime.cancel(fromThread);

    ASSERT_TRUE(runUntil([&] { return ran.size() == 3; }));
    EXPECT_GE(runtime.now() - start, Seconds(0.095));
    runUntil([] { return false; }, 30);
    EXPECT_THAT(ran, ElementsAre(1, 2, 3));
}

TEST(QtScreens, CoordinatesTurnAroundThePrimaryScreensBottomLeft)
{
    const QRect primary(0, 0, 1920, 1080);
    // A taller screen to the right, its top aligned with the primary's.
    const auto right = linux_platform::fromQt(QRect(1920, 0, 1280, 1440), primary);
    EXPECT_EQ(right, (platform::Rect{{1920, -360}, {1280, 1440}}));
    EXPECT_EQ(linux_platform::toQt(right, primary), QRect(1920, 0, 1280, 1440));
    // A primary screen that is not at Qt's origin.
    const QRect offset(1280, 200, 1920, 1080);
    EXPECT_EQ(linux_platform::fromQt(offset, offset), (platform::Rect{{0, 0}, {1920, 1080}}));
    EXPECT_EQ(linux_platform::fromQt(QRect(0, 0, 1280, 1024), offset), (platform::Rect{{-1280, 256}, {1280, 1024}}));
}

} // namespace
