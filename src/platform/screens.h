#pragma once

#include <optional>
#include <vector>

namespace hb::platform {

// Screen geometry in the desktop's coordinate convention: points, origin at
// the bottom left of the first screen, y growing upwards.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    // Half-open: a point on the maximum edges belongs to the neighbouring screen.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }

    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Screen {
    Rect frame;
    Rect visibleFrame; // the frame without panels and docks
    friend bool operator==(const Screen&, const Screen&) = default;
};

// The desktop's screens and pointer. Main thread only.
class Screens {
public:
    virtual ~Screens() = default;
    // Every screen; the first is the primary one (the origin of the coordinates).
    virtual std::vector<Screen> screens() = 0;
    // The screen holding the window that receives keyboard events, when known.
    virtual std::optional<Screen> mainScreen() = 0;
    virtual Point mouseLocation() = 0;
};

} // namespace hb::platform
