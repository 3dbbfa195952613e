#include "linux/atspi_workspace.h"

#include "linux/application_identity.h"
#include "linux/glib_loop_thread.h"

#include <gio/gio.h>

#include <set>

namespace hb::linux_platform {

using platform::LogCategory;
using platform::RunningApplication;

namespace {

// How long one call waits for an answer; an application that does not answer
// in time is left out.
constexpr int callTimeoutMs = 500;
// How long after the last window event the front application is decided.
constexpr unsigned settleDelayMs = 50;
constexpr const char* registryName = "org.a11y.atspi.Registry";
constexpr const char* rootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* accessibleInterface = "org.a11y.atspi.Accessible";
// ATSPI_STATE_ACTIVE: bit 1 of the first word of a state set.
constexpr std::uint32_t activeStateBit = 1u << 1;

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

GDBusConnection* connectTo(const std::string& address, GError** error)
{
    return g_dbus_connection_new_for_address_sync(
        address.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                             | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, error);
}

// The accessibility bus's address from org.a11y.Bus on the session bus, over a
// connection of its own; empty when there is none.
std::string accessibilityBusAddress(std::string& problem)
{
    GError* error = nullptr;
    gchar* sessionAddress = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GDBusConnection* session = sessionAddress ? connectTo(sessionAddress, &error) : nullptr;
    g_free(sessionAddress);
    std::string address;
    if (session) {
        GVariant* reply =
            g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
                                        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, &error);
        if (reply) {
            const gchar* text = nullptr;
            g_variant_get(reply, "(&s)", &text);
            address = text;
            g_variant_unref(reply);
        }
        g_dbus_connection_close_sync(session, nullptr, nullptr);
        g_object_unref(session);
    }
    if (error) {
        problem = error->message;
        g_error_free(error);
    }
    return address;
}

} // namespace

AtspiWorkspace::AtspiWorkspace(platform::MainQueue& mainQueue, platform::Log& log, std::string busAddress)
    : mainQueue_(mainQueue), log_(log), busAddress_(std::move(busAddress)), observers_(std::make_shared<Observers>())
{
    thread_ = std::make_unique<GlibLoopThread>([this] { start(); }, [this] { stop(); });
}

AtspiWorkspace::~AtspiWorkspace()
{
    thread_.reset();
}

bool AtspiWorkspace::waitUntilReady(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (!readyChanged_.wait_for(lock, timeout, [this] { return ready_; })) {
        readyMissed_ = true;
        return false;
    }
    return connection_ != nullptr;
}

void AtspiWorkspace::start()
{
    std::string problem;
    std::string address = busAddress_.empty() ? accessibilityBusAddress(problem) : busAddress_;
    GDBusConnection* connection = nullptr;
    if (!address.empty()) {
        GError* error = nullptr;
        connection = connectTo(address, &error);
        if (error) {
            problem = error->message;
            g_error_free(error);
        }
    }
    if (!connection) {
        log_.error(LogCategory::accessibility,
                   "No accessibility bus, so no front application from window activations: {}", problem);
        std::lock_guard lock(mutex_);
        ready_ = true;
        readyChanged_.notify_all();
        return;
    }

    const auto onWindowEvent = [](GDBusConnection*, const gchar* sender, const gchar* path, const gchar*,
                                  const gchar* member, GVariant*, gpointer self) {
        const std::string_view event = member;
        if (sender && (event == "Activate" || event == "Deactivate"))
            static_cast<AtspiWorkspace*>(self)->windowActivated(sender, path, event == "Activate");
    };
    const auto onStateChanged = [](GDBusConnection*, const gchar* sender, const gchar* path, const gchar*, const gchar*,
                                   GVariant* parameters, gpointer self) {
        // (detail, detail1, detail2, any_data, properties); detail1 1 means set.
        if (!sender || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(siiva{sv})")))
            return;
        const gchar* detail = nullptr;
        gint32 set = 0;
        g_variant_get_child(parameters, 0, "&s", &detail);
        g_variant_get_child(parameters, 1, "i", &set);
        if (std::string_view(detail) == "active")
            static_cast<AtspiWorkspace*>(self)->windowActivated(sender, path, set != 0);
    };
    const auto onNameOwnerChanged = [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                       GVariant* parameters, gpointer self) {
        const gchar *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)")))
            return;
        g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
        if (name[0] == ':' && newOwner[0] == '\0')
            static_cast<AtspiWorkspace*>(self)->applicationGone(name);
    };
    const auto subscribe = [&](const char* sender, const char* interface, const char* member, const char* path,
                               const char* arg0, GDBusSignalCallback callback) {
        subscriptions_.push_back(g_dbus_connection_signal_subscribe(connection, sender, interface, member, path, arg0,
                                                                    G_DBUS_SIGNAL_FLAGS_NONE, callback, this, nullptr));
    };
    subscribe(nullptr, "org.a11y.atspi.Event.Window", nullptr, nullptr, nullptr, onWindowEvent);
    subscribe(nullptr, "org.a11y.atspi.Event.Object", "StateChanged", nullptr, "active", onStateChanged);
    subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus", nullptr,
              onNameOwnerChanged);
    {
        std::lock_guard lock(mutex_);
        connection_ = connection;
    }

    // Applications send only the events that some listener has asked the registry for.
    bool registered = true;
    for (const char* event : {"window:activate", "window:deactivate", "object:state-changed:active"}) {
        Variant reply(call(registryName, "/org/a11y/atspi/registry", "org.a11y.atspi.Registry", "RegisterEvent",
                           g_variant_new("(s@ass)", event, g_variant_new_strv(nullptr, 0), ""), nullptr));
        registered = registered && reply;
    }
    if (!registered)
        log_.error(LogCategory::accessibility,
                   "The accessibility registry does not answer; window activations may not be reported");

    findActiveWindow();
    std::lock_guard lock(mutex_);
    ready_ = true;
    readyChanged_.notify_all();
}

