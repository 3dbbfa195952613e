#pragma once

#include <string>
#include <string_view>

namespace hb {

// The kind of graphical session, chosen once at start.
enum class SessionKind { x11, wayland };

// Wayland when WAYLAND_DISPLAY is set or XDG_SESSION_TYPE says "wayland"
// (empty values count as unset); X11 otherwise.
SessionKind sessionKind(std::string_view waylandDisplay, std::string_view sessionType);
std::string_view sessionName(SessionKind kind); // "X11" or "Wayland"

// How the hot key reaches the program.
enum class HotkeyRoute {
    keyGrab,        // a grab of the key on the X display
    portal,         // the desktop portal's global shortcuts
    desktopBinding, // only the desktop's keyboard settings, running toggleCommand
};

// Which triggers work in this session and, where one does not, why and what
// to do instead; for the settings window and the wizard.
struct TriggerAvailability {
    static constexpr std::string_view toggleCommand = "hintboard toggle";

    bool doubleTapAvailable = true;
    std::string doubleTapReason; // empty when available
    HotkeyRoute hotkeyRoute = HotkeyRoute::keyGrab;
    std::string hotkeyNote; // empty when the hot key needs no explanation
    // With `desktopBinding`: where the common desktops take a custom shortcut.
    std::string bindingPlaces;

    friend bool operator==(const TriggerAvailability&, const TriggerAvailability&) = default;
};

// `globalShortcutsPortal`: whether the session's desktop portal offers global shortcuts.
TriggerAvailability triggerAvailability(SessionKind kind, bool globalShortcutsPortal);

} // namespace hb
