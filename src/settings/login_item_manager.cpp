#include "settings/login_item_manager.h"

namespace hb {

bool LoginItemManager::setEnabled(bool enabled)
{
    if (service_.isEnabled() == enabled)
        return enabled;
    std::string error;
    if (!service_.setEnabled(enabled, error))
        log_.error(platform::LogCategory::settings, "Login item toggle failed: {}", platform::privately(error));
    return service_.isEnabled();
}

} // namespace hb
