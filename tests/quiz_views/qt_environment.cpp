#include "support/qt_environment.h"

namespace {
const auto* environment = testing::AddGlobalTestEnvironment(new hb::test::QtEnvironment);
}
