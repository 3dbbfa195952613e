#pragma once

#include "linux/atspi_connection.h"
#include "linux/atspi_element.h"
#include "linux/atspi_key_binding.h"

#include <atspi/atspi.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hb::linux_platform::atspi {

// Reads of one element, each a request or a few (none when the answer was
// asked for ahead in this read).
class Reads {
public:
    explicit Reads(Connection& connection) : connection_(connection) {}

    // The application object of a process, looked up on first use.
    bool resolve(const Element& element);

    std::optional<AtspiRole> role(const Element& element);
    std::optional<std::string> name(const Element& element);
    // The states, owned by the caller; absent for a defunct object.
    std::optional<AtspiStateSet*> states(const Element& element);
    bool hasState(const Element& element, AtspiStateType state);
    std::optional<int> childCount(const Element& element);
    std::shared_ptr<Element> parent(const Element& element);

    // The application's toolkit ("GTK", "Qt"), asked once per process; empty when unknown.
    std::string toolkit(const Element& element);
    // Qt's menu entries are menu items holding a popup menu; ATK's are menus
    // holding their items themselves.
    bool isQt(const Element& element) { return toolkit(element) == "Qt"; }
    bool isGtk(const Element& element) { return linux_platform::isGtk(toolkit(element)); }
    KeyBindingStyle keyBindingStyle(const Element& element, std::string_view binding);

    // The key binding of the element's first action ("" when it has none).
    std::optional<std::string> keyBinding(const Element& element);
    // The key equivalent of a menu item, read once.
    const std::optional<MenuKeyEquivalent>& key(const Element& element);

private:
    Connection& connection_;
    std::map<pid_t, std::string> toolkits_;
};

} // namespace hb::linux_platform::atspi
