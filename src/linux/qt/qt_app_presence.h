#pragma once

#include "platform/app_presence.h"

#include <QIcon>

namespace hb::linux_platform {

// The program's icon for its windows and the taskbar. On Linux a program has
// a taskbar entry exactly while one of its ordinary windows (settings, quiz,
// onboarding) is open, so being regular needs no switch of its own: it is
// only remembered. Completes Qt's icon lookup where the desktop names no
// theme. Main thread only, with a QGuiApplication.
class QtAppPresence final : public platform::AppPresence {
public:
    QtAppPresence();

    void setRegular(bool regular) override { regular_ = regular; }
    bool isRegular() const { return regular_; }
    // A freedesktop icon name of the theme, else an image file or Qt resource
    // path, else the resource ":/icons/<name>.svg" or ".png".
    bool setIcon(std::string_view imageName) override;
    void resetIcon() override;

private:
    QIcon ownIcon_;
    bool regular_ = false;
};

} // namespace hb::linux_platform
