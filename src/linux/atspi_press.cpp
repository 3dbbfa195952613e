#include "linux/atspi_press.h"

#include <string_view>

namespace hb::linux_platform::atspi {

bool press(Connection& connection, const Element& element)
{
    auto pressed = connection.request(element.pid, [&] {
        auto action = adopt(atspi_accessible_get_action_iface(element.accessible));
        if (!action)
            return false;
        GError* error = nullptr;
        const int count = atspi_action_get_n_actions(action.get(), &error);
        if (error || count <= 0) {
            g_clear_error(&error);
            return false;
        }
        int index = 0;
        for (int i = 0; i < count; ++i) {
            Text name(atspi_action_get_action_name(action.get(), i, nullptr));
            const std::string_view actionName(name ? name.get() : "");
            if (actionName == "click" || actionName == "activate" || actionName == "Press" || actionName == "press") {
                index = i;
                break;
            }
        }
        const bool done = atspi_action_do_action(action.get(), index, &error);
        const bool failed = error != nullptr;
        g_clear_error(&error);
        return done && !failed;
    });
    return pressed.value_or(false);
}

} // namespace hb::linux_platform::atspi
