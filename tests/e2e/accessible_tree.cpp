#include "accessible_tree.h"

#include <atspi/atspi.h>

#include <algorithm>
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
    AtspiStateSet* states = atspi_accessible_get_state_set(element);
    const bool has = states && atspi_state_set_contains(states, state);
    if (states)
        g_object_unref(states);
    return has;
}

// Runs the main context until `condition` holds, waking up at least every 50 ms, or `timeout` passes.
bool waitForEvents(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        GSource* tick = g_timeout_source_new(50);
        g_source_set_callback(
            tick, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(tick, nullptr);
        g_main_context_iteration(nullptr, true);
        g_source_destroy(tick);
        g_source_unref(tick);
    }
    return true;
}

// Visits the showing elements of the process until `visit` returns true.
bool walk(pid_t pid, const std::function<bool(AtspiAccessible*)>& visit)
{
    atspi_init();
    std::unique_ptr<AtspiAccessible, Unref> desktop(atspi_get_desktop(0));
    const std::function<bool(AtspiAccessible*, int)> descend = [&](AtspiAccessible* element, int depth) {
        if (depth > 40 || !hasState(element, ATSPI_STATE_SHOWING))
            return false;
        if (visit(element))
            return true;
        const int count = atspi_accessible_get_child_count(element, nullptr);
        for (int index = 0; index < count; ++index) {
            std::unique_ptr<AtspiAccessible, Unref> child(atspi_accessible_get_child_at_index(element, index, nullptr));
            if (child && descend(child.get(), depth + 1))
                return true;
        }
        return false;
    };
    const int count = desktop ? atspi_accessible_get_child_count(desktop.get(), nullptr) : 0;
    for (int index = 0; index < count; ++index) {
        std::unique_ptr<AtspiAccessible, Unref> app(atspi_accessible_get_child_at_index(desktop.get(), index, nullptr));
        if (!app || pid_t(atspi_accessible_get_process_id(app.get(), nullptr)) != pid)
            continue;
        const int windows = atspi_accessible_get_child_count(app.get(), nullptr);
        for (int window = 0; window < windows; ++window) {
            std::unique_ptr<AtspiAccessible, Unref> child(
                atspi_accessible_get_child_at_index(app.get(), window, nullptr));
            if (child && descend(child.get(), 0))
                return true;
        }
    }
    return false;
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
    if (AtspiComponent* component = atspi_accessible_get_component_iface(element)) {
        if (AtspiRect* extents = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
            shown.x = extents->x, shown.y = extents->y, shown.width = extents->width, shown.height = extents->height;
            g_free(extents);
        }
        g_object_unref(component);
    }
    return shown;
}

} // namespace

std::vector<AccessibleElement> accessibleDescendantsOf(pid_t pid, std::string_view containerRole)
{
    std::vector<AccessibleElement> elements;
    const std::function<void(AtspiAccessible*, int)> collect = [&](AtspiAccessible* element, int depth) {
        const int count = atspi_accessible_get_child_count(element, nullptr);
        for (int index = 0; index < count && depth < 4; ++index) {
            std::unique_ptr<AtspiAccessible, Unref> child(atspi_accessible_get_child_at_index(element, index, nullptr));
            if (!child)
                continue;
            elements.push_back(described(child.get()));
            collect(child.get(), depth + 1);
        }
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
        AtspiAction* action = atspi_accessible_get_action_iface(element);
        if (!action)
            return false;
        pressed = atspi_action_do_action(action, 0, nullptr);
        g_object_unref(action);
        return true;
    });
    return pressed;
}

FocusEvents::FocusEvents(pid_t pid)
    : pid_(pid), listener_(atspi_event_listener_new(&FocusEvents::received, this, nullptr))
{
    atspi_init();
    atspi_event_listener_register(listener_, "object:state-changed:focused", nullptr);
}

FocusEvents::~FocusEvents()
{
    atspi_event_listener_deregister(listener_, "object:state-changed:focused", nullptr);
    g_object_unref(listener_);
}

void FocusEvents::received(AtspiEvent* event, void* self)
{
    auto& events = *static_cast<FocusEvents*>(self);
    if (event->detail1 == 1 && event->source
        && pid_t(atspi_accessible_get_process_id(event->source, nullptr)) == events.pid_) {
        events.focused_.push_back(nameOf(event->source));
        FocusedElement focused{.role = roleOf(event->source), .name = events.focused_.back()};
        if (AtspiAction* action = atspi_accessible_get_action_iface(event->source)) {
            focused.keys = taken(atspi_action_get_key_binding(action, 0, nullptr));
            g_object_unref(action);
        }
        events.elements_.push_back(std::move(focused));
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool FocusEvents::waitForFocusOn(std::string_view name, std::chrono::milliseconds timeout)
{
    focused_.clear();
    elements_.clear();
    return waitForEvents(
        [&] { return name.empty() ? !focused_.empty() : std::ranges::find(focused_, name) != focused_.end(); },
        timeout);
}

constexpr const char* descriptionChange = "object:property-change:accessible-description";

Announcements::Announcements(pid_t pid, bool descriptions)
    : pid_(pid), descriptions_(descriptions),
      listener_(atspi_event_listener_new(&Announcements::received, this, nullptr))
{
    atspi_init();
    atspi_event_listener_register(listener_, "object:announcement", nullptr);
    if (descriptions_)
        atspi_event_listener_register(listener_, descriptionChange, nullptr);
}

Announcements::~Announcements()
{
    atspi_event_listener_deregister(listener_, "object:announcement", nullptr);
    if (descriptions_)
        atspi_event_listener_deregister(listener_, descriptionChange, nullptr);
    g_object_unref(listener_);
}

void Announcements::received(AtspiEvent* event, void* self)
{
    auto& announcements = *static_cast<Announcements*>(self);
    const bool heard = !std::string_view(event->type).starts_with("object:property-change")
                       || (event->source && hasState(event->source, ATSPI_STATE_FOCUSED));
    if (heard && event->source && pid_t(atspi_accessible_get_process_id(event->source, nullptr)) == announcements.pid_
        && G_VALUE_HOLDS_STRING(&event->any_data))
        if (const char* text = g_value_get_string(&event->any_data); text && *text)
            announcements.said_.emplace_back(text);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool Announcements::waitFor(std::string_view text, std::chrono::milliseconds timeout)
{
    return waitForEvents([&] { return count(text) > 0; }, timeout);
}

} // namespace hb::e2e
