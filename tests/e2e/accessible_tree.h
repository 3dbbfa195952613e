#pragma once

// A program's own windows read and driven over AT-SPI, as a screen reader
// would: the names of its elements, and pressing one by its name.
#include <sys/types.h>

#include <algorithm>
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
    std::string role; // AT-SPI's role name: "heading", "list item", "separator"…
    std::string name;
    std::string description;
    int x = 0, y = 0, width = 0, height = 0; // on the screen
};
// The elements of the process below the first showing one of role
// `containerRole`, in tree order: children, then theirs.
std::vector<AccessibleElement> accessibleDescendantsOf(pid_t pid, std::string_view containerRole);
// The first showing element of that name.
std::optional<AccessibleElement> findAccessible(pid_t pid, std::string_view name);
// Runs the first action of the first showing element of that name; false when there is none.
bool pressAccessible(pid_t pid, std::string_view name);

// An element that took the focus.
struct FocusedElement {
    std::string role;
    std::string name;
    std::string keys; // its key binding
};

// Records which elements of a process AT-SPI says took the focus, from the
// moment it is made, as a screen reader hears it.
class FocusEvents {
public:
    explicit FocusEvents(pid_t pid);
    ~FocusEvents();
    FocusEvents(const FocusEvents&) = delete;
    FocusEvents& operator=(const FocusEvents&) = delete;

    // Waits until an element of that name (any, when empty) took the focus since the last wait.
    bool waitForFocusOn(std::string_view name, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The names of the elements that took the focus since the last wait.
    const std::vector<std::string>& focused() const { return focused_; }
    // The same elements with their roles and keys.
    const std::vector<FocusedElement>& focusedElements() const { return elements_; }

private:
    static void received(_AtspiEvent* event, void* self);

    pid_t pid_;
    _AtspiEventListener* listener_;
    std::vector<std::string> focused_;
    std::vector<FocusedElement> elements_;
};

// Records the AT-SPI announcements of a process, from the moment it is made, and
// with `descriptions` the changed descriptions of its focused elements too.
class Announcements {
public:
    explicit Announcements(pid_t pid, bool descriptions = false);
    ~Announcements();
    Announcements(const Announcements&) = delete;
    Announcements& operator=(const Announcements&) = delete;

    // Waits until something containing `text` was said.
    bool waitFor(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Everything said so far, in order.
    const std::vector<std::string>& said() const { return said_; }
    // How many things said contain `text`.
    long count(std::string_view text) const
    {
        return std::ranges::count_if(said_,
                                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }

private:
    static void received(_AtspiEvent* event, void* self);

    pid_t pid_;
    bool descriptions_;
    _AtspiEventListener* listener_;
    std::vector<std::string> said_;
};

} // namespace hb::e2e
