#pragma once

#include "linux/atspi_key_binding.h"
#include "platform/accessibility.h"

#include <atspi/atspi.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The elements the AT-SPI layer hands out, and what its pieces share to handle
// libatspi's objects.
namespace hb::linux_platform::atspi {

// libatspi keeps global state and is not thread-safe: every use holds this
// lock. Recursive because elements release their object under it too.
inline std::recursive_mutex& atspiLock()
{
    static std::recursive_mutex lock;
    return lock;
}

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, Unref>;
template <typename T>
GObjectPtr<T> adopt(T* object)
{
    return GObjectPtr<T>(object);
}
struct Free {
    void operator()(gchar* text) const { g_free(text); }
};
using Text = std::unique_ptr<gchar, Free>;

// How an element presents itself.
enum class Presentation {
    application, // the application; its object is looked up by process id on first use
    object,      // an object as the toolkit shows it
    item,        // an entry of a menu bar or menu
    menuItems,   // a GTK menu, which holds its items itself, as the submenu of its own item
};

class Element final : public platform::AccessibleElement {
public:
    Element(pid_t pid, AtspiAccessible* accessible, Presentation presentation)
        : pid(pid), accessible(accessible), presentation(presentation)
    {}
    ~Element() override
    {
        if (accessible) {
            std::lock_guard lock(atspiLock());
            g_object_unref(accessible);
        }
    }

    const pid_t pid;
    // Guarded by atspiLock(), like everything below.
    mutable AtspiAccessible* accessible; // owned; null for an application not found yet
    const Presentation presentation;

    // Read once per element: roles do not change, and one key binding serves
    // the four key-equivalent attributes.
    mutable std::optional<AtspiRole> role;
    mutable std::optional<std::optional<MenuKeyEquivalent>> key;
    mutable std::optional<std::string> lastTitle; // the title most recently read
    // Answers asked for ahead, with the siblings or the whole submenu, during
    // the read `prefetchedIn`. The title, binding and children each serve one
    // read of their attribute in that read; the child count serves the read.
    mutable std::uint64_t prefetchedIn = 0;
    mutable std::optional<std::string> prefetchedTitle;
    mutable std::optional<std::string> prefetchedBinding;
    mutable std::optional<int> prefetchedChildCount;
    mutable std::optional<std::vector<std::shared_ptr<Element>>> prefetchedChildren;
    mutable bool hidden = false;              // a menu item the toolkit lists but does not show
    mutable std::optional<bool> listedAsMenu; // an ATK item listed with the menus among its siblings
};

inline std::shared_ptr<Element> wrap(pid_t pid, AtspiAccessible* object, Presentation presentation)
{
    return std::make_shared<Element>(pid, object, presentation);
}

inline std::string trimmed(const char* text)
{
    std::string_view view(text ? text : "");
    constexpr std::string_view space = " \t\r\n";
    const auto first = view.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    const auto last = view.find_last_not_of(space);
    return std::string(view.substr(first, last - first + 1));
}

} // namespace hb::linux_platform::atspi
