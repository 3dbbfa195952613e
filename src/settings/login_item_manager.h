#pragma once

#include "base/log.h"
#include "platform/login_item.h"

namespace hb {

// Start at login as the settings show it: the service's real state.
class LoginItemManager {
public:
    LoginItemManager(platform::LoginItemService& service, platform::Log& log) : service_(service), log_(log) {}

    bool isEnabled() const { return service_.isEnabled(); }
    // Asks the service only when the state differs; a failure is logged.
    // Returns the state in force afterwards.
    bool setEnabled(bool enabled);

private:
    platform::LoginItemService& service_;
    platform::Log& log_;
};

} // namespace hb
