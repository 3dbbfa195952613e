#include "linux/portal_hotkey_service.h"

#include "linux/glib_loop_thread.h"
#include "linux/x11_key_codes.h"
#include "triggers/trigger_availability.h"

#include <gio/gio.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

namespace hb::linux_platform {

using platform::HotkeyId;
using platform::LogCategory;

namespace {

constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* shortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr int callTimeoutMs = 3000;

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

// The symbol of a physical key in the default layout (XKB_DEFAULT_LAYOUT, else US).
std::optional<std::string> keySymbolName(std::uint32_t keyCode)
{
    const auto keyName = xkbKeyName(keyCode);
    if (!keyName)
        return std::nullopt;
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                                       xkb_context_unref);
    if (!context)
        return std::nullopt;
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_keymap_new_from_names(context.get(), nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS), xkb_keymap_unref);
    if (!keymap)
        return std::nullopt;
    const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap.get(), std::string(*keyName).c_str());
    const xkb_keysym_t* symbols = nullptr;
    if (keycode == XKB_KEYCODE_INVALID || xkb_keymap_key_get_syms_by_level(keymap.get(), keycode, 0, 0, &symbols) < 1)
        return std::nullopt;
    char name[64];
    if (xkb_keysym_get_name(symbols[0], name, sizeof name) <= 0)
        return std::nullopt;
    return std::string(name);
}

} // namespace

std::optional<std::string> portalTrigger(std::uint32_t keyCode, std::uint32_t carbonModifiers)
{
    auto key = keySymbolName(keyCode);
    if (!key)
        return std::nullopt;
    std::string trigger;
    for (auto [bit, name] : {std::pair{0x1000u, "CTRL"}, {0x800u, "ALT"}, {0x200u, "SHIFT"}, {0x100u, "LOGO"}})
        if (carbonModifiers & bit)
            trigger += std::string(name) + "+";
    return trigger + *key;
}

// What the listening thread and the main thread share, and what posted tasks
// hold weakly.
struct PortalHotkeyService::Shared {
    std::mutex mutex; // guards up to `sessionHandle`
    std::condition_variable startedChanged;
    bool started = false;
    GDBusConnection* connection = nullptr;
    std::string uniqueName;
    std::map<std::string, std::promise<Response>> pendingRequests; // by request object path
    std::map<std::string, std::uint64_t> lateAnswers;              // request path → registration it belongs to
    std::string sessionHandle;

    // Main thread only.
    platform::Log* log = nullptr;
    std::function<void(HotkeyId)> handler;
    std::function<void()> lossHandler;
    std::optional<HotkeyId> boundID;
    std::uint64_t pendingGeneration = 0; // a registration whose binding is still unanswered

    GDBusConnection* connectionRef()
    {
        std::lock_guard lock(mutex);
        return connection ? G_DBUS_CONNECTION(g_object_ref(connection)) : nullptr;
    }
};

PortalHotkeyService::PortalHotkeyService(platform::MainQueue& mainQueue, platform::Log& log, std::string busAddress,
                                         std::chrono::milliseconds answerWait)
    : mainQueue_(mainQueue), log_(log), busAddress_(std::move(busAddress)), answerWait_(answerWait),
      shared_(std::make_shared<Shared>())
{
    shared_->log = &log;
    thread_ = std::make_unique<GlibLoopThread>([this] { start(); }, [this] { stop(); });
    std::unique_lock lock(shared_->mutex);
    shared_->startedChanged.wait(lock, [this] { return shared_->started; });
}

PortalHotkeyService::~PortalHotkeyService()
{
    closeSession();
    thread_.reset();
}

