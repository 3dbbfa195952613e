#include "bus_service.h"

#include <gio/gio.h>

#include <cstdlib>

namespace hb::e2e {

BusService::BusService(std::string name, std::string path, std::string xml, Handler onCall)
    : name_(std::move(name)), path_(std::move(path)), xml_(std::move(xml)), onCall_(std::move(onCall)),
      thread_([this] { serve(); },
              [this] {
                  if (bus_)
                      g_dbus_connection_close_sync(bus_, nullptr, nullptr);
                  g_clear_object(&bus_);
              })
{
    thread_.invokeAndWait([] {});
}

void BusService::serve()
{
    bus_ =
        g_dbus_connection_new_for_address_sync(std::getenv("DBUS_SESSION_BUS_ADDRESS"),
                                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                                    | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                               nullptr, nullptr, nullptr);
    if (!bus_)
        return;
    if (!xml_.empty()) {
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml_.c_str(), nullptr);
        static const GDBusInterfaceVTable vtable{
            [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
               GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
                g_dbus_method_invocation_return_value(
                    invocation, static_cast<BusService*>(self)->onCall_(sender, method, parameters));
            },
            [](GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* property, GError**,
               gpointer self) {
                return static_cast<BusService*>(self)->onCall_(sender, std::string("Get ") + property, nullptr);
            },
            nullptr,
            {}};
        g_dbus_connection_register_object(bus_, path_.c_str(), node->interfaces[0], &vtable, this, nullptr, nullptr);
        g_dbus_node_info_unref(node);
    }
    if (GVariant* reply =
            g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                        "RequestName", g_variant_new("(su)", name_.c_str(), 4u), G_VARIANT_TYPE("(u)"),
                                        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr)) {
        guint32 result = 0;
        g_variant_get(reply, "(u)", &result);
        owned_ = result == 1;
        g_variant_unref(reply);
    }
}

void BusService::emit(const std::string& interface, const std::string& member, GVariant* parameters,
                      const std::string& from)
{
    // A connection sends from any thread, in the order of the calls.
    g_dbus_connection_emit_signal(bus_, nullptr, (from.empty() ? path_ : from).c_str(), interface.c_str(),
                                  member.c_str(), parameters, nullptr);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
}

void BusService::leave()
{
    thread_.invoke([this] { g_dbus_connection_close_sync(bus_, nullptr, nullptr); });
}

} // namespace hb::e2e