void AtspiWorkspace::stop()
{
    if (settleTimer_) {
        g_source_destroy(settleTimer_);
        g_source_unref(settleTimer_);
        settleTimer_ = nullptr;
    }
    GDBusConnection* connection = nullptr;
    {
        std::lock_guard lock(mutex_);
        std::swap(connection, connection_);
    }
    if (connection) {
        // No callback runs after this, not even for signals already received.
        for (guint subscription : subscriptions_)
            g_dbus_connection_signal_unsubscribe(connection, subscription);
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
}

GVariant* AtspiWorkspace::call(const std::string& destination, const std::string& path, const char* interface,
                               const char* method, GVariant* parameters, const char* replyType)
{
    GDBusConnection* connection = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (connection_)
            connection = G_DBUS_CONNECTION(g_object_ref(connection_));
    }
    if (!connection) {
        if (parameters)
            g_variant_unref(g_variant_ref_sink(parameters));
        return nullptr;
    }
    GVariant* reply = g_dbus_connection_call_sync(connection, destination.c_str(), path.c_str(), interface, method,
                                                  parameters, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                  destination.starts_with(':') ? G_DBUS_CALL_FLAGS_NO_AUTO_START
                                                                               : G_DBUS_CALL_FLAGS_NONE,
                                                  callTimeoutMs, nullptr, nullptr);
    g_object_unref(connection);
    return reply;
}

std::optional<RunningApplication> AtspiWorkspace::application(const std::string& busName)
{
    {
        std::lock_guard lock(mutex_);
        if (auto known = applications_.find(busName); known != applications_.end())
            return known->second;
    }
    std::optional<RunningApplication> app;
    Variant pidReply(call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "GetConnectionUnixProcessID", g_variant_new("(s)", busName.c_str()), "(u)"));
    if (pidReply) {
        guint32 pid = 0;
        g_variant_get(pidReply.get(), "(u)", &pid);
        // The toolkit's application name stands in for the window class.
        std::string toolkitName;
        Variant nameReply(call(busName, rootPath, "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", accessibleInterface, "Name"), "(v)"));
        if (nameReply) {
            Variant name(g_variant_get_child_value(nameReply.get(), 0));
            Variant text(g_variant_get_variant(name.get()));
            if (g_variant_is_of_type(text.get(), G_VARIANT_TYPE_STRING))
                toolkitName = g_variant_get_string(text.get(), nullptr);
        }
        if (pid > 0)
            app = identifiedApplication(static_cast<pid_t>(pid), processIdentity(static_cast<pid_t>(pid)), toolkitName,
                                        desktopEntries_);
    }
    std::lock_guard lock(mutex_);
    applications_[busName] = app;
    return app;
}

void AtspiWorkspace::windowActivated(const std::string& busName, const std::string& path, bool active)
{
    std::optional<RunningApplication> app;
    if (active)
        app = application(busName);
    {
        std::lock_guard lock(mutex_);
        std::erase_if(activeWindows_,
                      [&](const ActiveWindow& window) { return window.busName == busName && window.path == path; });
        if (active)
            activeWindows_.push_back(ActiveWindow{busName, path, std::move(app)});
    }
    settleLater();
}

