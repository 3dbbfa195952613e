#include "linux/shortcut_runner.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace hb::linux_platform {

using platform::LogCategory;
using platform::privately;

ShortcutRunner::ShortcutRunner(platform::Log& log, SessionKind session, std::unique_ptr<MenuBus> bus,
                               AddressLookup lookup, PressKeys pressKeys, Notify notify)
    : log_(log), session_(session), bus_(std::move(bus)), lookup_(std::move(lookup)),
      pressKeys_(pressKeys ? std::move(pressKeys) : PressKeys(pressKeysWithXTest)),
      notify_(notify ? std::move(notify) : Notify(notifyDesktop))
{}

bool ShortcutRunner::activate(pid_t pid, const std::string& resourcePath, const std::string& actionName, bool onlyFind)
{
    const auto dot = actionName.find('.');
    if (dot == std::string::npos)
        return false;
    const auto scope = actionName.substr(0, dot);
    const auto name = actionName.substr(dot + 1);
    auto activateAt = [&](const std::string& busName, const std::string& path) {
        return !path.empty() && bus_->describe(busName, path, name)
               && (onlyFind || bus_->activate(busName, path, name, ""));
    };
    if (const auto address = lookup_(pid))
        return activateAt(address->busName, scope == "app"   ? address->applicationPath
                                            : scope == "win" ? address->windowPath
                                                             : std::string());
    if (scope != "app")
        return false;
    // "/org/gnome/TextEditor/ui/help-overlay.ui": the longest leading path
    // that is an application's object, at the bus name it spells.
    for (auto end = resourcePath.rfind('/'); end != std::string::npos && end > 0;
         end = resourcePath.rfind('/', end - 1)) {
        const auto path = resourcePath.substr(0, end);
        if (std::count(path.begin(), path.end(), '/') < 2)
            break;
        auto busName = path.substr(1);
        std::replace(busName.begin(), busName.end(), '/', '.');
        if (activateAt(busName, path))
            return true;
    }
    return false;
}

bool ShortcutRunner::canRun(pid_t pid, const ListedShortcuts& window, const ListedShortcut& shortcut)
{
    return session_ == SessionKind::x11
           || (!shortcut.actionName.empty() && activate(pid, window.resourcePath, shortcut.actionName, true));
}

bool ShortcutRunner::run(pid_t pid, const ListedShortcuts& window, const ListedShortcut& shortcut)
{
    if (!shortcut.actionName.empty() && activate(pid, window.resourcePath, shortcut.actionName)) {
        log_.info(LogCategory::accessibility, "Activated {} for '{}'", shortcut.actionName, privately(shortcut.title));
        return true;
    }
    if (session_ == SessionKind::x11 && pressKeys_(pid, shortcut.accelerator)) {
        log_.info(LogCategory::accessibility, "Pressing {} for '{}'", shortcut.accelerator, privately(shortcut.title));
        return true;
    }
    const std::string reason =
        session_ == SessionKind::wayland
            ? "On Wayland no program may press keys in another application's window, and the application does not "
              "export an action for this command. Press the keys yourself."
            : "The application exports no action for this command and its keys cannot be pressed in its window.";
    log_.error(LogCategory::accessibility, "Cannot run '{}': {}", privately(shortcut.title), reason);
    notify_("Hintboard cannot run “" + shortcut.title + "”", reason);
    return false;
}

namespace {

std::optional<unsigned long> windowProperty(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count, &after, &data)
        != Success)
        return std::nullopt;
    std::optional<unsigned long> value;
    if (data && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    return value;
}

std::vector<Window> clientWindows(Display* display, Window root)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Window> windows;
    if (XGetWindowProperty(display, root, XInternAtom(display, "_NET_CLIENT_LIST", False), 0, 4096, False, XA_WINDOW,
                           &actualType, &format, &count, &after, &data)
            == Success
        && data && format == 32) {
        const auto* list = reinterpret_cast<unsigned long*>(data);
        windows.assign(list, list + count);
    }
    if (data)
        XFree(data);
    return windows;
}

