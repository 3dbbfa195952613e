#include "linux/logind_system_wake.h"

#include <gio/gio.h>

namespace hb::linux_platform {

using platform::LogCategory;

LogindSystemWake::LogindSystemWake(platform::MainQueue& mainQueue, platform::Log& log, const std::string& busAddress)
    : mainQueue_(mainQueue), log_(log)
{
    GError* error = nullptr;
    connection_ = busAddress.empty() ? g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error)
                                     : g_dbus_connection_new_for_address_sync(
                                         busAddress.c_str(),
                                         GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                              | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                         nullptr, nullptr, &error);
    if (!connection_) {
        log_.error(LogCategory::hotkey, "No system bus, so no wake notifications: {}",
                   error ? error->message : "unknown error");
        g_clear_error(&error);
        return;
    }
    subscription_ = g_dbus_connection_signal_subscribe(
        connection_, "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer self) {
            if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
                gboolean sleeping = FALSE;
                g_variant_get(parameters, "(b)", &sleeping);
                static_cast<LogindSystemWake*>(self)->preparingForSleep(sleeping);
            }
        },
        this, nullptr);
}

LogindSystemWake::~LogindSystemWake()
{
    if (!connection_)
        return;
    g_dbus_connection_signal_unsubscribe(connection_, subscription_);
    g_object_unref(connection_);
}

platform::SystemWake::ObserverId LogindSystemWake::addWakeObserver(std::function<void()> observer)
{
    return observers_->add([observer = std::move(observer)] { observer(); });
}

void LogindSystemWake::removeWakeObserver(ObserverId id)
{
    observers_->remove(id);
}

void LogindSystemWake::preparingForSleep(bool sleeping)
{
    if (sleeping)
        return;
    log_.info(LogCategory::hotkey, "The system woke from sleep");
    mainQueue_.post([weak = std::weak_ptr<Observers>(observers_)] {
        if (auto observers = weak.lock())
            observers->notify();
    });
}

} // namespace hb::linux_platform
