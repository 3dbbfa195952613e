#pragma once

#include "base/observer_list.h"
#include "base/property_list.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace hb::platform {

// The program's one settings domain: keys holding property-list values.
// Written on the main thread; safe to read from any thread.
class SettingsDomain {
public:
    using Observer = std::function<void(std::string_view key)>;
    using ObserverId = ObserverList<std::string_view>::Id;

    virtual ~SettingsDomain() = default;

    virtual std::optional<PlistValue> object(std::string_view key) const = 0;
    virtual void set(std::string_view key, PlistValue value) = 0;
    virtual void remove(std::string_view key) = 0;
    // Several keys in one write: all of them reach the disk together or none
    // does; an absent value removes its key. Observers hear of each key after.
    using Changes = std::map<std::string, std::optional<PlistValue>, std::less<>>;
    virtual void apply(const Changes& changes) = 0;
    virtual PlistDictionary allValues() const = 0;
    // Makes every write durable; false when that failed.
    virtual bool synchronize() = 0;

    // Called after every write (set or remove) with the key written.
    ObserverId addObserver(Observer observer) { return observers_.add(std::move(observer)); }
    void removeObserver(ObserverId id) { observers_.remove(id); }

    // Boolean lookup: absent or not a Boolean reads as false.
    bool boolean(std::string_view key) const;
    // Integer lookup: absent or not a number reads as 0.
    std::int64_t integer(std::string_view key) const;

protected:
    // Implementations call this after every write.
    void notifyWrite(std::string_view key) { observers_.notify(key); }
    // Sets or removes each changed key in `values`.
    static void applyTo(PlistDictionary& values, const Changes& changes);

private:
    ObserverList<std::string_view> observers_;
};

} // namespace hb::platform
