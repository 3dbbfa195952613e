#include "accessible_tree.h"

#include <atspi/atspi.h>

#include <functional>
#include <memory>

namespace hb::e2e {
namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

std::string nameOf(AtspiAccessible* element)
{
    gchar* name = atspi_accessible_get_name(element, nullptr);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

bool isShowing(AtspiAccessible* element)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(element);
    const bool showing = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    if (states)
        g_object_unref(states);
    return showing;
}

// Visits the showing elements of the process until `visit` returns true.
bool walk(pid_t pid, const std::function<bool(AtspiAccessible*)>& visit)
{
    atspi_init();
    std::unique_ptr<AtspiAccessible, Unref> desktop(atspi_get_desktop(0));
    const std::function<bool(AtspiAccessible*, int)> descend = [&](AtspiAccessible* element, int depth) {
        if (depth > 40 || !isShowing(element))
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
            std::unique_ptr<AtspiAccessible, Unref> child(atspi_accessible_get_child_at_index(app.get(), window, nullptr));
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

std::optional<std::pair<int, int>> accessibleCentre(pid_t pid, std::string_view name)
{
    std::optional<std::pair<int, int>> centre;
    walk(pid, [&](AtspiAccessible* element) {
        if (nameOf(element) != name)
            return false;
        std::unique_ptr<AtspiComponent, Unref> component(atspi_accessible_get_component_iface(element));
        if (!component)
            return false;
        AtspiRect* extents = atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, nullptr);
        if (extents && extents->width > 0 && extents->height > 0)
            centre = std::pair(extents->x + extents->width / 2, extents->y + extents->height / 2);
        g_free(extents);
        return centre.has_value();
    });
    return centre;
}

} // namespace hb::e2e
