#include "linux/atspi_messages.h"

#include <array>
#include <type_traits>

// libatspi makes its objects from the (bus name, path) references in replies
// with this function; it is exported, but not declared in the public headers.
extern "C" AtspiAccessible* _atspi_ref_accessible(const char* app, const char* path);

namespace hb::linux_platform::atspi {

DBusMessage* methodCall(const Element& element, const char* interface, const char* method, const char* argument)
{
    const AtspiObject& object = element.accessible->parent;
    // libatspi lets go of the application of its objects when it quits.
    if (!object.app || !object.app->bus_name || !object.path)
        return nullptr;
    DBusMessage* message = dbus_message_new_method_call(object.app->bus_name, object.path, interface, method);
    if (message && argument)
        dbus_message_append_args(message, DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID);
    return message;
}

DBusMessage* extentsRequest(const Element& element)
{
    DBusMessage* message = methodCall(element, "org.a11y.atspi.Component", "GetExtents");
    const dbus_uint32_t screen = ATSPI_COORD_TYPE_SCREEN;
    if (message)
        dbus_message_append_args(message, DBUS_TYPE_UINT32, &screen, DBUS_TYPE_INVALID);
    return message;
}

bool isReturn(DBusMessage* reply)
{
    return reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
}

AccessibleProperties accessibleProperties(DBusMessage* reply)
{
    AccessibleProperties properties;
    DBusMessageIter all, entry;
    if (!isReturn(reply) || !dbus_message_iter_init(reply, &all)
        || dbus_message_iter_get_arg_type(&all) != DBUS_TYPE_ARRAY)
        return properties;
    dbus_message_iter_recurse(&all, &entry);
    for (; dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&entry)) {
        DBusMessageIter field, value;
        const char* key = nullptr;
        dbus_message_iter_recurse(&entry, &field);
        if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_STRING)
            continue;
        dbus_message_iter_get_basic(&field, &key);
        if (!dbus_message_iter_next(&field) || dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_VARIANT)
            continue;
        dbus_message_iter_recurse(&field, &value);
        const std::string_view name(key);
        if (name == "Name" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_STRING) {
            const char* text = nullptr;
            dbus_message_iter_get_basic(&value, &text);
            properties.name = std::string(text ? text : "");
        } else if (name == "ChildCount" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_INT32) {
            dbus_int32_t count = 0;
            dbus_message_iter_get_basic(&value, &count);
            properties.childCount = count;
        }
    }
    return properties;
}

DBusMessage* propertyRead(const Element& element, const char* property)
{
    DBusMessage* message = methodCall(element, "org.freedesktop.DBus.Properties", "Get");
    const char* interface = "org.a11y.atspi.Accessible";
    if (message)
        dbus_message_append_args(message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
    return message;
}

DBusMessage* keyBindingRequest(const Element& element)
{
    DBusMessage* message = methodCall(element, "org.a11y.atspi.Action", "GetKeyBinding");
    const dbus_int32_t firstAction = 0;
    if (message)
        dbus_message_append_args(message, DBUS_TYPE_INT32, &firstAction, DBUS_TYPE_INVALID);
    return message;
}

// Arguments: match rule (aiia{ss}iaiiasib), sort order, count, traverse.
DBusMessage* menusRequest(const Element& element)
{
    DBusMessage* message = methodCall(element, "org.a11y.atspi.Collection", "GetMatches");
    if (!message)
        return nullptr;
    const dbus_int32_t none = ATSPI_Collection_MATCH_NONE;
    const dbus_int32_t any = ATSPI_Collection_MATCH_ANY;
    const dbus_uint32_t order = ATSPI_Collection_SORT_ORDER_CANONICAL;
    const dbus_int32_t count = 0;
    const dbus_bool_t no = FALSE;
    const std::array<dbus_int32_t, 2> states{};
    std::array<dbus_int32_t, 4> roles{};
    roles[ATSPI_ROLE_MENU / 32] |= 1 << (ATSPI_ROLE_MENU % 32);
    DBusMessageIter arguments, rule, array;
    auto appendInts = [&](auto& values) {
        dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &array);
        for (const dbus_int32_t& value : values)
            dbus_message_iter_append_basic(&array, DBUS_TYPE_INT32, &value);
        dbus_message_iter_close_container(&rule, &array);
    };
    dbus_message_iter_init_append(message, &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_STRUCT, nullptr, &rule);
    appendInts(states);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &none);
    dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "{ss}", &array);
    dbus_message_iter_close_container(&rule, &array);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &none);
    appendInts(roles);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &any);
    dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "s", &array);
    dbus_message_iter_close_container(&rule, &array);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &none);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_BOOLEAN, &no);
    dbus_message_iter_close_container(&arguments, &rule);
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_UINT32, &order);
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_INT32, &count);
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_BOOLEAN, &no);
    return message;
}

