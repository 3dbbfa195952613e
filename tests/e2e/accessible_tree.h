#pragma once

// A program's own windows read and driven over AT-SPI, as a screen reader
// would: the names of its elements, and pressing one by its name.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct _AtspiEvent;
struct _AtspiEventListener;

namespace hb::e2e {

// The names of the elements in the showing windows of the process, in tree order.
std::vector<std::string> accessibleNames(pid_t pid);

struct AccessibleElement {
    std::string role;  // AT-SPI's role name: "heading", "list item", "separator"…
    std::string name;
    std::string description;
    int x = 0, y = 0, width = 0, height = 0;  // on the screen
    bool selected = false;
    bool disabled = false;  // not sensitive
};
// The elements of the process below the first showing one of role
// `containerRole`, in tree order: children, then theirs.
std::vector<AccessibleElement> accessibleDescendantsOf(pid_t pid, std::string_view containerRole);
// The first showing element of that name.
std::optional<AccessibleElement> findAccessible(pid_t pid, std::string_view name);
// Runs the first action of the first showing element of that name; false when there is none.
bool pressAccessible(pid_t pid, std::string_view name);
// The centre of the first showing element of that name on the screen, where a user would click it.
std::optional<std::pair<int, int>> accessibleCentre(pid_t pid, std::string_view name);

// Records which elements of a process AT-SPI says took the focus, from the
// moment it is made, as a screen reader hears it.
class FocusEvents {
public:
    explicit FocusEvents(pid_t pid);
    ~FocusEvents();
    FocusEvents(const FocusEvents&) = delete;
    FocusEvents& operator=(const FocusEvents&) = delete;

    // Waits until an element of that name took the focus since the last wait.
    bool waitForFocusOn(std::string_view name, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The names of the elements that took the focus since the last wait.
    const std::vector<std::string>& focused() const { return focused_; }

private:
    static void received(_AtspiEvent* event, void* self);

    pid_t pid_;
    _AtspiEventListener* listener_;
    std::vector<std::string> focused_;
};

} // namespace hb::e2e
