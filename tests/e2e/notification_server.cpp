#include "notification_server.h"

#include "desktop_session.h"

#include <gio/gio.h>

namespace hb::e2e {
namespace {

constexpr char introspection[] = R"(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
  </interface>
</node>)";

} // namespace

NotificationServer::NotificationServer() : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE))
{
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
        static const GDBusInterfaceVTable vtable{
            .method_call = [](GDBusConnection*, const char*, const char*, const char*, const char*,
                              GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
                const char *application = nullptr, *icon = nullptr, *title = nullptr, *text = nullptr;
                guint32 replaces = 0;
                g_variant_get_child(parameters, 0, "&s", &application);
                g_variant_get_child(parameters, 1, "u", &replaces);
                g_variant_get_child(parameters, 2, "&s", &icon);
                g_variant_get_child(parameters, 3, "&s", &title);
                g_variant_get_child(parameters, 4, "&s", &text);
                auto* server = static_cast<NotificationServer*>(self);
                guint32 id = 0;
                {
                    const std::lock_guard lock(server->mutex_);
                    server->received_.push_back({application, title, text});
                    id = static_cast<guint32>(server->received_.size());
                }
                g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
            },
        };
        const guint object = bus ? g_dbus_connection_register_object(bus, "/org/freedesktop/Notifications",
                                                                      node->interfaces[0], &vtable, this, nullptr,
                                                                      nullptr)
                                 : 0;
        const guint name =
            bus ? g_bus_own_name_on_connection(
                      bus, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                      [](GDBusConnection*, const char*, gpointer self) {
                          auto* server = static_cast<NotificationServer*>(self);
                          const std::lock_guard lock(server->mutex_);
                          server->owned_ = server->settled_ = true;
                      },
                      [](GDBusConnection*, const char*, gpointer self) {
                          auto* server = static_cast<NotificationServer*>(self);
                          const std::lock_guard lock(server->mutex_);
                          server->settled_ = true;
                      },
                      this, nullptr)
                : 0;
        g_main_loop_run(loop_);
        if (name)
            g_bus_unown_name(name);
        if (object)
            g_dbus_connection_unregister_object(bus, object);
        if (bus) {
            g_dbus_connection_flush_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        g_dbus_node_info_unref(node);
        g_main_context_pop_thread_default(context_);
    });
    DesktopSession::waitUntil([this] {
        const std::lock_guard lock(mutex_);
        return settled_;
    });
}

NotificationServer::~NotificationServer()
{
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

bool NotificationServer::owned() const
{
    const std::lock_guard lock(mutex_);
    return owned_;
}

std::vector<NotificationServer::Notification> NotificationServer::received() const
{
    const std::lock_guard lock(mutex_);
    return received_;
}

} // namespace hb::e2e