std::vector<Reference> references(DBusMessage* reply)
{
    std::vector<Reference> references;
    DBusMessageIter list;
    DBusMessageIter reference;
    if (!isReturn(reply) || !dbus_message_iter_init(reply, &list)
        || dbus_message_iter_get_arg_type(&list) != DBUS_TYPE_ARRAY)
        return references;
    dbus_message_iter_recurse(&list, &reference);
    for (; dbus_message_iter_get_arg_type(&reference) == DBUS_TYPE_STRUCT; dbus_message_iter_next(&reference)) {
        DBusMessageIter fields;
        Reference found{};
        dbus_message_iter_recurse(&reference, &fields);
        if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING)
            continue;
        dbus_message_iter_get_basic(&fields, &found.name);
        if (!dbus_message_iter_next(&fields) || dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_OBJECT_PATH)
            continue;
        dbus_message_iter_get_basic(&fields, &found.path);
        if (std::string_view(found.path) != "/org/a11y/atspi/null")
            references.push_back(found);
    }
    return references;
}

std::vector<AtspiAccessible*> objectsOf(DBusMessage* reply)
{
    std::vector<AtspiAccessible*> objects;
    for (const auto& reference : references(reply))
        if (auto* object = _atspi_ref_accessible(reference.name, reference.path))
            objects.push_back(object);
    return objects;
}

std::optional<std::pair<int, int>> sizeOf(DBusMessage* reply)
{
    DBusMessageIter iterator, rect;
    if (!isReturn(reply) || !dbus_message_iter_init(reply, &iterator)
        || dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_STRUCT)
        return std::nullopt;
    dbus_message_iter_recurse(&iterator, &rect);
    std::array<dbus_int32_t, 4> fields{};
    for (auto& field : fields) {
        if (dbus_message_iter_get_arg_type(&rect) != DBUS_TYPE_INT32)
            return std::nullopt;
        dbus_message_iter_get_basic(&rect, &field);
        dbus_message_iter_next(&rect);
    }
    return std::pair{fields[2], fields[3]};
}

bool isUnknownMethod(DBusMessage* reply)
{
    return reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR
           && std::string_view(dbus_message_get_error_name(reply)) == DBUS_ERROR_UNKNOWN_METHOD;
}

template <typename Value>
std::optional<Value> variant(DBusMessage* reply)
{
    constexpr int type = std::is_same_v<Value, int> ? DBUS_TYPE_INT32 : DBUS_TYPE_STRING;
    DBusMessageIter iterator;
    DBusMessageIter variant;
    if (!isReturn(reply) || !dbus_message_iter_init(reply, &iterator)
        || dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_VARIANT)
        return std::nullopt;
    dbus_message_iter_recurse(&iterator, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != type)
        return std::nullopt;
    if constexpr (std::is_same_v<Value, int>) {
        dbus_int32_t number = 0;
        dbus_message_iter_get_basic(&variant, &number);
        return number;
    } else {
        const char* text = nullptr;
        dbus_message_iter_get_basic(&variant, &text);
        return std::string(text ? text : "");
    }
}

template std::optional<int> variant<int>(DBusMessage* reply);
template std::optional<std::string> variant<std::string>(DBusMessage* reply);

} // namespace hb::linux_platform::atspi
