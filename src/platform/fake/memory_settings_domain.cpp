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
    notifyWrite(key);
}

void MemorySettingsDomain::remove(std::string_view key)
{
    {
        std::lock_guard lock(mutex_);
        if (auto found = values_.find(key); found != values_.end())
            values_.erase(found);
    }
    notifyWrite(key);
}

platform::PlistDictionary MemorySettingsDomain::allValues() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

} // namespace hb::fake
