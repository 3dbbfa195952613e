#pragma once

// A program's own windows read and driven over AT-SPI, as a screen reader
// would: the names of its elements, and pressing one by its name.
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb::e2e {

// The names of the elements in the showing windows of the process, in tree order.
std::vector<std::string> accessibleNames(pid_t pid);

struct AccessibleElement {
    std::string role;  // AT-SPI's role name: "heading", "list item", "separator"…
    std::string name;
    std::string description;
    int x = 0, y = 0, width = 0, height = 0;  // on the screen
};
// The showing elements of the process below those of role `containerRole`, in tree order.
std::vector<AccessibleElement> accessibleChildrenOf(pid_t pid, std::string_view containerRole);
// The first showing element of that name.
std::optional<AccessibleElement> findAccessible(pid_t pid, std::string_view name);
// Runs the first action of the first showing element of that name; false when there is none.
bool pressAccessible(pid_t pid, std::string_view name);

} // namespace hb::e2e
