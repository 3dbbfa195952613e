#include "poll_watches.h"
#include "tray_application.h"

#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "platform/linux/logind_system_wake.h"
#include "platform/linux/x11_hotkey_service.h"
#include "platform/linux/xinput_event_monitors.h"
#include "settings/settings_keys.h"
#include "triggers/double_tap_trigger.h"
#include "triggers/global_hotkey.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using platform::LogCategory;
using platform::LogLevel;

bool xdotool(const std::string& arguments)
{
    return std::system(("timeout 5 xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// Another X client holding a key grab on the root window.
class OtherGrab {
public:
    OtherGrab(std::uint8_t keycode, std::uint16_t modifiers) : connection_(xcb_connect(nullptr, nullptr))
    {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        auto error = xcb_request_check(connection_, xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode,
                                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        granted_ = !error;
        std::free(error);
    }
    ~OtherGrab() { xcb_disconnect(connection_); }
    bool granted() const { return granted_; }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    bool granted_ = false;
};

// The hot key's service and manager and the double tap on the input monitors,
// as the application installs them; the double tap is switched on.
struct BothTriggers {
    BothTriggers(linux_platform::ReadableWatches& watches, fake::VirtualRuntime& runtime, platform::Log& log,
                 const std::string& display = {})
        : service(watches, log, display), manager(service, runtime, log), monitors(watches, log, display),
          trigger(monitors, runtime, settings, log)
    {
        settings.set(keys::doubleTapEnabled, true);
    }

    linux_platform::X11HotkeyService service;
    HotkeyManager manager;
    linux_platform::XInputEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    DoubleTapTrigger trigger;
};

class TriggersOnX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { DesktopSession::shared(); }
    void TearDown() override { DesktopSession::shared().stopApplication(mousepad); }

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

    // Serves the X connections and the main queue for `duration`.
    void serve(std::chrono::milliseconds duration) { watches.runFor(duration, [&] { runtime.runMainQueue(); }); }

    // Runs xdotool while serving, so that events are handled when they happen;
    // then serves 300 ms more. Typings that follow each other start with a
    // pause longer than the double-tap window.
    bool typeWhileServing(const std::string& arguments)
    {
        const std::string command = "timeout 10 xdotool " + arguments;
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            return false;
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) != pid)
            serve(20ms);
        serve(300ms);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

TEST_F(TriggersOnX11, HotkeyPressedInAnotherApplicationActivatesOncePerPress)
{
    ASSERT_TRUE(startMousepadInFront());
    linux_platform::X11HotkeyService service(watches, log);
    ASSERT_TRUE(service.isConnected());
    HotkeyManager manager(service, runtime, log);
    int activations = 0;
    manager.onActivate = [&] { ++activations; };
    ASSERT_TRUE(manager.registerHotkey({40, 0x900, "⌥⌘K"}));

    ASSERT_TRUE(xdotool("key alt+super+k"));
    serve(700ms);
    EXPECT_EQ(activations, 1);

    // Held long enough for the keyboard to repeat.
    ASSERT_TRUE(xdotool("keydown alt+super+k"));
    serve(1500ms);
    ASSERT_TRUE(xdotool("keyup alt+super+k"));
    serve(300ms);
    EXPECT_EQ(activations, 2);

    // With Caps Lock on, the same combination.
    ASSERT_TRUE(xdotool("key Caps_Lock key alt+super+k key Caps_Lock"));
    serve(500ms);
    EXPECT_EQ(activations, 3);

    // Other combinations and the unregistered key do nothing.
    ASSERT_TRUE(xdotool("key super+k key alt+k"));
    manager.unregister();
    ASSERT_TRUE(xdotool("key alt+super+k"));
    serve(500ms);
    EXPECT_EQ(activations, 3);
}

TEST_F(TriggersOnX11, CombinationHeldByAnotherClientIsRefused)
{
    linux_platform::X11HotkeyService service(watches, log);
    HotkeyManager manager(service, runtime, log);
    constexpr std::uint8_t jKeycode = 44;  // J under the server's evdev keycodes
    const std::uint16_t altSuper = XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    {
        OtherGrab other(jKeycode, altSuper | XCB_MOD_MASK_LOCK);
        ASSERT_TRUE(other.granted());
        EXPECT_FALSE(manager.registerHotkey({38, 0x900, "⌥⌘J"}));
        EXPECT_FALSE(manager.isRegistered());
        EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error, "The desktop did not take the hot key Alt+Super+J (status=10)"));
    }
    // The variants that were granted before the refusal were given back.
    for (std::uint16_t variant : {0, int(XCB_MOD_MASK_2)}) {
        OtherGrab third(jKeycode, altSuper | variant);
        EXPECT_TRUE(third.granted()) << variant;
    }
    EXPECT_TRUE(manager.registerHotkey({38, 0x900, "⌥⌘J"}));

    // A key code the keyboard map has no key for.
    EXPECT_FALSE(manager.registerHotkey({52, 0x900, "⌥⌘?"}));
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error, "The keyboard map has no key for virtual key code 52"));
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error, "The desktop did not take the hot key Alt+Super+? (status=-2)"));
}

