#include "triggers/trigger_availability.h"

namespace hb {

SessionKind sessionKind(std::string_view waylandDisplay, std::string_view sessionType)
{
    return !waylandDisplay.empty() || sessionType == "wayland" ? SessionKind::wayland : SessionKind::x11;
}

std::string_view sessionName(SessionKind kind)
{
    return kind == SessionKind::wayland ? "Wayland" : "X11";
}

TriggerAvailability triggerAvailability(SessionKind kind, bool globalShortcutsPortal)
{
    TriggerAvailability availability;
    if (kind == SessionKind::x11)
        return availability;
    availability.doubleTapAvailable = false;
    availability.doubleTapReason =
        "Wayland desktops do not let applications watch the modifier keys, so the double tap cannot work "
        "in this session.";
    if (globalShortcutsPortal) {
        availability.hotkeyRoute = HotkeyRoute::portal;
        availability.hotkeyNote = "The desktop asks you to confirm the hot key, and you can change it in its "
                                  "keyboard settings.";
    } else {
        availability.hotkeyRoute = HotkeyRoute::desktopBinding;
        availability.hotkeyNote = "This desktop binds keys only in its own keyboard settings. Add a custom "
                                  "shortcut there that runs this command:";
        availability.bindingPlaces = "GNOME: Settings → Keyboard → View and Customize Shortcuts → Custom Shortcuts.\n"
                                     "KDE Plasma: System Settings → Keyboard → Shortcuts → Add New → Command or "
                                     "Script.";
    }
    return availability;
}

} // namespace hb
