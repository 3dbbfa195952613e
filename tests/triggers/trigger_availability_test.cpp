#include "triggers/trigger_availability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using ::testing::HasSubstr;

TEST(TriggerAvailabilityTest, WaylandHasNoDoubleTapAndNeedsThePortalOrADesktopBinding)
{
    struct Case { const char* display; const char* type; SessionKind kind; };
    for (const auto& c : {Case{"wayland-0", "", SessionKind::wayland}, Case{"", "wayland", SessionKind::wayland},
                          Case{"", "x11", SessionKind::x11}, Case{"", "tty", SessionKind::x11},
                          Case{"", "", SessionKind::x11}})
        EXPECT_EQ(sessionKind(c.display, c.type), c.kind) << c.display << "/" << c.type;

    EXPECT_EQ(triggerAvailability(SessionKind::x11, false), TriggerAvailability{});
    const auto portal = triggerAvailability(SessionKind::wayland, true);
    EXPECT_FALSE(portal.doubleTapAvailable);
    EXPECT_THAT(portal.doubleTapReason, HasSubstr("Wayland"));
    EXPECT_EQ(portal.hotkeyRoute, HotkeyRoute::portal);
    EXPECT_TRUE(portal.bindingPlaces.empty());
    const auto none = triggerAvailability(SessionKind::wayland, false);
    EXPECT_FALSE(none.doubleTapAvailable);
    EXPECT_EQ(none.hotkeyRoute, HotkeyRoute::desktopBinding);
    EXPECT_THAT(none.bindingPlaces, HasSubstr("KDE Plasma"));
}

} // namespace
} // namespace hb
