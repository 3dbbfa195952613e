#include "platform/linux/qt_runtime.h"
#include "platform/linux/qt_screens.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

using namespace hb;
using linux_platform::QtRuntime;
using platform::Seconds;
using testing::ElementsAre;

namespace {

class QtRuntimeTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "tests_linux";
        static char* argv[] = {name, nullptr};
        application = new QCoreApplication(argc, argv);
    }
    static void TearDownTestSuite()
    {
        delete application;
        application = nullptr;
    }

    // Runs the event loop until `done` holds or two seconds have passed.
    static bool runUntil(const std::function<bool()>& done)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done() && elapsed.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return done();
    }
    static void runFor(int milliseconds)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }

    static inline QCoreApplication* application = nullptr;
    QtRuntime runtime;
};

TEST_F(QtRuntimeTest, WorkFromOtherThreadsComesBackToTheMainThread)
{
    const auto mainThread = std::this_thread::get_id();
    std::thread::id posted;
    std::thread::id background;
    std::thread::id continued;
    std::thread poster([&] { runtime.post([&] { posted = std::this_thread::get_id(); }); });
    poster.join();
    runtime.run(platform::TaskPriority::utility, [&] {
        background = std::this_thread::get_id();
        runtime.post([&] { continued = std::this_thread::get_id(); });
    });

    ASSERT_TRUE(runUntil([&] { return posted != std::thread::id() && continued != std::thread::id(); }));
    EXPECT_EQ(posted, mainThread);
    EXPECT_EQ(continued, mainThread);
    EXPECT_NE(background, mainThread);
}

TEST_F(QtRuntimeTest, DelayedTasksRunInTheirOrderUnlessCancelled)
{
    std::vector<int> ran;
    runtime.postAfter(Seconds(0.1), [&] { ran.push_back(3); });
    runtime.postAfter(Seconds(0.01), [&] { ran.push_back(1); });
    const auto cancelled = runtime.postAfter(Seconds(0.02), [&] { ran.push_back(-1); });
    runtime.cancel(cancelled);
    // Posted from another thread, then cancelled on the main thread before its timer starts.
    platform::MainQueue::TaskId fromThread = 0;
    std::thread([&] {
        fromThread = runtime.postAfter(Seconds(0), [&] { ran.push_back(-2); });
        runtime.postAfter(Seconds(0.05), [&] { ran.push_back(2); });
    }).join();
    runtime.cancel(fromThread);

    const auto start = runtime.now();
    ASSERT_TRUE(runUntil([&] { return ran.size() == 3; }));
    EXPECT_GE(runtime.now() - start, Seconds(0.095));
    runFor(30);
    EXPECT_THAT(ran, ElementsAre(1, 2, 3));
}

TEST_F(QtRuntimeTest, AWatchedDescriptorIsReadOnTheMainThreadUntilUnwatched)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int readable = 0;
    const auto id = runtime.watch(fds[0], [&] {
        char byte;
        ASSERT_EQ(read(fds[0], &byte, 1), 1);
        ++readable;
    });
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_TRUE(runUntil([&] { return readable == 1; }));

    runtime.unwatch(id);
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    runFor(30);
    EXPECT_EQ(readable, 1);
    close(fds[0]);
    close(fds[1]);
}

TEST(QtScreensTest, CoordinatesTurnAroundThePrimaryScreensBottomLeft)
{
    const QRect primary(0, 0, 1920, 1080);
    // A taller screen to the right, its top aligned with the primary's.
    const auto right = linux_platform::fromQt(QRect(1920, 0, 1280, 1440), primary);
    EXPECT_EQ(right, (platform::Rect{{1920, -360}, {1280, 1440}}));
    EXPECT_EQ(linux_platform::toQt(right, primary), QRect(1920, 0, 1280, 1440));
    EXPECT_EQ(linux_platform::fromQt(QPoint(10, 10), primary), (platform::Point{10, 1070}));

    // A primary screen that is not at Qt's origin.
    const QRect offset(1280, 200, 1920, 1080);
    EXPECT_EQ(linux_platform::fromQt(offset, offset), (platform::Rect{{0, 0}, {1920, 1080}}));
    EXPECT_EQ(linux_platform::fromQt(QRect(0, 0, 1280, 1024), offset), (platform::Rect{{-1280, 256}, {1280, 1024}}));
}

} // namespace
