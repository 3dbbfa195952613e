#include "platform/fake/memory_key_value_store.h"

#include <algorithm>
#include <set>

namespace hb::fake {

void MemoryCloud::deliver()
{
    std::vector<std::pair<MemoryKeyValueStore*, platform::KeyValueStore::ChangedKeys>> changes;
    for (auto* machine : machines_) {
        std::set<std::string> keys;
        for (const auto& [key, value] : records_) {
            auto found = machine->records_.find(key);
            if (found == machine->records_.end() || !(found->second == value))
                keys.insert(key);
        }
        for (const auto& entry : machine->records_) {
            if (!records_.contains(entry.first))
                keys.insert(entry.first);
        }
        machine->records_ = records_;
        if (!keys.empty())
            changes.emplace_back(machine, platform::KeyValueStore::ChangedKeys(keys.begin(), keys.end()));
    }
    for (auto& [machine, keys] : changes)
        machine->notifyExternalChange(keys);
}

MemoryKeyValueStore::MemoryKeyValueStore(MemoryCloud& cloud) : cloud_(cloud), records_(cloud.records_)
{
    cloud_.machines_.push_back(this);
}

MemoryKeyValueStore::~MemoryKeyValueStore()
{
    std::erase(cloud_.machines_, this);
}

std::optional<platform::PlistValue> MemoryKeyValueStore::object(std::string_view key) const
{
    auto found = records_.find(key);
    if (found == records_.end())
        return std::nullopt;
    return found->second;
}

bool MemoryKeyValueStore::set(std::string_view key, const platform::PlistValue& value)
{
    if (failWrites)
        return false;
    ++writes_;
    records_.insert_or_assign(std::string(key), value);
    cloud_.records_.insert_or_assign(std::string(key), value);
    return true;
}

bool MemoryKeyValueStore::remove(std::string_view key)
{
    if (failWrites)
        return false;
    ++writes_;
    if (auto found = records_.find(key); found != records_.end())
        records_.erase(found);
    if (auto found = cloud_.records_.find(key); found != cloud_.records_.end())
        cloud_.records_.erase(found);
    return true;
}

bool MemoryKeyValueStore::synchronize()
{
    ++synchronizations_;
    return !failWrites;
}

} // namespace hb::fake
