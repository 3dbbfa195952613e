#pragma once

#include "base/log.h"
#include "linux/exported_menus.h"
#include "linux/shortcuts_window_source.h"
#include "triggers/trigger_availability.h"

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>

namespace hb::linux_platform {

// Runs a row of an application's shortcuts window: activates the action the
// row names over the bus when the application exports it ("app." on its
// application object, "win." on its window's; without X11 window properties
// "app." actions are looked for under the application id that the bundle's
// resource path spells, "/org/gnome/TextEditor" → org.gnome.TextEditor, as
// GApplication names its objects), else presses the row's keys in
// the application's window once no other program holds the keyboard (the
// popup lets go of it as it closes; XTest, X11 only). Where neither is
// possible (Wayland without an exported action) nothing runs, the reason is
// logged and shown as a desktop notification. Main thread.
class ShortcutRunner {
public:
    using AddressLookup = std::function<std::optional<ExportedMenuAddress>(pid_t)>;
    // Presses the accelerator in the process's window; false when it cannot.
    using PressKeys = std::function<bool(pid_t, const std::string& accelerator)>;
    using Notify = std::function<void(const std::string& summary, const std::string& body)>;

    ShortcutRunner(platform::Log& log, SessionKind session, std::unique_ptr<MenuBus> bus = makeSessionMenuBus(),
                   AddressLookup lookup = exportedActionsAddress, PressKeys pressKeys = {}, Notify notify = {});

    // True when the action was activated or the key presses were started.
    bool run(pid_t pid, const ListedShortcuts& window, const ListedShortcut& shortcut);
    // Whether `run` can do it in this session: on X11 always (the keys can
    // be pressed), on Wayland only through an action the application exports.
    bool canRun(pid_t pid, const ListedShortcuts& window, const ListedShortcut& shortcut);

private:
    // Finds the exported action, and activates it unless only asked whether it exists.
    bool activate(pid_t pid, const std::string& resourcePath, const std::string& actionName, bool onlyFind = false);

    platform::Log& log_;
    SessionKind session_;
    std::unique_ptr<MenuBus> bus_;
    AddressLookup lookup_;
    PressKeys pressKeys_;
    Notify notify_;
};

// Presses a GTK accelerator in a window of the process with XTest, on a
// thread of its own: waits (up to two seconds) until no client holds the
// keyboard and a window of the process is active, asking the window manager
// to activate one when none is. False when there is no X display.
bool pressKeysWithXTest(pid_t pid, const std::string& accelerator);

// A desktop notification (org.freedesktop.Notifications), when a notification
// service runs.
void notifyDesktop(const std::string& summary, const std::string& body);

} // namespace hb::linux_platform