// Sets the keyboard map for a scope and puts the usual one back afterwards.
class KeyboardMap {
public:
    explicit KeyboardMap(const std::string& arguments)
    {
        applied_ = std::system(("setxkbmap " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }
    ~KeyboardMap() { std::system("setxkbmap -keycodes evdev -layout us >/dev/null 2>&1"); }
    bool applied() const { return applied_; }

private:
    bool applied_ = false;
};

TEST_F(TriggersOnX11, KeysFollowTheKeyboardMapOfTheMoment)
{
    ASSERT_TRUE(startMousepadInFront());
    linux_platform::XInputEventMonitors monitors(watches, log);
    std::vector<platform::KeyEvent> keys;
    monitors.addKeyDownMonitor([&](const platform::KeyEvent& key) { keys.push_back(key); });
    linux_platform::X11HotkeyService service(watches, log);
    HotkeyManager manager(service, runtime, log);
    int activations = 0;
    manager.onActivate = [&] { ++activations; };
    ASSERT_TRUE(manager.registerHotkey({123, 0x900, "⌥⌘←"}));

    ASSERT_TRUE(typeWhileServing("key y alt+super+Left"));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].keyCode, 16);
    EXPECT_EQ(keys[0].characters, "y");
    EXPECT_EQ(keys[1].keyCode, 123);
    EXPECT_EQ(keys[1].modifierFlags, platform::modifier_flags::option | platform::modifier_flags::command);
    EXPECT_EQ(activations, 1);

    // A German layout on other keycodes: the arrow moves from 113 to 100.
    KeyboardMap german("-keycodes xfree86 -layout de");
    ASSERT_TRUE(german.applied());
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
    linux_platform::XInputEventMonitors monitors(watches, log);
    ASSERT_TRUE(monitors.isAvailable());
    namespace flags = platform::modifier_flags;

    // Without a monitor the flags are asked of the server.
    ASSERT_TRUE(xdotool("keydown Shift_R keydown Super_L"));
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
    EXPECT_EQ(buttons, (std::vector{platform::MouseButton::left, platform::MouseButton::right,
                                    platform::MouseButton::other}));

    // A click that xcb takes in while it waits for an answer is still told.
    ASSERT_TRUE(xdotool("click 1"));
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
    {
        fake::VirtualRuntime noRuntime;
        PollWatches noWatches;
        BothTriggers none(noWatches, noRuntime, log, ":987");
        EXPECT_FALSE(none.service.isConnected());
        EXPECT_FALSE(none.monitors.isAvailable());
        EXPECT_EQ(noWatches.count(), 0u);
        EXPECT_FALSE(none.manager.registerHotkey(defaultHotkey));
        none.trigger.applySettings();
        EXPECT_FALSE(none.trigger.isStarted());
        EXPECT_EQ(none.monitors.currentModifierFlags(), 0u);
        for (const char* line : {"No X display: the global hot key is not available",
                                 "No X display: global input monitors are not available",
                                 "The desktop did not take the hot key Alt+Super+K (status=-1)",
                                 "DoubleTapTrigger: flagsMonitor is nil — no global input monitors (no X display, or no XInput 2)"})
            EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error, line)) << line;
    }

    BothTriggers triggers(watches, runtime, log);
    auto& [service, manager, monitors, settings, trigger] = triggers;
    ASSERT_TRUE(manager.registerHotkey(defaultHotkey));
    trigger.applySettings();
    ASSERT_TRUE(trigger.isStarted());
    ASSERT_EQ(watches.count(), 4u) << "the socket and the wake-up of each connection";
    for (int fd : watches.descriptors())
        ::shutdown(fd, SHUT_RDWR);  // the X sockets; the eventfds refuse it
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

// Plays logind on the session bus: owns its name and announces sleep and wake.
class FakeLogind {
public:
    FakeLogind()
    {
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!connection_)
            return;
        GVariant* result = g_dbus_connection_call_sync(
            connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.freedesktop.login1", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
            -1, nullptr, nullptr);
        if (result) {
            guint32 reply = 0;
            g_variant_get(result, "(u)", &reply);
            owned_ = reply == 1;
            g_variant_unref(result);
        }
    }
    ~FakeLogind()
    {
        if (connection_)
            g_object_unref(connection_);
    }
    bool owned() const { return owned_; }
    void prepareForSleep(bool sleeping)
    {
        g_dbus_connection_emit_signal(connection_, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                      "PrepareForSleep", g_variant_new("(b)", sleeping), nullptr);
        g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
    }

private:
    GDBusConnection* connection_ = nullptr;
    bool owned_ = false;
};

TEST_F(TriggersOnX11, WakeIsLogindsPrepareForSleepFalseThroughTheMainQueue)
{
    FakeLogind logind;
    ASSERT_TRUE(logind.owned());
    linux_platform::LogindSystemWake wake(runtime, log, std::getenv("DBUS_SESSION_BUS_ADDRESS"));
    ASSERT_TRUE(wake.isConnected());
    int wakes = 0;
    wake.addWakeObserver([&] { ++wakes; });
    auto iterate = [&](std::chrono::milliseconds duration) {
        DesktopSession::waitUntil([&] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            return false;
        }, duration);
    };

    logind.prepareForSleep(true);
    iterate(300ms);
    runtime.runMainQueue();
    EXPECT_EQ(wakes, 0);
    logind.prepareForSleep(false);
    iterate(300ms);
    EXPECT_EQ(wakes, 0) << "delivered through the main queue";
    runtime.runMainQueue();
    EXPECT_EQ(wakes, 1);

    linux_platform::LogindSystemWake nowhere(runtime, log, "unix:path=/nonexistent/bus");
    EXPECT_FALSE(nowhere.isConnected());
    EXPECT_EQ(sink.messages(LogCategory::hotkey).back().rfind("No system bus, so no wake notifications", 0), 0u);
}

} // namespace
} // namespace hb::e2e
