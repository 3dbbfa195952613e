#pragma once

#include "platform/settings_domain.h"

#include <functional>
#include <map>
#include <mutex>

namespace hb::fake {

// A settings domain that lives in memory only.
class MemorySettingsDomain : public platform::SettingsDomain {
public:
    MemorySettingsDomain() = default;
    explicit MemorySettingsDomain(platform::PlistDictionary values) : values_(std::move(values)) {}

    std::optional<platform::PlistValue> object(std::string_view key) const override;
    void set(std::string_view key, platform::PlistValue value) override;
    void remove(std::string_view key) override;
    void apply(const Changes& changes) override;
    platform::PlistDictionary allValues() const override;
    bool synchronize() override { return true; }

    // Asked before every write; false drops it unseen, as when the writing
    // process was killed before it.
    std::function<bool()> allowWrite;

private:
    bool mayWrite() const { return !allowWrite || allowWrite(); }

    mutable std::mutex mutex_;
    platform::PlistDictionary values_;
};

} // namespace hb::fake
