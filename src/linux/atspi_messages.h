#pragma once

#include "linux/atspi_element.h"

#include <atspi/atspi.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The D-Bus requests sent to applications directly, so that many can be in
// flight at once (see Connection::exchange), and the decoding of their
// replies. A request is null when the element's application is gone; a reply
// is null when none came.
namespace hb::linux_platform::atspi {

DBusMessage* methodCall(const Element& element, const char* interface, const char* method,
                        const char* argument = nullptr);
DBusMessage* extentsRequest(const Element& element);
// A property of the Accessible interface.
DBusMessage* propertyRead(const Element& element, const char* property);
DBusMessage* keyBindingRequest(const Element& element);
// The children with the role of a menu, through the Collection interface
// (ATK has it on every object, Qt on none).
DBusMessage* menusRequest(const Element& element);

bool isReturn(DBusMessage* reply);
bool isUnknownMethod(DBusMessage* reply);

struct AccessibleProperties {
    std::optional<std::string> name;
    std::optional<int> childCount;
};
// The title and child count among all the properties of an object (a{sv}).
AccessibleProperties accessibleProperties(DBusMessage* reply);

struct Reference {
    const char* name;
    const char* path;
};
// The object references of a reply (a(so)), in order; valid while the reply is.
std::vector<Reference> references(DBusMessage* reply);
// The objects of a children list, in order.
std::vector<AtspiAccessible*> objectsOf(DBusMessage* reply);
// The width and height of an extents reply ((iiii)).
std::optional<std::pair<int, int>> sizeOf(DBusMessage* reply);
// The text or number in the variant a property read answers with (Value is
// std::string or int).
template <typename Value>
std::optional<Value> variant(DBusMessage* reply);

} // namespace hb::linux_platform::atspi
