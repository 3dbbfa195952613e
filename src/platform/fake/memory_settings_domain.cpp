#include "platform/fake/memory_settings_domain.h"

namespace hb::fake {

std::optional<platform::PlistValue> MemorySettingsDomain::object(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
}

void MemorySettingsDomain::set(std::string_view key, platform::PlistValue value)
{
    {
        std::lock_guard lock(mutex_);
        values_.insert_or_assign(std::string(key), std::move(value));
    }
    notify(key);
}

void MemorySettingsDomain::remove(std::string_view key)
{
    {
        std::lock_guard lock(mutex_);
        if (auto found = values_.find(key); found != values_.end())
            values_.erase(found);
    }
    notify(key);
}

platform::PlistDictionary MemorySettingsDomain::allValues() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

platform::SettingsDomain::ObserverId MemorySettingsDomain::addObserver(Observer observer)
{
    observers_.emplace(nextObserver_, std::move(observer));
    return nextObserver_++;
}

void MemorySettingsDomain::removeObserver(ObserverId id) { observers_.erase(id); }

void MemorySettingsDomain::notify(std::string_view key)
{
    auto observers = observers_;
    for (auto& [id, observer] : observers)
        observer(key);
}

} // namespace hb::fake