void AtspiWorkspace::applicationGone(const std::string& busName)
{
    {
        std::lock_guard lock(mutex_);
        applications_.erase(busName);
        std::erase_if(activeWindows_, [&](const ActiveWindow& window) { return window.busName == busName; });
    }
    settleLater();
}

// Events of different applications arrive in no fixed order, and some
// toolkits announce an activation just before the deactivation of a window
// that loses focus: the front application is decided once a burst of events
// is over.
void AtspiWorkspace::settleLater()
{
    if (settleTimer_) {
        g_source_destroy(settleTimer_);
        g_source_unref(settleTimer_);
    }
    settleTimer_ = g_timeout_source_new(settleDelayMs);
    g_source_set_callback(
        settleTimer_,
        [](gpointer self) {
            static_cast<AtspiWorkspace*>(self)->settle();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(settleTimer_, g_main_context_get_thread_default());
}

void AtspiWorkspace::settle()
{
    std::lock_guard lock(mutex_);
    if (activeWindows_.empty()) {
        notifiedProcess_ = 0; // a moment without an active window ends the application's activation
        return;
    }
    // Changes of window within one application are no activation.
    const auto& app = activeWindows_.back().app;
    const pid_t process = app ? app->pid : -1;
    if (process != notifiedProcess_)
        mainQueue_.post([observers = std::weak_ptr(observers_), app] {
            if (auto alive = observers.lock())
                alive->notify(app);
        });
    notifiedProcess_ = process;
}

// The first top-level window of a registered application whose state is active.
void AtspiWorkspace::findActiveWindow()
{
    Variant applications(call(registryName, rootPath, accessibleInterface, "GetChildren", nullptr, "(a(so))"));
    if (!applications)
        return;
    GVariantIter* iter = nullptr;
    g_variant_get(applications.get(), "(a(so))", &iter);
    const gchar *busName = nullptr, *path = nullptr;
    std::optional<ActiveWindow> found;
    while (!found && g_variant_iter_next(iter, "(&s&o)", &busName, &path)) {
        Variant windows(call(busName, path, accessibleInterface, "GetChildren", nullptr, "(a(so))"));
        if (!windows)
            continue; // not answering
        GVariantIter* windowIter = nullptr;
        g_variant_get(windows.get(), "(a(so))", &windowIter);
        const gchar *windowBus = nullptr, *windowPath = nullptr;
        while (!found && g_variant_iter_next(windowIter, "(&s&o)", &windowBus, &windowPath)) {
            Variant state(call(windowBus, windowPath, accessibleInterface, "GetState", nullptr, "(au)"));
            if (!state)
                break;
            Variant words(g_variant_get_child_value(state.get(), 0));
            gsize count = 0;
            const auto* bits =
                static_cast<const guint32*>(g_variant_get_fixed_array(words.get(), &count, sizeof(guint32)));
            if (count > 0 && (bits[0] & activeStateBit))
                found = ActiveWindow{windowBus, windowPath};
        }
        g_variant_iter_free(windowIter);
    }
    g_variant_iter_free(iter);
    if (!found)
        return;
    auto app = application(found->busName);
    std::lock_guard lock(mutex_);
    // A reader that has given up waiting learns of it as an activation.
    if (!readyMissed_)
        notifiedProcess_ = app ? app->pid : -1;
    activeWindows_.insert(activeWindows_.begin(), ActiveWindow{found->busName, found->path, std::move(app)});
    if (readyMissed_)
        settleLater();
}

std::optional<RunningApplication> AtspiWorkspace::frontmostApplication()
{
    waitUntilReady();
    std::lock_guard lock(mutex_);
    if (activeWindows_.empty())
        return std::nullopt;
    return activeWindows_.back().app;
}

std::vector<RunningApplication> AtspiWorkspace::runningApplications()
{
    std::vector<RunningApplication> running;
    if (!waitUntilReady())
        return running;
    Variant applications(call(registryName, rootPath, accessibleInterface, "GetChildren", nullptr, "(a(so))"));
    if (!applications)
        return running;
    GVariantIter* iter = nullptr;
    g_variant_get(applications.get(), "(a(so))", &iter);
    const gchar *busName = nullptr, *path = nullptr;
    std::set<pid_t> seen;
    while (g_variant_iter_next(iter, "(&s&o)", &busName, &path))
        if (auto app = application(busName); app && seen.insert(app->pid).second)
            running.push_back(std::move(*app));
    g_variant_iter_free(iter);
    return running;
}

platform::Workspace::ObserverId AtspiWorkspace::addActivationObserver(ActivationObserver observer)
{
    return observers_->add(std::move(observer));
}

void AtspiWorkspace::removeActivationObserver(ObserverId id)
{
    observers_->remove(id);
}

} // namespace hb::linux_platform
