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

// Records what AT-SPI tells of a process from the moment it is made, as a
// screen reader hears it: its announcements, or with `focus` the elements that
// take the focus, each as "role: name [keys]".
class HeardEvents {
public:
    explicit HeardEvents(pid_t pid, bool focus = false);
    ~HeardEvents();
    HeardEvents(const HeardEvents&) = delete;
    HeardEvents& operator=(const HeardEvents&) = delete;

    // Waits until something containing `text` was heard.
    bool waitFor(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Everything heard so far, in order.
    const std::vector<std::string>& said() const { return said_; }
    // How many things heard contain `text`.
    long count(std::string_view text) const
    {
        return std::ranges::count_if(said_,
                                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }

private:
    static void received(_AtspiEvent* event, void* self);

    pid_t pid_;
    const char* type_;
    _AtspiEventListener* listener_;
    std::vector<std::string> said_;
};

} // namespace hb::e2e