void PortalHotkeyService::start()
{
    GError* error = nullptr;
    gchar* address = busAddress_.empty() ? g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error)
                                         : g_strdup(busAddress_.c_str());
    GDBusConnection* connection = address ? g_dbus_connection_new_for_address_sync(
                                      address,
                                      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                           | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                      nullptr, nullptr, &error)
                                          : nullptr;
    g_free(address);
    if (!connection) {
        log_.error(LogCategory::hotkey, "No session bus, so no hot key through the desktop portal: {}",
                   error ? error->message : "unknown error");
        g_clear_error(&error);
    } else {
        const auto onResponse = [](GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                                   GVariant* parameters, gpointer data) {
            if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
                return;
            Response response;
            Variant results;
            g_variant_get(parameters, "(u@a{sv})", &response.code, &results);
            const gchar* handle = nullptr;
            if (g_variant_lookup(results.get(), "session_handle", "&s", &handle)
                || g_variant_lookup(results.get(), "session_handle", "&o", &handle))
                response.sessionHandle = handle;
            static_cast<PortalHotkeyService*>(data)->answered(path, response);
        };
        const auto onActivated = [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                    GVariant* parameters, gpointer data) {
            if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})")))
                return;
            const gchar *session = nullptr, *shortcut = nullptr;
            g_variant_get_child(parameters, 0, "&o", &session);
            g_variant_get_child(parameters, 1, "&s", &shortcut);
            static_cast<PortalHotkeyService*>(data)->activated(session, shortcut);
        };
        const auto onOwnerChanged = [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                       GVariant* parameters, gpointer data) {
            const gchar *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
            if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)")))
                return;
            g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
            if (newOwner[0] == '\0')
                static_cast<PortalHotkeyService*>(data)->sessionEnded("The desktop portal has ended");
        };
        const auto onClosed = [](GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
                                 GVariant*, gpointer data) {
            auto* self = static_cast<PortalHotkeyService*>(data);
            {
                std::lock_guard lock(self->shared_->mutex);
                if (self->shared_->sessionHandle != path)
                    return;
            }
            self->sessionEnded("The desktop closed the global shortcuts session");
        };
        const auto subscribe = [&](const char* interface, const char* member, const char* path, const char* arg0,
                                   GDBusSignalCallback callback) {
            subscriptions_.push_back(g_dbus_connection_signal_subscribe(
                connection, nullptr, interface, member, path, arg0, G_DBUS_SIGNAL_FLAGS_NONE, callback, this, nullptr));
        };
        subscribe("org.freedesktop.portal.Request", "Response", nullptr, nullptr, onResponse);
        subscribe(shortcutsInterface, "Activated", portalPath, nullptr, onActivated);
        subscribe("org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus", portalName, onOwnerChanged);
        subscribe("org.freedesktop.portal.Session", "Closed", nullptr, nullptr, onClosed);
    }
    std::lock_guard lock(shared_->mutex);
    shared_->connection = connection;
    if (connection)
        shared_->uniqueName = g_dbus_connection_get_unique_name(connection);
    shared_->started = true;
    shared_->startedChanged.notify_all();
}

