#pragma once

#include "platform/key_value_store.h"

#include <vector>

namespace hb::fake {

class MemoryKeyValueStore;

// The shared service behind the stores of several simulated machines. A
// machine's writes reach the service at once and the other machines only
// when the test calls `deliver`.
class MemoryCloud {
public:
    // Gives every machine whose copy differs from the service the service's
    // records, then tells each machine the keys that changed for it.
    void deliver();
    const platform::PlistDictionary& records() const { return records_; }

private:
    friend class MemoryKeyValueStore;
    platform::PlistDictionary records_;
    std::vector<MemoryKeyValueStore*> machines_;
};

// One machine's view of the shared store.
class MemoryKeyValueStore final : public platform::KeyValueStore {
public:
    explicit MemoryKeyValueStore(MemoryCloud& cloud);
    ~MemoryKeyValueStore() override;
    MemoryKeyValueStore(const MemoryKeyValueStore&) = delete;
    MemoryKeyValueStore& operator=(const MemoryKeyValueStore&) = delete;

    std::optional<platform::PlistValue> object(std::string_view key) const override;
    bool set(std::string_view key, const platform::PlistValue& value) override;
    bool remove(std::string_view key) override;
    bool synchronize() override;

    // Writes fail while set, as with an unreachable service.
    bool failWrites = false;
    int writeCount() const { return writes_; }
    int synchronizeCount() const { return synchronizations_; }

private:
    friend class MemoryCloud;
    MemoryCloud& cloud_;
    platform::PlistDictionary records_;
    int writes_ = 0;
    int synchronizations_ = 0;
};

} // namespace hb::fake
