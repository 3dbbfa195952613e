#include "platform/linux/session_services.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb::linux_platform {
namespace {

using ::testing::HasSubstr;

TEST(QtPlatformChoiceTest, WaylandRunsNativelyWhereItCanAndOnTheXDisplayOtherwise)
{
    EXPECT_EQ(chooseQtPlatform({.kind = SessionKind::x11, .waylandPluginInstalled = true, .hasXDisplay = true}).platform, "")
        << "X11 sessions keep Qt's own choice";

    GraphicalSession wayland{.kind = SessionKind::wayland, .waylandPluginInstalled = true,
                             .waylandDisplayAnswers = true, .hasXDisplay = true};
    EXPECT_EQ(chooseQtPlatform(wayland).platform, "wayland;xcb");
    wayland.hasXDisplay = false;
    EXPECT_EQ(chooseQtPlatform(wayland).platform, "wayland");
    wayland.requestedPlatform = "xcb";
    EXPECT_EQ(chooseQtPlatform(wayland).platform, "") << "the user's QT_QPA_PLATFORM stays";
    EXPECT_THAT(chooseQtPlatform(wayland).reason, HasSubstr("as QT_QPA_PLATFORM asks"));

    // Without the plugin, or without an answering compositor: XWayland, or nothing at all.
    for (auto [plugin, answers, problem] : {std::tuple(false, true, "package qt6-wayland"),
                                            std::tuple(true, false, "does not answer")}) {
        GraphicalSession broken{.kind = SessionKind::wayland, .waylandPluginInstalled = plugin,
                                .waylandDisplayAnswers = answers, .hasXDisplay = true};
        auto choice = chooseQtPlatform(broken);
        EXPECT_EQ(choice.platform, "xcb") << problem;
        EXPECT_TRUE(choice.possible);
        EXPECT_THAT(choice.reason, HasSubstr(problem));
        broken.hasXDisplay = false;
        choice = chooseQtPlatform(broken);
        EXPECT_FALSE(choice.possible) << problem;
        EXPECT_THAT(choice.reason, HasSubstr("no X display"));
    }
}

} // namespace
} // namespace hb::linux_platform
