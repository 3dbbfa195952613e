#include "fake/memory_settings_domain.h"

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
    apply({{std::string(key), std::move(value)}});
}

void MemorySettingsDomain::remove(std::string_view key)
{
    apply({{std::string(key), std::nullopt}});
}

void MemorySettingsDomain::apply(const Changes& changes)
{
    if (!mayWrite())
        return;
    {
        std::lock_guard lock(mutex_);
        applyTo(values_, changes);
    }
    for (const auto& entry : changes)
        notifyWrite(entry.first);
}

platform::PlistDictionary MemorySettingsDomain::allValues() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

} // namespace hb::fake
