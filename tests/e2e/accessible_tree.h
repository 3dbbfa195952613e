#pragma once

// A program's own windows read and driven over AT-SPI, as a screen reader
// would: the names of its elements, and pressing one by its name.
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hb::e2e {

// The names of the elements in the showing windows of the process, in tree order.
std::vector<std::string> accessibleNames(pid_t pid);
// Runs the first action of the first showing element of that name; false when there is none.
bool pressAccessible(pid_t pid, std::string_view name);
// The centre of the first showing element of that name on the screen, where a user would click it.
std::optional<std::pair<int, int>> accessibleCentre(pid_t pid, std::string_view name);

} // namespace hb::e2e