bool activeWindowIsOf(Display* display, Window root, pid_t pid)
{
    const auto active = windowProperty(display, root, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW);
    if (!active || *active == 0)
        return false;
    const auto owner = windowProperty(display, *active, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL);
    return owner && static_cast<pid_t>(*owner) == pid;
}

void requestActivation(Display* display, Window root, pid_t pid)
{
    const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
    for (auto window : clientWindows(display, root)) {
        const auto owner = windowProperty(display, window, wmPid, XA_CARDINAL);
        if (!owner || static_cast<pid_t>(*owner) != pid)
            continue;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2; // from a pager: the user asked for it
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(display);
        return;
    }
}

struct Chord {
    std::vector<KeySym> modifiers;
    KeySym key = NoSymbol;
};

std::optional<Chord> chordOf(std::string_view accelerator)
{
    Chord chord;
    while (accelerator.starts_with('<')) {
        const auto close = accelerator.find('>');
        if (close == std::string_view::npos)
            return std::nullopt;
        std::string name(accelerator.substr(1, close - 1));
        for (auto& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "primary" || name == "control" || name == "ctrl" || name == "ctl")
            chord.modifiers.push_back(XK_Control_L);
        else if (name == "shift" || name == "shft")
            chord.modifiers.push_back(XK_Shift_L);
        else if (name == "alt" || name == "mod1")
            chord.modifiers.push_back(XK_Alt_L);
        else if (name == "super" || name == "meta" || name == "mod4" || name == "hyper")
            chord.modifiers.push_back(XK_Super_L);
        else
            return std::nullopt;
        accelerator.remove_prefix(close + 1);
    }
    std::string key(accelerator);
    if (key.size() == 1)
        key[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
    chord.key = XStringToKeysym(key.c_str());
    if (chord.key == NoSymbol)
        return std::nullopt;
    return chord;
}

void pressChord(Display* display, const Chord& chord)
{
    const KeyCode key = XKeysymToKeycode(display, chord.key);
    if (key == 0)
        return;
    std::vector<KeyCode> held;
    for (auto modifier : chord.modifiers)
        held.push_back(XKeysymToKeycode(display, modifier));
    // A symbol on the key's shifted level ("question") needs Shift.
    if (XkbKeycodeToKeysym(display, key, 0, 0) != chord.key && XkbKeycodeToKeysym(display, key, 0, 1) == chord.key)
        held.push_back(XKeysymToKeycode(display, XK_Shift_L));
    for (auto code : held)
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    for (auto code = held.rbegin(); code != held.rend(); ++code)
        XTestFakeKeyEvent(display, *code, False, CurrentTime);
    XSync(display, False);
}

} // namespace

bool pressKeysWithXTest(pid_t pid, const std::string& accelerator)
{
    if (!std::getenv("DISPLAY"))
        return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    const auto chord = chordOf(accelerator);
    if (!chord || !XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return false;
    }
    std::thread([display, pid, chord = *chord] {
        using namespace std::chrono_literals;
        const Window root = DefaultRootWindow(display);
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        bool free = false;
        bool asked = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!free
                && XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) {
                XUngrabKeyboard(display, CurrentTime);
                free = true;
            }
            const bool active = activeWindowIsOf(display, root, pid);
            if (free && active)
                break;
            if (!active && !asked) {
                requestActivation(display, root, pid);
                asked = true;
            }
            std::this_thread::sleep_for(10ms);
        }
        if (free && activeWindowIsOf(display, root, pid))
            pressChord(display, chord);
        XCloseDisplay(display);
    }).detach();
    return true;
}

void notifyDesktop(const std::string& summary, const std::string& body)
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
        "Notify",
        g_variant_new("(susssasa{sv}i)", "Hintboard", 0u, "", summary.c_str(), body.c_str(), nullptr, nullptr, -1),
        nullptr, G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    if (reply)
        g_variant_unref(reply);
    g_object_unref(bus);
}

} // namespace hb::linux_platform
