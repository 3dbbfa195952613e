#include "platform/log.h"

#include "platform/fake/memory_log.h"

#include <gtest/gtest.h>

using namespace hb::platform;

TEST(Log, PrivateValuesShowOnlyWithDebugLogging)
{
    hb::fake::MemoryLogSink sink;
    bool debug = false;
    Log log(sink, [&] { return debug; });

    log.info(LogCategory::scraper, "Submenu '{}' yielded 0 items ({} child items)", privately(std::string("Recent")), 3);
    debug = true;
    log.error(LogCategory::accessibility, "AX press failed for '{}' after {:.3f}s", privately("Save"), 0.25);
    log.notice(LogCategory::settings, "bad {} format {", 1);

    auto records = sink.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].message, "Submenu '<private>' yielded 0 items (3 child items)");
    EXPECT_EQ(records[0].level, LogLevel::info);
    EXPECT_EQ(records[1].message, "AX press failed for 'Save' after 0.250s");
    EXPECT_EQ(records[1].category, LogCategory::accessibility);
    EXPECT_EQ(records[2].message, "bad {} format {") << "a broken format is logged as it stands";
}
