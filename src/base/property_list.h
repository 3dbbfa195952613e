#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hb::platform {

struct PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDictionary = std::map<std::string, PlistValue, std::less<>>;
using PlistData = std::vector<std::uint8_t>;
struct PlistDate {
    double secondsSince2001 = 0; // the property-list epoch, 2001-01-01 UTC
    friend bool operator==(const PlistDate&, const PlistDate&) = default;
};
// An object reference inside a keyed archive.
struct PlistUid {
    std::uint64_t index = 0;
    friend bool operator==(const PlistUid&, const PlistUid&) = default;
};

// A property-list value, kept exactly as stored.
struct PlistValue : std::variant<bool, std::int64_t, double, std::string, PlistData, PlistDate, PlistArray,
                                 PlistDictionary, PlistUid> {
    using variant::variant;
    PlistValue(int value) : variant(static_cast<std::int64_t>(value)) {}
    PlistValue(const char* value) : variant(std::string(value)) {}

    template <typename T>
    const T* as() const
    {
        return std::get_if<T>(this);
    }
};

enum class PlistFormat { xml, binary };

// Reads an XML or binary property list; none when the bytes are not one.
std::optional<PlistValue> parsePropertyList(std::string_view bytes);
// Writes a property list; none when it cannot be written.
std::optional<std::string> serializePropertyList(const PlistValue& value, PlistFormat format);

// A readable one-line form of a value, for log lines.
std::string describe(const PlistValue& value);

} // namespace hb::platform
