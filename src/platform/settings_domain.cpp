#include "platform/settings_domain.h"

#include <cctype>
#include <cmath>
#include <limits>

namespace hb::platform {

bool SettingsDomain::boolean(std::string_view key) const
{
    auto value = object(key);
    const bool* flag = value ? value->as<bool>() : nullptr;
    return flag && *flag;
}

void SettingsDomain::applyTo(PlistDictionary& values, const Changes& changes)
{
    for (const auto& [key, value] : changes) {
        if (value)
            values.insert_or_assign(key, *value);
        else if (auto found = values.find(key); found != values.end())
            values.erase(found);
    }
}

namespace {

// Numeric text as the platform's integer lookup reads it: leading white space,
// a sign and the digits up to the first other character; out of range clamps.
std::int64_t leadingInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    std::uint64_t magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > static_cast<std::uint64_t>(max))
            return negative ? std::numeric_limits<std::int64_t>::min() : max;
    }
    auto value = static_cast<std::int64_t>(magnitude);
    return negative ? -value : value;
}

} // namespace

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
    if (auto* text = value->as<std::string>())
        return leadingInteger(*text);
    if (auto* flag = value->as<bool>())
        return *flag ? 1 : 0;
    return 0;
}

} // namespace hb::platform
