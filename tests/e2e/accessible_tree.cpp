#include "accessible_tree.h"

#include "desktop_session.h"

#include <atspi/atspi.h>

#include <functional>
#include <memory>

namespace hb::e2e {
namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// The text libatspi gave, freed.
std::string taken(gchar* text)
{
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::string nameOf(AtspiAccessible* element)
{
    return taken(atspi_accessible_get_name(element, nullptr));
}

bool hasState(AtspiAccessible* element, AtspiStateType state)
{
    std::unique_ptr<AtspiStateSet, Unref> states(atspi_accessible_get_state_set(element));
    return states && atspi_state_set_contains(states.get(), state);
}

// Runs `each` on the children of `element` until it returns true; whether it did.
bool anyChild(AtspiAccessible* element, const std::function<bool(AtspiAccessible*)>& each)
{
    const int count = element ? atspi_accessible_get_child_count(element, nullptr) : 0;
    for (int index = 0; index < count; ++index) {
        std::unique_ptr<AtspiAccessible, Unref> child(atspi_accessible_get_child_at_index(element, index, nullptr));
        if (child && each(child.get()))
            return true;
    }
    return false;
}

// Visits the showing elements of the process until `visit` returns true.
bool walk(pid_t pid, const std::function<bool(AtspiAccessible*)>& visit)
{
    atspi_init();
    std::unique_ptr<AtspiAccessible, Unref> desktop(atspi_get_desktop(0));
    const std::function<bool(AtspiAccessible*, int)> descend = [&](AtspiAccessible* element, int depth) {
        return depth <= 40 && hasState(element, ATSPI_STATE_SHOWING)
               && (visit(element)
                   || anyChild(element, [&](AtspiAccessible* child) { return descend(child, depth + 1); }));
    };
    return anyChild(desktop.get(), [&](AtspiAccessible* app) {
        return pid_t(atspi_accessible_get_process_id(app, nullptr)) == pid
               && anyChild(app, [&](AtspiAccessible* window) { return descend(window, 0); });
    });
}

} // namespace

std::vector<std::string> accessibleNames(pid_t pid)
{
    std::vector<std::string> names;
    walk(pid, [&](AtspiAccessible* element) {
        if (auto name = nameOf(element); !name.empty())
            names.push_back(std::move(name));
        return false;
    });
    return names;
}

namespace {

std::string roleOf(AtspiAccessible* element)
{
    return taken(atspi_accessible_get_role_name(element, nullptr));
}

AccessibleElement described(AtspiAccessible* element)
{
    AccessibleElement shown{.role = roleOf(element),
                            .name = nameOf(element),
                            .description = taken(atspi_accessible_get_description(element, nullptr))};
    std::unique_ptr<AtspiComponent, Unref> component(atspi_accessible_get_component_iface(element));
    if (AtspiRect* extents =
            component ? atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, nullptr) : nullptr) {
        shown.x = extents->x, shown.y = extents->y, shown.width = extents->width, shown.height = extents->height;
        g_free(extents);
    }
    return shown;
}

} // namespace

std::vector<AccessibleElement> accessibleDescendantsOf(pid_t pid, std::string_view containerRole)
{
    std::vector<AccessibleElement> elements;
    const std::function<bool(AtspiAccessible*, int)> collect = [&](AtspiAccessible* element, int depth) {
        return depth < 4 && anyChild(element, [&](AtspiAccessible* child) {
                   elements.push_back(described(child));
                   return collect(child, depth + 1);
               });
    };
    walk(pid, [&](AtspiAccessible* element) {
        if (roleOf(element) != containerRole)
            return false;
        collect(element, 0);
        return true;
    });
    return elements;
}

std::optional<AccessibleElement> findAccessible(pid_t pid, std::string_view name)
{
    std::optional<AccessibleElement> found;
    walk(pid, [&](AtspiAccessible* element) {
        if (nameOf(element) == name)
            found = described(element);
        return found.has_value();
    });
    return found;
}

bool pressAccessible(pid_t pid, std::string_view name)
{
    bool pressed = false;
    walk(pid, [&](AtspiAccessible* element) {
        if (nameOf(element) != name)
            return false;
        std::unique_ptr<AtspiAction, Unref> action(atspi_accessible_get_action_iface(element));
        pressed = action && atspi_action_do_action(action.get(), 0, nullptr);
        return action != nullptr;
    });
    return pressed;
}

HeardEvents::HeardEvents(pid_t pid, bool focus)
    : pid_(pid), type_(focus ? "object:state-changed:focused" : "object:announcement"),
      listener_(atspi_event_listener_new(&HeardEvents::received, this, nullptr))
{
    atspi_init();
    atspi_event_listener_register(listener_, type_, nullptr);
}

HeardEvents::~HeardEvents()
{
    atspi_event_listener_deregister(listener_, type_, nullptr);
    g_object_unref(listener_);
}

void HeardEvents::received(AtspiEvent* event, void* self)
{
    auto& heard = *static_cast<HeardEvents*>(self);
    if (event->source && pid_t(atspi_accessible_get_process_id(event->source, nullptr)) == heard.pid_) {
        const char* text = G_VALUE_HOLDS_STRING(&event->any_data) ? g_value_get_string(&event->any_data) : nullptr;
        if (std::string_view(event->type) == "object:announcement" && text && *text)
            heard.said_.emplace_back(text);
        else if (std::string_view(event->type).starts_with("object:state-changed:focused") && event->detail1 == 1) {
            std::unique_ptr<AtspiAction, Unref> action(atspi_accessible_get_action_iface(event->source));
            const std::string keys = action ? taken(atspi_action_get_key_binding(action.get(), 0, nullptr)) : "";
            heard.said_.push_back(roleOf(event->source) + ": " + nameOf(event->source) + " [" + keys + "]");
        }
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool HeardEvents::waitFor(std::string_view text, std::chrono::milliseconds timeout)
{
    // The events come on the default main context, dispatched at each poll.
    return DesktopSession::waitUntil(
        [&] {
            while (g_main_context_iteration(nullptr, false)) {}
            return count(text) > 0;
        },
        timeout);
}

} // namespace hb::e2e
