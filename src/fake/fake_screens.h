#pragma once

#include "platform/screens.h"

namespace hb::fake {

// Screens and a pointer set by the test.
class FakeScreens : public platform::Screens {
public:
    std::vector<platform::Screen> screens() override { return screens_; }
    std::optional<platform::Screen> mainScreen() override { return mainScreen_; }
    platform::Point mouseLocation() override { return mouse_; }

    // Appends a screen whose visible frame is the frame less `menuBar` at the top.
    platform::Screen addScreen(platform::Rect frame, double menuBar = 0);
    void setMainScreen(std::optional<platform::Screen> screen) { mainScreen_ = std::move(screen); }
    void moveMouse(platform::Point location) { mouse_ = location; }

private:
    std::vector<platform::Screen> screens_;
    std::optional<platform::Screen> mainScreen_;
    platform::Point mouse_;
};

} // namespace hb::fake
