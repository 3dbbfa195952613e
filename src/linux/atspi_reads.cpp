#include "linux/atspi_reads.h"

namespace hb::linux_platform::atspi {

std::optional<AtspiRole> Reads::role(const Element& element)
{
    if (!element.role) {
        auto role =
            connection_.request(element.pid, [&] { return atspi_accessible_get_role(element.accessible, nullptr); });
        if (!role || *role == ATSPI_ROLE_INVALID)
            return std::nullopt;
        element.role = *role;
    }
    return element.role;
}

std::optional<std::string> Reads::name(const Element& element)
{
    if (auto title = connection_.takePrefetched(element, element.prefetchedTitle))
        return title;
    auto name = connection_.request(element.pid, [&] {
        GError* error = nullptr;
        Text text(atspi_accessible_get_name(element.accessible, &error));
        const bool failed = error != nullptr || !text;
        g_clear_error(&error);
        return failed ? std::nullopt : std::optional(trimmed(text.get()));
    });
    return name ? *name : std::nullopt;
}

std::optional<AtspiStateSet*> Reads::states(const Element& element)
{
    auto states = connection_.request(element.pid, [&] { return atspi_accessible_get_state_set(element.accessible); });
    if (!states || !*states)
        return std::nullopt;
    if (atspi_state_set_contains(*states, ATSPI_STATE_DEFUNCT)) {
        g_object_unref(*states);
        return std::nullopt;
    }
    return *states;
}

bool Reads::hasState(const Element& element, AtspiStateType state)
{
    auto set = states(element);
    if (!set)
        return false;
    const bool contains = atspi_state_set_contains(*set, state);
    g_object_unref(*set);
    return contains;
}

std::optional<int> Reads::childCount(const Element& element)
{
    if (element.prefetchedIn == connection_.readNumber() && element.prefetchedChildCount)
        return element.prefetchedChildCount;
    return connection_.request(element.pid,
                               [&] { return atspi_accessible_get_child_count(element.accessible, nullptr); });
}

bool Reads::resolve(const Element& element)
{
    if (element.accessible)
        return true;
    if (element.presentation != Presentation::application)
        return false;
    auto desktop = adopt(atspi_get_desktop(0));
    if (!desktop)
        return false;
    const int count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (int i = 0; i < count; ++i) {
        auto application = adopt(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
        if (!application)
            continue;
        GError* error = nullptr;
        const auto pid = atspi_accessible_get_process_id(application.get(), &error);
        const bool failed = error != nullptr;
        g_clear_error(&error);
        if (!failed && static_cast<pid_t>(pid) == element.pid) {
            element.accessible = application.release();
            return true;
        }
    }
    return false;
}

std::string Reads::toolkit(const Element& element)
{
    auto found = toolkits_.find(element.pid);
    if (found != toolkits_.end())
        return found->second;
    auto toolkit = connection_.request(element.pid, [&] {
        auto nameOf = [](AtspiAccessible* object) {
            GError* error = nullptr;
            Text name(atspi_accessible_get_toolkit_name(object, &error));
            g_clear_error(&error);
            return std::string(name ? name.get() : "");
        };
        // Qt answers only on the application object.
        auto name = nameOf(element.accessible);
        if (name.empty())
            if (auto application = adopt(atspi_accessible_get_application(element.accessible, nullptr)))
                name = nameOf(application.get());
        return name;
    });
    if (!toolkit)
        return {};
    return toolkits_.emplace(element.pid, *toolkit).first->second;
}

KeyBindingStyle Reads::keyBindingStyle(const Element& element, std::string_view binding)
{
    return linux_platform::keyBindingStyle(toolkit(element), binding);
}

std::optional<std::string> Reads::keyBinding(const Element& element)
{
    if (auto binding = connection_.takePrefetched(element, element.prefetchedBinding))
        return binding;
    auto binding = connection_.request(element.pid, [&]() -> std::optional<std::string> {
        auto action = adopt(atspi_accessible_get_action_iface(element.accessible));
        if (!action)
            return std::string();
        GError* error = nullptr;
        Text text(atspi_action_get_key_binding(action.get(), 0, &error));
        const bool failed = error != nullptr;
        g_clear_error(&error);
        if (failed)
            return std::string(); // no action at index 0 (GTK drops the actions of disabled items)
        return std::string(text ? text.get() : "");
    });
    return binding ? *binding : std::nullopt;
}

const std::optional<MenuKeyEquivalent>& Reads::key(const Element& element)
{
    if (element.key)
        return *element.key;
    auto binding = keyBinding(element);
    if (!binding)
        return *(element.key = std::optional<MenuKeyEquivalent>());
    const auto style = keyBindingStyle(element, *binding);
    if (!element.lastTitle)
        element.lastTitle = name(element);
    const std::string title = element.lastTitle.value_or("");
    auto asShortcut = parseKeyBinding(*binding, style, title, false);
    // Only a Qt mnemonic depends on whether the item opens a submenu: ask only then.
    if (asShortcut && asShortcut != parseKeyBinding(*binding, style, title, true)) {
        auto count = childCount(element);
        if (count && *count > 0)
            asShortcut.reset();
    }
    return *(element.key = asShortcut);
}

std::shared_ptr<Element> Reads::parent(const Element& element)
{
    auto parent = connection_.request(element.pid, [&] {
        GError* error = nullptr;
        AtspiAccessible* object = atspi_accessible_get_parent(element.accessible, &error);
        g_clear_error(&error);
        return object;
    });
    if (!parent || !*parent)
        return nullptr;
    return wrap(element.pid, *parent, Presentation::object);
}

} // namespace hb::linux_platform::atspi
