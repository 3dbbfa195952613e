#pragma once

// SKELETON: public surface agreed between the triggers and the application.
// The triggers helper completes it and may add what it needs.

#include "platform/event_monitors.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "settings/settings.h"

#include <functional>

namespace hb {

// Opens the popup when one modifier key is tapped twice within half a second,
// with no other key involved. Main thread only.
class DoubleTapTrigger {
public:
    DoubleTapTrigger(platform::EventMonitors& monitors, platform::Clock& clock,
                     platform::SettingsDomain& settings, platform::Log& log);
    ~DoubleTapTrigger();
    DoubleTapTrigger(const DoubleTapTrigger&) = delete;
    DoubleTapTrigger& operator=(const DoubleTapTrigger&) = delete;

    void start();
    void stop();
    bool isStarted() const;
    // The settings' path: when the double tap is on, restarts watching the
    // configured modifier; otherwise leaves the trigger as it is.
    void applySettings();

    std::function<void()> onActivate;
};

} // namespace hb
