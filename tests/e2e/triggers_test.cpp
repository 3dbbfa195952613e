// The global triggers on the session's own services: the hot key and the
// input monitors on the X display, logind's wake on the bus, and the hot key
// through a fake desktop portal.
#include "bus_service.h"
#include "poll_watches.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "linux/logind_system_wake.h"
#include "linux/portal_hotkey_service.h"
#include "linux/x11_hotkey_service.h"
#include "linux/xinput_event_monitors.h"
#include "settings/settings_keys.h"
#include "triggers/double_tap_trigger.h"
#include "triggers/global_hotkey.h"

#include <gio/gio.h>
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <xcb/xcb.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using platform::LogCategory;
using platform::LogLevel;

// Another X client's connection holding a key grab on the root window; null when the server refused it.
using XConnection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;
XConnection otherGrab(std::uint8_t keycode, std::uint16_t modifiers)
{
    XConnection connection(xcb_connect(nullptr, nullptr), xcb_disconnect);
    const auto root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    auto* error =
        xcb_request_check(connection.get(), xcb_grab_key_checked(connection.get(), 0, root, modifiers, keycode,
                                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error ? XConnection(nullptr, xcb_disconnect) : std::move(connection);
}

class TriggersOnX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { DesktopSession::shared(); }
    void TearDown() override
    {
        DesktopSession::shared().stopApplication(mousepad);
        EXPECT_EQ(std::system("setxkbmap -keycodes evdev -layout us"), 0);
    }

    // A mousepad window in front, as the application the user works in.
    bool startMousepadInFront()
    {
        return (mousepad = launchInFront(DesktopSession::shared(), {"mousepad", "--disable-server"}, "mousepad")) > 0;
    }

    pid_t mousepad = -1;

    PollWatches watches;
    fake::VirtualRuntime runtime;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    // The hot key on the session's display, counting its activations.
    linux_platform::X11HotkeyService service{watches, log};
    HotkeyManager manager{service, runtime, log};
    int activations = 0;
    // The double tap on the input monitors, as the application installs it.
    linux_platform::XInputEventMonitors monitors{watches, log};
    fake::MemorySettingsDomain settings;
    DoubleTapTrigger trigger{monitors, runtime, settings, log};
    TriggersOnX11()
    {
        manager.onActivate = [this] { ++activations; };
    }

    // Serves the X connections and the main queue for `duration`.
    void serve(std::chrono::milliseconds duration)
    {
        watches.runUntil([] { return false; }, duration, [&] { runtime.runMainQueue(); });
    }

    // Runs xdotool while serving, so that events are handled when they happen;
    // then serves 300 ms more. Typings that follow each other start with a
    // pause longer than the double-tap window.
    bool typeWhileServing(const std::string& arguments)
    {
        std::atomic<int> typed = -2;
        std::thread typing([&] { typed = status("timeout 10 xdotool " + arguments); });
        while (typed == -2)
            serve(20ms);
        typing.join();
        serve(300ms);
        return typed == 0;
    }
};

TEST_F(TriggersOnX11, HotkeyPressedInAnotherApplicationActivatesOncePerPress)
{
    ASSERT_TRUE(startMousepadInFront());
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(manager.registerHotkey({40, 0x900, "⌥⌘K"}));

    ASSERT_EQ(status("timeout 5 xdotool key alt+super+k"), 0);
    serve(700ms);
    EXPECT_EQ(activations, 1);

    // Held long enough for the keyboard to repeat.
    ASSERT_EQ(status("timeout 5 xdotool keydown alt+super+k"), 0);
    serve(1500ms);
    ASSERT_EQ(status("timeout 5 xdotool keyup alt+super+k"), 0);
    serve(300ms);
    EXPECT_EQ(activations, 2);

    // With Caps Lock on, the same combination.
    ASSERT_EQ(status("timeout 5 xdotool key Caps_Lock key alt+super+k key Caps_Lock"), 0);
    serve(500ms);
    EXPECT_EQ(activations, 3);

    // Other combinations and the unregistered key do nothing.
    ASSERT_EQ(status("timeout 5 xdotool key super+k key alt+k"), 0);
    manager.unregister();
    ASSERT_EQ(status("timeout 5 xdotool key alt+super+k"), 0);
    serve(500ms);
    EXPECT_EQ(activations, 3);
}

TEST_F(TriggersOnX11, CombinationHeldByAnotherClientIsRefused)
{
    constexpr std::uint8_t jKeycode = 44; // J under the server's evdev keycodes
    const std::uint16_t altSuper = XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    {
        const auto other = otherGrab(jKeycode, altSuper | XCB_MOD_MASK_LOCK);
        ASSERT_TRUE(other);
        EXPECT_FALSE(manager.registerHotkey({38, 0x900, "⌥⌘J"}));
        EXPECT_FALSE(manager.isRegistered());
        EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error,
                                  "The desktop did not take the hot key Alt+Super+J (status=10)"));
    }
    // The variants that were granted before the refusal were given back.
    for (std::uint16_t variant : {0, int(XCB_MOD_MASK_2)})
        EXPECT_TRUE(otherGrab(jKeycode, altSuper | variant)) << variant;
    EXPECT_TRUE(manager.registerHotkey({38, 0x900, "⌥⌘J"}));

    // A key code the keyboard map has no key for.
    EXPECT_FALSE(manager.registerHotkey({52, 0x900, "⌥⌘?"}));
    EXPECT_TRUE(
        sink.contains(LogCategory::hotkey, LogLevel::error, "The keyboard map has no key for virtual key code 52"));
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error,
                              "The desktop did not take the hot key Alt+Super+? (status=-2)"));
}

