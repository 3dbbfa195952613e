#pragma once

#include "platform/app_presence.h"
#include "platform/settings_domain.h"
#include "settings/settings.h"

namespace hb {

// Applies an icon variant: the program's own icon for `command`, the image
// "AppIconOption" or "AppIconControl" otherwise; a missing image resets the icon.
void applyAppIconVariant(AppIconVariant variant, platform::AppPresence& presence);

// Counts the open windows that want a Dock (taskbar) icon; the program is a
// regular application exactly while the count is above 0. Main thread only.
class DockIconManager {
public:
    DockIconManager(platform::AppPresence& presence, platform::SettingsDomain& settings);

    // A window that wants the icon opened: the first one shows the icon, in
    // the variant stored in `appIconVariant`.
    void show();
    // Such a window closed; the count never goes below 0.
    void hide();
    int openCount() const { return openCount_; }

private:
    platform::AppPresence& presence_;
    platform::SettingsDomain& settings_;
    int openCount_ = 0;
};

} // namespace hb
