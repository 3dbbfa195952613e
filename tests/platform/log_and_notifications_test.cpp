#include "base/log.h"
#include "platform/notification_center.h"

#include "fake/memory_log.h"
#include "fake/virtual_runtime.h"
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
    EXPECT_EQ(beta, 0); // not on the posting thread
    runtime.runMainQueue();
    EXPECT_EQ(beta, 1);
    EXPECT_EQ(alpha, 0);

    // Removed between the post and the run: not called.
    center.post(notifications::receiveAlphaUpdatesChanged);
    center.removeObserver(alphaObserver);
    runtime.runMainQueue();
    EXPECT_EQ(alpha, 0);

    // Tasks that outlive the centre call nobody.
    {
        NotificationCenter gone(runtime);
        gone.addObserver(notifications::menuBarIconStyleChanged, [&] { ++alpha; });
        gone.post(notifications::menuBarIconStyleChanged);
    }
    runtime.runMainQueue();
    EXPECT_EQ(alpha, 0);
}

TEST(Log, PrivateValuesShowOnlyWithDebugLogging)
{
    fake::MemoryLogSink sink;
    bool debug = false;
    Log log(sink, [&] { return debug; });

    log.info(LogCategory::scraper, "Submenu '{}' yielded 0 items ({} child items)", privately(std::string("Recent")),
             3);
    debug = true;
    log.error(LogCategory::accessibility, "AX press failed for '{}' after {:.3f}s", privately("Save"), 0.25);
    log.notice(LogCategory::settings, "bad {} format {", 1);

    auto records = sink.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].message, "Submenu '<private>' yielded 0 items (3 child items)");
    EXPECT_EQ(records[1].message, "AX press failed for 'Save' after 0.250s");
    EXPECT_EQ(records[2].message, "bad {} format {") << "a broken format is logged as it stands";
}

} // namespace
} // namespace hb::platform