TEST_F(TriggersOnX11, KeysFollowTheKeyboardMapOfTheMoment)
{
    ASSERT_TRUE(startMousepadInFront());
    std::vector<platform::KeyEvent> keys;
    monitors.addKeyDownMonitor([&](const platform::KeyEvent& key) { keys.push_back(key); });
    ASSERT_TRUE(manager.registerHotkey({123, 0x900, "⌥⌘←"}));

    ASSERT_TRUE(typeWhileServing("key y alt+super+Left"));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].keyCode, 16);
    EXPECT_EQ(keys[0].characters, "y");
    EXPECT_EQ(keys[1].keyCode, 123);
    EXPECT_EQ(keys[1].modifierFlags, platform::modifier_flags::option | platform::modifier_flags::command);
    EXPECT_EQ(activations, 1);

    // A German layout on other keycodes: the arrow moves from 113 to 100.
    ASSERT_EQ(std::system("setxkbmap -keycodes xfree86 -layout de"), 0); // the usual map comes back at TearDown
    serve(300ms);
    ASSERT_TRUE(typeWhileServing("key z alt+super+Left"));
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[2].keyCode, 16) << "the same physical key";
    EXPECT_EQ(keys[2].characters, "z");
    EXPECT_EQ(keys[3].keyCode, 123);
    EXPECT_EQ(activations, 2);
}

