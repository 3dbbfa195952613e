#pragma once

#include "fake/memory_settings_domain.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace hb::test {

// A fixture whose settings in memory count the writes of one key.
struct CountedSettings : testing::Test {
    explicit CountedSettings(std::string_view key)
    {
        settings.addObserver([this, key = std::string(key)](std::string_view written) { writes += written == key; });
    }
    fake::MemorySettingsDomain settings;
    int writes = 0;
};

} // namespace hb::test
