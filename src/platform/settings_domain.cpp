#include "platform/settings_domain.h"

#include <cmath>
#include <limits>

namespace hb::platform {

bool SettingsDomain::boolean(std::string_view key) const
{
    auto value = object(key);
    const bool* flag = value ? value->as<bool>() : nullptr;
    return flag && *flag;
}

std::int64_t SettingsDomain::integer(std::string_view key) const
{
    auto value = object(key);
    if (!value)
        return 0;
    if (auto* integer = value->as<std::int64_t>())
        return *integer;
    if (auto* real = value->as<double>()) {
        constexpr double limit = 9.2e18;
        return std::isfinite(*real) && std::fabs(*real) < limit ? static_cast<std::int64_t>(*real) : 0;
    }
    return 0;
}

} // namespace hb::platform
