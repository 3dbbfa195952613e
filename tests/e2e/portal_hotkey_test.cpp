// The hot key through the desktop portal's global shortcuts, against a fake
// portal on the session's private bus.
#include "desktop_session.h"

#include "fake/memory_log.h"
#include "fake/virtual_runtime.h"
#include "linux/glib_loop_thread.h"
#include "linux/portal_hotkey_service.h"

#include <gio/gio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace hb::e2e {
namespace {

using linux_platform::PortalHotkeyService;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* portalXML = R"xml(<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="BindShortcuts"><arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)xml";

// org.freedesktop.portal.Desktop with global shortcuts, answering as told.
class FakePortal {
public:
    enum class Answer { grant, cancel, never };

    FakePortal()
        : thread_([this] { start(); },
                  [this] {
                      if (connection_) {
                          g_dbus_connection_close_sync(connection_, nullptr, nullptr);
                          g_object_unref(connection_);
                      }
                  })
    {
        std::unique_lock lock(mutex_);
        started_.wait(lock, [this] { return ready_; });
    }

    std::atomic<Answer> bindAnswer{Answer::grant};

    // Emits Activated for the session's shortcut.
    void press()
    {
        thread_.invoke([this] {
            g_dbus_connection_emit_signal(connection_, nullptr, "/org/freedesktop/portal/desktop",
                                          "org.freedesktop.portal.GlobalShortcuts", "Activated",
                                          g_variant_new("(ost@a{sv})", session().c_str(), "show-shortcuts",
                                                        guint64(1), g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                          nullptr);
        });
    }
    // Leaves the bus, as a portal that ends.
    void disappear()
    {
        thread_.invoke([this] { g_dbus_connection_close_sync(connection_, nullptr, nullptr); });
    }
    // Answers the last unanswered binding.
    void answerLater(std::uint32_t code)
    {
        thread_.invoke([this, code] { respond(unansweredBind(), code, {}); });
    }

    std::string session()
    {
        std::lock_guard lock(mutex_);
        return session_;
    }
    std::vector<std::string> calls()
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void start()
    {
        GError* error = nullptr;
        connection_ = g_dbus_connection_new_for_address_sync(
            std::getenv("DBUS_SESSION_BUS_ADDRESS"),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_clear_error(&error);
        node_ = g_dbus_node_info_new_for_xml(portalXML, nullptr);
        static const GDBusInterfaceVTable vtable = {
            [](GDBusConnection*, const gchar* sender, const gchar* path, const gchar*, const gchar* method,
               GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
                static_cast<FakePortal*>(self)->called(sender, path, method, parameters, invocation);
            },
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**, gpointer) {
                return g_variant_new_uint32(1);
            },
            nullptr, {}};
        g_dbus_connection_register_object(connection_, "/org/freedesktop/portal/desktop", node_->interfaces[0], &vtable,
                                          this, nullptr, nullptr);
        // Sessions are closed with a call on their own path.
        g_dbus_connection_add_filter(
            connection_,
            [](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer self) {
                if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL &&
                    g_strcmp0(g_dbus_message_get_member(message), "Close") == 0) {
                    auto* portal = static_cast<FakePortal*>(self);
                    std::lock_guard lock(portal->mutex_);
                    portal->calls_.push_back(std::string("Close ") + g_dbus_message_get_path(message));
                }
                return message;
            },
            this, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "RequestName",
                                                      g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u),
                                                      nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
        std::lock_guard lock(mutex_);
        ready_ = true;
        started_.notify_all();
    }

    static std::string requestPath(const std::string& sender, GVariant* options)
    {
        std::string name = sender.substr(1);
        std::ranges::replace(name, '.', '_');
        const gchar* token = "t";
        g_variant_lookup(options, "handle_token", "&s", &token);
        return "/org/freedesktop/portal/desktop/request/" + name + "/" + token;
    }

    void respond(const std::string& path, std::uint32_t code, const std::string& sessionHandle)
    {
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
        if (!sessionHandle.empty())
            g_variant_builder_add(&results, "{sv}", "session_handle", g_variant_new_string(sessionHandle.c_str()));
        g_dbus_connection_emit_signal(connection_, nullptr, path.c_str(), "org.freedesktop.portal.Request", "Response",
                                      g_variant_new("(ua{sv})", code, &results), nullptr);
    }

    std::string unansweredBind()
    {
        std::lock_guard lock(mutex_);
        return unansweredBind_;
    }

    void called(const std::string& sender, const std::string& /*path*/, const std::string& method, GVariant* parameters,
                GDBusMethodInvocation* invocation)
    {
        std::string request;
        if (method == "CreateSession") {
            Variant options(g_variant_get_child_value(parameters, 0));
            request = requestPath(sender, options.get());
            const gchar* token = "s";
            g_variant_lookup(options.get(), "session_handle_token", "&s", &token);
            std::string name = sender.substr(1);
            std::ranges::replace(name, '.', '_');
            std::lock_guard lock(mutex_);
            session_ = "/org/freedesktop/portal/desktop/session/" + name + "/" + token;
            calls_.push_back("CreateSession");
        } else if (method == "BindShortcuts") {
            Variant shortcuts(g_variant_get_child_value(parameters, 1));
            Variant options(g_variant_get_child_value(parameters, 3));
            request = requestPath(sender, options.get());
            const gchar *id = "", *description = "", *trigger = "";
            Variant first(g_variant_get_child_value(shortcuts.get(), 0));
            Variant properties(g_variant_get_child_value(first.get(), 1));
            g_variant_get_child(first.get(), 0, "&s", &id);
            g_variant_lookup(properties.get(), "description", "&s", &description);
            g_variant_lookup(properties.get(), "preferred_trigger", "&s", &trigger);
            std::lock_guard lock(mutex_);
            calls_.push_back(std::string("BindShortcuts ") + id + " \"" + description + "\" " + trigger);
            unansweredBind_ = request;
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
        if (method == "CreateSession")
            respond(request, 0, session());
        else if (bindAnswer != Answer::never)
            respond(request, bindAnswer == Answer::grant ? 0 : 1, {});
    }

    struct VariantUnref {
        void operator()(GVariant* value) const { g_variant_unref(value); }
    };
    using Variant = std::unique_ptr<GVariant, VariantUnref>;

    std::mutex mutex_;
    std::condition_variable started_;
    bool ready_ = false;
    GDBusConnection* connection_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    std::string session_, unansweredBind_;
    std::vector<std::string> calls_;
    linux_platform::GlibLoopThread thread_;  // last
};

class PortalHotkeyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { DesktopSession::shared(); }

