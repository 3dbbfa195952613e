#pragma once

#include "platform/login_item.h"

#include <optional>
#include <string>

namespace hb::fake {

// A login item in memory; `failure` makes every change fail with that reason.
class FakeLoginItemService : public platform::LoginItemService {
public:
    bool isEnabled() const override { return enabled_; }
    bool setEnabled(bool enabled, std::string& error) override
    {
        ++changeRequests;
        if (failure) {
            error = *failure;
            return false;
        }
        enabled_ = enabled;
        return true;
    }

    std::optional<std::string> failure;
    int changeRequests = 0;

private:
    bool enabled_ = false;
};

} // namespace hb::fake
