#pragma once

#include "platform/observer_list.h"
#include "platform/property_list.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb::platform {

// A key-value store of property-list values that the user's machines share.
// Writes of this machine reach the others later, each whole record at once;
// the others' writes arrive as external changes. Main thread only.
class KeyValueStore {
public:
    using ChangedKeys = std::vector<std::string>;
    using ObserverId = ObserverList<ChangedKeys>::Id;

    virtual ~KeyValueStore() = default;

    // None when absent or unreadable.
    virtual std::optional<PlistValue> object(std::string_view key) const = 0;
    // False when the value could not be stored (logged by the store).
    virtual bool set(std::string_view key, const PlistValue& value) = 0;
    virtual bool remove(std::string_view key) = 0;
    // Hands pending writes on; false when that failed.
    virtual bool synchronize() = 0;

    // A number record; 0 when absent or not a number.
    double doubleValue(std::string_view key) const
    {
        const auto value = object(key);
        if (const auto* real = value ? value->as<double>() : nullptr)
            return *real;
        if (const auto* integer = value ? value->as<std::int64_t>() : nullptr)
            return static_cast<double>(*integer);
        return 0;
    }
    bool setDouble(std::string_view key, double value) { return set(key, PlistValue(value)); }

    // Called on the main thread with the keys that another machine changed.
    ObserverId addExternalChangeObserver(std::function<void(const ChangedKeys&)> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeExternalChangeObserver(ObserverId id) { observers_.remove(id); }

protected:
    void notifyExternalChange(const ChangedKeys& keys) { observers_.notify(keys); }

private:
    ObserverList<ChangedKeys> observers_;
};

} // namespace hb::platform
