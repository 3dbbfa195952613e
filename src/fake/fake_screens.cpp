#include "fake/fake_screens.h"

namespace hb::fake {

platform::Screen FakeScreens::addScreen(platform::Rect frame, double menuBar)
{
    platform::Rect visible = frame;
    visible.size.height -= menuBar;
    return screens_.emplace_back(platform::Screen{frame, visible});
}

} // namespace hb::fake
