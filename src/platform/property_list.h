#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace hb::platform {

struct PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDictionary = std::map<std::string, PlistValue, std::less<>>;
using PlistData = std::vector<std::uint8_t>;
struct PlistDate {
    double secondsSince2001 = 0;  // the property-list epoch, 2001-01-01 UTC
    friend bool operator==(const PlistDate&, const PlistDate&) = default;
};

// A property-list value, kept exactly as stored.
struct PlistValue
    : std::variant<bool, std::int64_t, double, std::string, PlistData, PlistDate, PlistArray, PlistDictionary> {
    using variant::variant;
    PlistValue(int value) : variant(static_cast<std::int64_t>(value)) {}
    PlistValue(const char* value) : variant(std::string(value)) {}

    template <typename T>
    const T* as() const { return std::get_if<T>(this); }
};

} // namespace hb::platform
