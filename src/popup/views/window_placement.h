#pragma once

class QWidget;

namespace hb::views {

// Moves a top-level window to the middle of the screen that holds the
// pointer, inside that screen's available area (clear of panels), its title
// bar on screen even when the window is taller than the area.
void centreOnPointerScreen(QWidget& window);

} // namespace hb::views