    // Runs the main queue until `condition` holds.
    bool runUntil(const std::function<bool()>& condition)
    {
        return DesktopSession::waitUntil([&] {
            mainQueue.runMainQueue();
            return condition();
        });
    }
    std::vector<std::string> hotkeyLog() { return sink.messages(platform::LogCategory::hotkey); }
    bool lastLogLineHas(std::string_view text)
    {
        const auto lines = hotkeyLog();
        return !lines.empty() && lines.back().find(text) != std::string::npos;
    }

    fake::VirtualRuntime mainQueue;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
    static constexpr platform::HotkeyId id{0x48427264, 1};
};

TEST_F(PortalHotkeyTest, BindsShowShortcutsWithTheStoredKeyAndPressesOnActivation)
{
    FakePortal portal;
    PortalHotkeyService service(mainQueue, log);
    std::vector<platform::HotkeyId> presses;
    service.setPressHandler([&](platform::HotkeyId pressed) { presses.push_back(pressed); });
    EXPECT_TRUE(service.isOffered());
    ASSERT_EQ(service.registerHotkey(40, 0x900, id), 0);  // ⌥⌘K
    EXPECT_THAT(portal.calls(), ElementsAre("CreateSession", "BindShortcuts show-shortcuts \"Show Shortcuts\" ALT+LOGO+k"));

    portal.press();
    ASSERT_TRUE(runUntil([&] { return presses.size() == 1; }));
    EXPECT_EQ(presses.front(), id);

    const std::string session = portal.session();
    service.unregisterHotkey();
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return portal.calls().size() == 3; }));
    EXPECT_EQ(portal.calls().back(), "Close " + session);
    portal.press();
    mainQueue.runMainQueue();
    EXPECT_EQ(presses.size(), 1u);
}

TEST_F(PortalHotkeyTest, RefusalFailsTheRegistrationAndALateRefusalEndsIt)
{
    FakePortal portal;
    portal.bindAnswer = FakePortal::Answer::cancel;
    PortalHotkeyService service(mainQueue, log, {}, std::chrono::milliseconds(500));
    EXPECT_EQ(service.registerHotkey(40, 0x900, id), 1);
    EXPECT_THAT(hotkeyLog(), Contains(HasSubstr("refused the hot key ALT+LOGO+k (cancelled)")));

    // The user takes longer than the wait to answer the desktop's dialog.
    portal.bindAnswer = FakePortal::Answer::never;
    int losses = 0;
    service.setLossHandler([&] { ++losses; });
    EXPECT_EQ(service.registerHotkey(14, 0x1200, id), 0);  // ⌃⇧E
    EXPECT_THAT(hotkeyLog(), Contains(HasSubstr("Waiting for the desktop to confirm the hot key CTRL+SHIFT+e")));
    portal.answerLater(1);
    ASSERT_TRUE(runUntil([&] { return lastLogLineHas("refused the hot key (cancelled)"); }));
    EXPECT_EQ(losses, 1) << "the late refusal is reported";
    std::vector<platform::HotkeyId> presses;
    service.setPressHandler([&](platform::HotkeyId pressed) { presses.push_back(pressed); });
    portal.press();
    mainQueue.runMainQueue();
    EXPECT_TRUE(presses.empty());
}

TEST_F(PortalHotkeyTest, WithoutAPortalOrAfterItEndsTheHotkeyFailsWithALogLine)
{
    {
        PortalHotkeyService service(mainQueue, log);
        EXPECT_FALSE(service.isOffered());
        EXPECT_EQ(service.registerHotkey(40, 0x900, id), PortalHotkeyService::noPortalStatus);
        EXPECT_THAT(hotkeyLog(), Contains(HasSubstr("bind the command `hintboard toggle`")));
        EXPECT_EQ(service.registerHotkey(0xFFFF, 0x900, id), PortalHotkeyService::noKeyStatus);
    }

    FakePortal portal;
    PortalHotkeyService service(mainQueue, log);
    ASSERT_EQ(service.registerHotkey(40, 0x900, id), 0);
    int losses = 0;
    service.setLossHandler([&] { ++losses; });
    portal.disappear();
    ASSERT_TRUE(runUntil([&] { return lastLogLineHas("the hot key no longer works"); }));
    EXPECT_EQ(losses, 1);
    // Registering again finds no portal and says so at once.
    EXPECT_EQ(service.registerHotkey(40, 0x900, id), PortalHotkeyService::noPortalStatus);
}

} // namespace
} // namespace hb::e2e