void PortalHotkeyService::stop()
{
    GDBusConnection* connection = nullptr;
    {
        std::lock_guard lock(shared_->mutex);
        std::swap(connection, shared_->connection);
    }
    if (connection) {
        // No callback runs after this, not even for signals already received.
        for (guint subscription : subscriptions_)
            g_dbus_connection_signal_unsubscribe(connection, subscription);
        g_dbus_connection_flush_sync(connection, nullptr, nullptr); // the session's Close
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
}

bool PortalHotkeyService::isOffered()
{
    Variant version(call(portalPath, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", shortcutsInterface, "version"), "(v)", callTimeoutMs));
    return version != nullptr;
}

GVariant* PortalHotkeyService::call(const char* path, const char* interface, const char* method, GVariant* parameters,
                                    const char* replyType, int timeoutMs)
{
    GDBusConnection* connection = shared_->connectionRef();
    if (!connection) {
        g_variant_unref(g_variant_ref_sink(parameters));
        return nullptr;
    }
    GVariant* reply =
        g_dbus_connection_call_sync(connection, portalName, path, interface, method, parameters,
                                    G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, nullptr);
    g_object_unref(connection);
    return reply;
}

PortalHotkeyService::Outcome PortalHotkeyService::request(const char* method, const std::string& token,
                                                          GVariant* parameters, std::chrono::milliseconds wait,
                                                          std::uint64_t lateAnswerGeneration)
{
    // The request object's path is known before the call, so that no answer
    // can come before it is awaited.
    std::string path;
    std::shared_future<Response> answer;
    {
        std::lock_guard lock(shared_->mutex);
        std::string sender = shared_->uniqueName.substr(shared_->uniqueName.starts_with(':') ? 1 : 0);
        std::ranges::replace(sender, '.', '_');
        path = std::string(portalPath) + "/request/" + sender + "/" + token;
        answer = shared_->pendingRequests[path].get_future().share();
        if (lateAnswerGeneration)
            shared_->lateAnswers[path] = lateAnswerGeneration;
    }
    Variant reply(call(portalPath, shortcutsInterface, method, parameters, "(o)", callTimeoutMs));
    if (!reply) {
        std::lock_guard lock(shared_->mutex);
        shared_->pendingRequests.erase(path);
        shared_->lateAnswers.erase(path);
        return {};
    }
    if (answer.wait_for(wait) != std::future_status::ready)
        return {Outcome::Kind::waiting, {}};
    return {Outcome::Kind::answered, answer.get()};
}

std::string PortalHotkeyService::nextToken()
{
    return "hintboard" + std::to_string(++tokens_);
}

int PortalHotkeyService::registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, HotkeyId id)
{
    unregisterHotkey();
    const auto trigger = portalTrigger(keyCode, carbonModifiers);
    if (!trigger) {
        log_.error(LogCategory::hotkey, "No key has the key code {}, so no hot key", keyCode);
        return noKeyStatus;
    }
    if (!isOffered()) {
        log_.error(LogCategory::hotkey,
                   "The desktop offers no global shortcuts portal, so Hintboard cannot register a hot key here; "
                   "bind the command `{}` to a key in the desktop's keyboard settings",
                   TriggerAvailability::toggleCommand);
        return noPortalStatus;
    }

    const std::string sessionToken = nextToken(), createToken = nextToken();
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(createToken.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(sessionToken.c_str()));
    const auto created = request("CreateSession", createToken, g_variant_new("(a{sv})", &options), answerWait_);
    if (created.kind != Outcome::Kind::answered || created.response.code != 0
        || created.response.sessionHandle.empty()) {
        log_.error(LogCategory::hotkey, "The desktop portal did not open a global shortcuts session (response {})",
                   created.kind == Outcome::Kind::answered ? std::to_string(created.response.code) : "none");
        return created.kind == Outcome::Kind::answered && created.response.code != 0
                   ? static_cast<int>(created.response.code)
                   : noAnswerStatus;
    }
    {
        std::lock_guard lock(shared_->mutex);
        shared_->sessionHandle = created.response.sessionHandle;
    }

    const std::string bindToken = nextToken();
    GVariantBuilder shortcut;
    g_variant_builder_init(&shortcut, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&shortcut, "{sv}", "description", g_variant_new_string("Show Shortcuts"));
    g_variant_builder_add(&shortcut, "{sv}", "preferred_trigger", g_variant_new_string(trigger->c_str()));
    GVariantBuilder shortcuts;
    g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
    g_variant_builder_add(&shortcuts, "(sa{sv})", std::string(shortcutID).c_str(), &shortcut);
    GVariantBuilder bindOptions;
    g_variant_builder_init(&bindOptions, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&bindOptions, "{sv}", "handle_token", g_variant_new_string(bindToken.c_str()));
    const std::uint64_t generation = ++generation_;
    const auto bound = request(
        "BindShortcuts", bindToken,
        g_variant_new("(oa(sa{sv})sa{sv})", created.response.sessionHandle.c_str(), &shortcuts, "", &bindOptions),
        answerWait_, generation);
    switch (bound.kind) {
    case Outcome::Kind::failed:
        log_.error(LogCategory::hotkey, "The desktop portal did not bind the hot key {}", *trigger);
        closeSession();
        return noAnswerStatus;
    case Outcome::Kind::waiting:
        // The desktop is asking the user; its answer arrives through the main queue.
        log_.info(LogCategory::hotkey, "Waiting for the desktop to confirm the hot key {}", *trigger);
        shared_->boundID = id;
        shared_->pendingGeneration = generation;
        return 0;
    case Outcome::Kind::answered:
        break;
    }
    if (bound.response.code != 0) {
        log_.error(LogCategory::hotkey, "The desktop refused the hot key {} ({})", *trigger,
                   bound.response.code == 1 ? "cancelled" : "refused");
        closeSession();
        return static_cast<int>(bound.response.code);
    }
    log_.info(LogCategory::hotkey, "The desktop portal bound the hot key {}", *trigger);
    shared_->boundID = id;
    return 0;
}

void PortalHotkeyService::unregisterHotkey()
{
    shared_->boundID.reset();
    shared_->pendingGeneration = 0;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->pendingRequests.clear(); // answers that nobody awaits any more
        shared_->lateAnswers.clear();
    }
    closeSession();
}

void PortalHotkeyService::closeSession()
{
    std::string session;
    {
        std::lock_guard lock(shared_->mutex);
        std::swap(session, shared_->sessionHandle);
    }
    if (session.empty())
        return;
    if (GDBusConnection* connection = shared_->connectionRef()) {
        g_dbus_connection_call(connection, portalName, session.c_str(), "org.freedesktop.portal.Session", "Close",
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, nullptr, nullptr);
        g_object_unref(connection);
    }
}

void PortalHotkeyService::setPressHandler(std::function<void(HotkeyId)> handler)
{
    shared_->handler = std::move(handler);
}

void PortalHotkeyService::setLossHandler(std::function<void()> handler)
{
    shared_->lossHandler = std::move(handler);
}

// On the listening thread.
void PortalHotkeyService::answered(const std::string& path, const Response& response)
{
    std::uint64_t lateGeneration = 0;
    {
        std::lock_guard lock(shared_->mutex);
        auto pending = shared_->pendingRequests.find(path);
        if (pending == shared_->pendingRequests.end())
            return;
        pending->second.set_value(response);
        shared_->pendingRequests.erase(pending);
        if (auto late = shared_->lateAnswers.find(path); late != shared_->lateAnswers.end()) {
            lateGeneration = late->second;
            shared_->lateAnswers.erase(late);
        }
    }
    if (!lateGeneration)
        return;
    mainQueue_.post([weak = std::weak_ptr(shared_), lateGeneration, code = response.code] {
        auto shared = weak.lock();
        if (!shared || shared->pendingGeneration != lateGeneration)
            return; // answered in time, or replaced since
        shared->pendingGeneration = 0;
        if (code == 0) {
            shared->log->info(LogCategory::hotkey, "The desktop confirmed the hot key");
            return;
        }
        shared->log->error(LogCategory::hotkey, "The desktop refused the hot key ({})",
                           code == 1 ? "cancelled" : "refused");
        shared->boundID.reset();
        if (shared->lossHandler)
            shared->lossHandler();
    });
}

// On the listening thread.
void PortalHotkeyService::activated(const std::string& session, const std::string& shortcut)
{
    {
        std::lock_guard lock(shared_->mutex);
        if (session != shared_->sessionHandle || shortcut != shortcutID)
            return;
    }
    mainQueue_.post([weak = std::weak_ptr(shared_)] {
        auto shared = weak.lock();
        if (shared && shared->boundID && shared->handler)
            shared->handler(*shared->boundID);
    });
}

// On the listening thread.
void PortalHotkeyService::sessionEnded(const char* reason)
{
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->sessionHandle.empty())
            return;
        shared_->sessionHandle.clear();
    }
    mainQueue_.post([weak = std::weak_ptr(shared_), reason = std::string(reason)] {
        auto shared = weak.lock();
        if (!shared || !shared->boundID)
            return;
        shared->log->error(LogCategory::hotkey, "{}; the hot key no longer works", reason);
        shared->boundID.reset();
        shared->pendingGeneration = 0;
        if (shared->lossHandler)
            shared->lossHandler();
    });
}

} // namespace hb::linux_platform
