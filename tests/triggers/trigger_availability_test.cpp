#include "triggers/trigger_availability.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

TEST(TriggerAvailabilityTest, SessionKindFromTheEnvironmentsValues)
{
    EXPECT_EQ(sessionKind("wayland-0", ""), SessionKind::wayland);
    EXPECT_EQ(sessionKind("", "wayland"), SessionKind::wayland);
    EXPECT_EQ(sessionKind("", "x11"), SessionKind::x11);
    EXPECT_EQ(sessionKind("", "tty"), SessionKind::x11);
    EXPECT_EQ(sessionKind("", ""), SessionKind::x11);
}

TEST(TriggerAvailabilityTest, WaylandHasNoDoubleTapAndNeedsThePortalOrADesktopBinding)
{
    EXPECT_EQ(triggerAvailability(SessionKind::x11, false), TriggerAvailability{});

    const auto portal = triggerAvailability(SessionKind::wayland, true);
    EXPECT_FALSE(portal.doubleTapAvailable);
    EXPECT_THAT(portal.doubleTapReason, HasSubstr("Wayland"));
    EXPECT_EQ(portal.hotkeyRoute, HotkeyRoute::portal);

    const auto none = triggerAvailability(SessionKind::wayland, false);
    EXPECT_FALSE(none.doubleTapAvailable);
    EXPECT_EQ(none.hotkeyRoute, HotkeyRoute::desktopBinding);
    EXPECT_THAT(none.hotkeyNote, HasSubstr("custom shortcut"));
    EXPECT_THAT(none.bindingPlaces, AllOf(HasSubstr("GNOME: Settings → Keyboard"), HasSubstr("KDE Plasma")));
    EXPECT_TRUE(portal.bindingPlaces.empty());
}

} // namespace
} // namespace hb
