#include "linux/atspi_switch.h"

#include <gio/gio.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace hb::linux_platform {
namespace {

constexpr const char* service = "org.a11y.Bus";
constexpr const char* objectPath = "/org/a11y/bus";

// The session bus address, without GIO's fallback of launching a new bus.
std::optional<std::string> sessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return std::string(address);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const auto socket = std::filesystem::path(runtime) / "bus";
        std::error_code error;
        if (std::filesystem::exists(socket, error))
            return "unix:path=" + socket.string();
    }
    return std::nullopt;
}

struct VariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

} // namespace

AccessibilitySwitch::AccessibilitySwitch(std::chrono::milliseconds timeout) : timeout_(timeout) {}

AccessibilitySwitch::~AccessibilitySwitch()
{
    if (connection_)
        g_object_unref(connection_);
}

GDBusConnection* AccessibilitySwitch::connection()
{
    if (connection_ && g_dbus_connection_is_closed(connection_)) {
        g_object_unref(connection_);
        connection_ = nullptr;
    }
    if (connection_)
        return connection_;
    auto address = sessionBusAddress();
    if (!address)
        return nullptr;
    const auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                         | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    connection_ = g_dbus_connection_new_for_address_sync(address->c_str(), flags, nullptr, nullptr, nullptr);
    if (connection_)
        g_dbus_connection_set_exit_on_close(connection_, FALSE);
    return connection_;
}

bool AccessibilitySwitch::busAnswers()
{
    auto* bus = connection();
    if (!bus)
        return false;
    Variant reply(g_dbus_connection_call_sync(bus, service, objectPath, "org.a11y.Bus", "GetAddress", nullptr,
                                              G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
                                              static_cast<int>(timeout_.count()), nullptr, nullptr));
    return reply != nullptr;
}

std::optional<bool> AccessibilitySwitch::isEnabled()
{
    auto* bus = connection();
    if (!bus)
        return std::nullopt;
    Variant reply(g_dbus_connection_call_sync(bus, service, objectPath, "org.freedesktop.DBus.Properties", "Get",
                                              g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"),
                                              G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
                                              static_cast<int>(timeout_.count()), nullptr, nullptr));
    if (!reply)
        return std::nullopt;
    GVariant* boxed = nullptr;
    g_variant_get(reply.get(), "(v)", &boxed);
    Variant value(boxed);
    if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN))
        return std::nullopt;
    return g_variant_get_boolean(value.get()) != FALSE;
}

bool AccessibilitySwitch::enable()
{
    auto* bus = connection();
    if (!bus)
        return false;
    Variant reply(g_dbus_connection_call_sync(
        bus, service, objectPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, static_cast<int>(timeout_.count()), nullptr, nullptr));
    return reply != nullptr;
}

} // namespace hb::linux_platform
