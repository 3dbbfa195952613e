#pragma once

#include <string_view>

namespace hb::platform {

// The program's presence among the running applications (the Dock, the
// taskbar) and its icon. Main thread only.
class AppPresence {
public:
    virtual ~AppPresence() = default;
    // Shown as a regular application while true; otherwise an accessory
    // without a presence of its own.
    virtual void setRegular(bool regular) = 0;
    // Makes the named image the program's icon; false when it cannot be loaded.
    virtual bool setIcon(std::string_view imageName) = 0;
    // Back to the program's own icon.
    virtual void resetIcon() = 0;
};

} // namespace hb::platform
