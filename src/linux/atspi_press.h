#pragma once

#include "linux/atspi_connection.h"
#include "linux/atspi_element.h"

namespace hb::linux_platform::atspi {

// Presses an element through its action named for a click or activation
// (its first action when none is), as one request; false when that fails.
bool press(Connection& connection, const Element& element);

} // namespace hb::linux_platform::atspi
