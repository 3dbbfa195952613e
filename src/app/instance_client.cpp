#include "app/instance_client.h"

#include "app/bus_name.h"

#include <gio/gio.h>

#include <cstdio>
#include <string>

namespace hb::app {

int sendToRunningInstance(std::string_view method)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        std::fprintf(stderr, "hintboard: no session bus, so no running Hintboard can be reached (%s)\n",
                     error->message);
        g_error_free(error);
        return 1;
    }
    // Quitting never starts one; the bus waits for a started one to take its name.
    const bool mayStart = method != "Quit";
    constexpr int startTimeoutMs = 25000;
    constexpr int answerTimeoutMs = 5000;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, busName, objectPath, interfaceName, std::string(method).c_str(), nullptr,
                                    nullptr, mayStart ? G_DBUS_CALL_FLAGS_NONE : G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                    mayStart ? startTimeoutMs : answerTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (reply) {
        g_variant_unref(reply);
        return 0;
    }
    // Without auto-start the bus says the name has no owner.
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN)
        || g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)) {
        std::fputs(mayStart ? "hintboard: Hintboard is not running in this session, and the session bus has no "
                              "service file that starts it; start it with `hintboard`\n"
                            : "hintboard: Hintboard is not running in this session\n",
                   stderr);
    } else {
        g_dbus_error_strip_remote_error(error);
        std::fprintf(stderr, "hintboard: the running Hintboard did not answer: %s\n", error->message);
    }
    g_error_free(error);
    return 1;
}

} // namespace hb::app