TEST_F(TriggersOnX11, MouseDownsAndHeldModifiers)
{
    ASSERT_TRUE(monitors.isAvailable());
    namespace flags = platform::modifier_flags;

    // Without a monitor the flags are asked of the server.
    ASSERT_EQ(status("timeout 5 xdotool keydown Shift_R keydown Super_L"), 0);
    EXPECT_EQ(monitors.currentModifierFlags(), flags::shift | flags::command);
    std::vector<std::uint64_t> changes;
    auto flagsMonitor = monitors.addFlagsChangedMonitor([&](std::uint64_t value) { changes.push_back(value); });
    EXPECT_EQ(monitors.currentModifierFlags(), flags::shift | flags::command) << "held before the monitor";
    ASSERT_TRUE(typeWhileServing("keyup Super_L keydown Alt_R keyup Alt_R keyup Shift_R"));
    EXPECT_EQ(changes, (std::vector<std::uint64_t>{flags::shift, flags::shift | flags::option, flags::shift, 0}));
    monitors.removeMonitor(*flagsMonitor);

    std::vector<platform::MouseButton> buttons;
    auto mouseMonitor = monitors.addMouseDownMonitor([&](platform::MouseButton button) { buttons.push_back(button); });
    ASSERT_TRUE(mouseMonitor);
    ASSERT_TRUE(typeWhileServing("click 1 click 4 click 3 click 2"));
    EXPECT_EQ(buttons,
              (std::vector{platform::MouseButton::left, platform::MouseButton::right, platform::MouseButton::other}));

    // A click that xcb takes in while it waits for an answer is still told.
    ASSERT_EQ(status("timeout 5 xdotool click 1"), 0);
    EXPECT_EQ(monitors.currentModifierFlags(), 0u);
    serve(300ms);
    EXPECT_EQ(buttons.size(), 4u);

    monitors.removeMonitor(*mouseMonitor);
    ASSERT_TRUE(typeWhileServing("click 1"));
    EXPECT_EQ(buttons.size(), 4u);
}

// Without a display nothing is registered; a connection lost later stops both
// triggers with an error line each, and nothing crashes.
TEST_F(TriggersOnX11, WithoutADisplayOrWithALostConnectionTheTriggersStopWithAnErrorLine)
{
    settings.set(keys::doubleTapEnabled, true);
    {
        fake::VirtualRuntime noRuntime;
        PollWatches noWatches;
        linux_platform::X11HotkeyService noService(noWatches, log, ":987");
        HotkeyManager none(noService, noRuntime, log);
        linux_platform::XInputEventMonitors noMonitors(noWatches, log, ":987");
        DoubleTapTrigger noTrigger(noMonitors, noRuntime, settings, log);
        EXPECT_FALSE(noService.isConnected());
        EXPECT_FALSE(noMonitors.isAvailable());
        EXPECT_EQ(noWatches.count(), 0u);
        EXPECT_FALSE(none.registerHotkey(defaultHotkey));
        noTrigger.applySettings();
        EXPECT_FALSE(noTrigger.isStarted());
        EXPECT_EQ(noMonitors.currentModifierFlags(), 0u);
        for (const char* line :
             {"No X display: the global hot key is not available",
              "No X display: global input monitors are not available",
              "The desktop did not take the hot key Alt+Super+K (status=-1)",
              "DoubleTapTrigger: flagsMonitor is nil — no global input monitors (no X display, or no XInput 2)"})
            EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error, line)) << line;
    }

    ASSERT_TRUE(manager.registerHotkey(defaultHotkey));
    trigger.applySettings();
    ASSERT_TRUE(trigger.isStarted());
    ASSERT_EQ(watches.count(), 4u) << "the socket and the wake-up of each connection";
    for (int fd : watches.descriptors())
        ::shutdown(fd, SHUT_RDWR); // the X sockets; the eventfds refuse it
    watches.runUntil([&] { return watches.count() == 0; }, 2s);
    EXPECT_EQ(watches.count(), 0u);
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error,
                              "The X connection of the global hot key was lost; the hot key stops"));
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error,
                              "The X connection of the input monitors was lost; they stop"));
    EXPECT_FALSE(service.isConnected());
    EXPECT_FALSE(manager.isRegistered()) << "the hot key is reported lost";
    EXPECT_FALSE(manager.registerHotkey(defaultHotkey));
    trigger.applySettings();
    EXPECT_EQ(monitors.currentModifierFlags(), 0u);
}

