#include "platform/linux/atspi_accessibility.h"

#include "menus/menu_bar_reader.h"
#include "platform/fake/memory_log.h"
#include "support/scoped_environment.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace hb::linux_platform {
namespace {

TEST(AtspiAccessibility, WithoutAnAccessibilityBusNothingIsTrustedAndEveryReadIsEmpty)
{
    test::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/hintboard-test-bus");
    test::ScopedEnvironment noAccessibilityBus("AT_SPI_BUS_ADDRESS", nullptr);
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    AtspiAccessibility accessibility(log);

    EXPECT_FALSE(accessibility.isProcessTrusted());
    EXPECT_FALSE(accessibility.requestTrust());

    const auto application = accessibility.applicationElement(getpid());
    ASSERT_NE(application, nullptr);
    accessibility.setMessagingTimeout(application, std::chrono::seconds(1));
    EXPECT_FALSE(accessibility.copyAttribute(application, platform::ax::menuBar).has_value());
    EXPECT_FALSE(accessibility.copyAttribute(application, platform::ax::focusedWindow).has_value());
    EXPECT_FALSE(accessibility.copyAttribute(application, platform::ax::title).has_value());
    EXPECT_FALSE(accessibility.performAction(application, platform::ax::press));

    MenuBarReader reader(accessibility, log);
    EXPECT_TRUE(reader.readMenuBar(MenuReadOptions{.pid = getpid()}).empty());
}

} // namespace
} // namespace hb::linux_platform
