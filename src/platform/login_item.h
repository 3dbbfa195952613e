#pragma once

#include <string>

namespace hb::platform {

// Starting the program when the user logs in.
class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    virtual bool isEnabled() const = 0;
    // False, with the reason in `error`, when the change could not be made.
    virtual bool setEnabled(bool enabled, std::string& error) = 0;
};

} // namespace hb::platform
