#pragma once

#include "platform/settings_domain.h"

#include <map>
#include <mutex>

namespace hb::fake {

// A settings domain that lives in memory only.
class MemorySettingsDomain : public platform::SettingsDomain {
public:
    std::optional<platform::PlistValue> object(std::string_view key) const override;
    void set(std::string_view key, platform::PlistValue value) override;
    void remove(std::string_view key) override;
    platform::PlistDictionary allValues() const override;
    bool synchronize() override { return true; }

private:

    mutable std::mutex mutex_;
    platform::PlistDictionary values_;
};

} // namespace hb::fake