TEST_F(TriggersOnX11, WakeIsLogindsPrepareForSleepFalseThroughTheMainQueue)
{
    // Plays logind on the session bus: owns its name and announces sleep and wake.
    BusService logind("org.freedesktop.login1", "/org/freedesktop/login1");
    ASSERT_TRUE(logind.owned());
    linux_platform::LogindSystemWake wake(runtime, log, std::getenv("DBUS_SESSION_BUS_ADDRESS"));
    ASSERT_TRUE(wake.isConnected());
    int wakes = 0;
    wake.addWakeObserver([&] { ++wakes; });
    // Each signal, delivered on the default main context, then the main queue.
    for (const bool sleeping : {true, false}) {
        logind.emit("org.freedesktop.login1.Manager", "PrepareForSleep", g_variant_new("(b)", sleeping));
        for (int tick = 0; tick < 30; ++tick, std::this_thread::sleep_for(10ms))
            while (g_main_context_iteration(nullptr, FALSE)) {}
        EXPECT_EQ(wakes, 0) << "delivered through the main queue";
        runtime.runMainQueue();
    }
    EXPECT_EQ(wakes, 1);

    linux_platform::LogindSystemWake nowhere(runtime, log, "unix:path=/nonexistent/bus");
    EXPECT_FALSE(nowhere.isConnected());
    EXPECT_EQ(sink.messages(LogCategory::hotkey).back().rfind("No system bus, so no wake notifications", 0), 0u);
}

// The hot key through the desktop portal's global shortcuts, against a fake
// portal on the session's private bus.
using linux_platform::PortalHotkeyService;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// org.freedesktop.portal.Desktop with global shortcuts, answering as told; it notes the calls it gets.
class FakePortal {
public:
    enum class Answer { grant, cancel, never };

    FakePortal()
    {
        // Sessions are closed with a call on their own path.
        g_dbus_connection_add_filter(
            service_.connection(),
            [](GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer self) {
                auto& portal = *static_cast<FakePortal*>(self);
                if (incoming && g_strcmp0(g_dbus_message_get_member(message), "Close") == 0) {
                    std::lock_guard lock(portal.mutex_);
                    portal.calls_.push_back(std::string("Close ") + g_dbus_message_get_path(message));
                }
                return message;
            },
            this, nullptr);
    }

    std::atomic<Answer> bindAnswer{Answer::grant};

