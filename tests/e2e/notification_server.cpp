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

NotificationServer::NotificationServer()
    : thread_(std::make_unique<linux_platform::GlibLoopThread>([this] { serve(); }, [this] { stop(); }))
{
    DesktopSession::waitUntil([this] {
        const std::lock_guard lock(mutex_);
        return settled_;
    });
}

NotificationServer::~NotificationServer() = default;

void NotificationServer::serve()
{
    bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus_) {
        const std::lock_guard lock(mutex_);
        settled_ = true;
        return;
    }
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
    static const GDBusInterfaceVTable vtable{
        .method_call = [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                          GDBusMethodInvocation* invocation, gpointer self) {
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
    object_ = g_dbus_connection_register_object(bus_, "/org/freedesktop/Notifications", node->interfaces[0], &vtable,
                                                this, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    // Settled once the bus has answered, whether the name was given or not.
    static constexpr auto settled = [](gpointer self, bool owned) {
        auto* server = static_cast<NotificationServer*>(self);
        const std::lock_guard lock(server->mutex_);
        server->owned_ = owned;
        server->settled_ = true;
    };
    static constexpr auto acquired = [](GDBusConnection*, const char*, gpointer self) { settled(self, true); };
    static constexpr auto lost = [](GDBusConnection*, const char*, gpointer self) { settled(self, false); };
    name_ = g_bus_own_name_on_connection(bus_, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                         acquired, lost, this, nullptr);
}

void NotificationServer::stop()
{
    if (!bus_)
        return;
    if (name_)
        g_bus_unown_name(name_);
    if (object_)
        g_dbus_connection_unregister_object(bus_, object_);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
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
