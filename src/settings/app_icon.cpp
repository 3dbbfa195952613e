#include "settings/app_icon.h"

namespace hb {

void applyAppIconVariant(AppIconVariant variant, platform::AppPresence& presence)
{
    switch (variant) {
    case AppIconVariant::option:
        if (!presence.setIcon("AppIconOption"))
            presence.resetIcon();
        return;
    case AppIconVariant::control:
        if (!presence.setIcon("AppIconControl"))
            presence.resetIcon();
        return;
    case AppIconVariant::command:
        break;
    }
    presence.resetIcon();
}

DockIconManager::DockIconManager(platform::AppPresence& presence, platform::SettingsDomain& settings)
    : presence_(presence), settings_(settings)
{}

void DockIconManager::show()
{
    if (++openCount_ != 1)
        return;
    presence_.setRegular(true);
    applyAppIconVariant(Settings(settings_).appIconVariant(), presence_);
}

void DockIconManager::hide()
{
    if (openCount_ == 0)
        return;
    if (--openCount_ == 0)
        presence_.setRegular(false);
}

} // namespace hb