    // Emits Activated for the session's shortcut.
    void press()
    {
        service_.emit("org.freedesktop.portal.GlobalShortcuts", "Activated",
                      g_variant_new("(ost@a{sv})", session().c_str(), "show-shortcuts", guint64(1),
                                    g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)));
    }
    void disappear() { service_.leave(); }
    // Answers the last binding, which was left unanswered.
    void answerLater(std::uint32_t code)
    {
        service_.later([this, code] { respond(lastBind_, code, {}); }); // lastBind_ is the service thread's
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
    void respond(const std::string& path, std::uint32_t code, const std::string& sessionHandle)
    {
        service_.emit("org.freedesktop.portal.Request", "Response",
                      sessionHandle.empty()
                          ? g_variant_new_parsed("(%u, @a{sv} {})", code)
                          : g_variant_new_parsed("(%u, {'session_handle': <%s>})", code, sessionHandle.c_str()),
                      path);
    }
    // Replies with the request's path, named after the caller and the token, and answers it after the reply.
    GVariant* called(const std::string& sender, const std::string& method, GVariant* parameters)
    {
        if (method.starts_with("Get "))
            return g_variant_new_uint32(1);
        const bool create = method == "CreateSession";
        GVariant* options = g_variant_get_child_value(parameters, create ? 0 : 3);
        std::string caller = sender.substr(1);
        std::ranges::replace(caller, '.', '_');
        const auto pathOf = [&](const std::string& kind, const char* key) {
            const gchar* token = "t";
            g_variant_lookup(options, key, "&s", &token);
            return "/org/freedesktop/portal/desktop/" + kind + "/" + caller + "/" + token;
        };
        const std::string request = pathOf("request", "handle_token");
        std::lock_guard lock(mutex_);
        if (create) {
            session_ = pathOf("session", "session_handle_token");
            calls_.push_back("CreateSession");
            service_.later([=, this, session = session_] { respond(request, 0, session); });
        } else {
            const gchar *id = "", *description = "", *trigger = "";
            GVariant* shortcuts = g_variant_get_child_value(parameters, 1);
            GVariant* properties = nullptr;
            g_variant_get_child(shortcuts, 0, "(&s@a{sv})", &id, &properties);
            g_variant_lookup(properties, "description", "&s", &description);
            g_variant_lookup(properties, "preferred_trigger", "&s", &trigger);
            calls_.push_back(std::string("BindShortcuts ") + id + " \"" + description + "\" " + trigger);
            g_variant_unref(properties);
            g_variant_unref(shortcuts);
            lastBind_ = request;
            if (const Answer answer = bindAnswer; answer != Answer::never)
                service_.later([=, this] { respond(request, answer == Answer::grant ? 0 : 1, {}); });
        }
        g_variant_unref(options);
        return g_variant_new("(o)", request.c_str());
    }

    std::mutex mutex_;
    std::string session_, lastBind_;
    std::vector<std::string> calls_;
    BusService service_{"org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                        DesktopSession::fileText(dataFile("portal.xml")),
                        [this](const std::string& sender, const std::string& method, GVariant* parameters) {
                            return called(sender, method, parameters);
                        }}; // last
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

// Bound with the stored key, pressed on activation, closed when unregistered;
// a refusal fails the registration, a late one ends it; without a portal, or
// once it ends, the hot key fails with a log line.
TEST_F(PortalHotkeyTest, BindsPressesRefusesAndEndsWithThePortal)
{
    {
        PortalHotkeyService service(mainQueue, log);
        EXPECT_FALSE(service.isOffered());
        EXPECT_EQ(service.registerHotkey(40, 0x900, id), PortalHotkeyService::noPortalStatus);
        EXPECT_THAT(hotkeyLog(), Contains(HasSubstr("bind the command `hintboard toggle`")));
        EXPECT_EQ(service.registerHotkey(0xFFFF, 0x900, id), PortalHotkeyService::noKeyStatus);
    }
    FakePortal portal;
    {
        PortalHotkeyService service(mainQueue, log);
        std::vector<platform::HotkeyId> presses;
        service.setPressHandler([&](platform::HotkeyId pressed) { presses.push_back(pressed); });
        EXPECT_TRUE(service.isOffered());
        ASSERT_EQ(service.registerHotkey(40, 0x900, id), 0); // ⌥⌘K
        EXPECT_THAT(portal.calls(),
                    ElementsAre("CreateSession", "BindShortcuts show-shortcuts \"Show Shortcuts\" ALT+LOGO+k"));
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
    {
        portal.bindAnswer = FakePortal::Answer::cancel;
        PortalHotkeyService service(mainQueue, log, {}, std::chrono::milliseconds(500));
        EXPECT_EQ(service.registerHotkey(40, 0x900, id), 1);
        EXPECT_THAT(hotkeyLog(), Contains(HasSubstr("refused the hot key ALT+LOGO+k (cancelled)")));
        // The user takes longer than the wait to answer the desktop's dialog.
        portal.bindAnswer = FakePortal::Answer::never;
        int losses = 0;
        service.setLossHandler([&] { ++losses; });
        EXPECT_EQ(service.registerHotkey(14, 0x1200, id), 0); // ⌃⇧E
        EXPECT_THAT(hotkeyLog(), Contains(HasSubstr("Waiting for the desktop to confirm the hot key CTRL+SHIFT+e")));
        portal.answerLater(1);
        ASSERT_TRUE(runUntil([&] { return lastLogLineHas("refused the hot key (cancelled)"); }));
        EXPECT_EQ(losses, 1) << "the late refusal is reported";
    }
    portal.bindAnswer = FakePortal::Answer::grant;
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
