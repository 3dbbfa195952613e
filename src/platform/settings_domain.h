#pragma once

#include "platform/property_list.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hb::platform {

// The program's one settings domain: keys holding property-list values.
// Written on the main thread; safe to read from any thread.
class SettingsDomain {
public:
    using Observer = std::function<void(std::string_view key)>;
    using ObserverId = std::uint64_t;

    virtual ~SettingsDomain() = default;

    virtual std::optional<PlistValue> object(std::string_view key) const = 0;
    virtual void set(std::string_view key, PlistValue value) = 0;
    virtual void remove(std::string_view key) = 0;
    virtual PlistDictionary allValues() const = 0;
    // Makes every write durable; false when that failed.
    virtual bool synchronize() = 0;

    // Called after every write (set or remove) with the key written.
    virtual ObserverId addObserver(Observer observer) = 0;
    virtual void removeObserver(ObserverId id) = 0;

    // Boolean lookup: absent or not a Boolean reads as false.
    bool boolean(std::string_view key) const;
    // Integer lookup: absent or not a number reads as 0.
    std::int64_t integer(std::string_view key) const;
};

} // namespace hb::platform
