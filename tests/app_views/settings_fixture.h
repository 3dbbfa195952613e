#pragma once

#include "platform/fake/fake_workspace.h"
#include "support/settings_model_fakes.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace hb::test {

// The settings model's fakes, for tests of the windows that edit the settings.
class SettingsModelFixture : public testing::Test, public SettingsModelFakes {};

} // namespace hb::test
