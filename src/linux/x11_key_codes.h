#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <xcb/xcb.h>

struct xkb_keymap;

namespace hb::linux_platform {

// The physical key of a virtual key code, as an XKB key name ("AC08" for K),
// and back. Aliases ("AC12") resolve through a keymap, not here.
std::optional<std::string_view> xkbKeyName(std::uint32_t virtualKeyCode);
std::optional<std::uint32_t> virtualKeyCode(std::string_view xkbKeyName);

// One of the four modifier flags (Shift, Control, Option, Command), or 0 for
// a key that is not a modifier key. Left and right keys both count.
std::uint64_t modifierFlagOfKeysym(std::uint32_t keysym);

// Asks the server to tell `connection` when the keyboard map changes (a new
// keyboard or a new map). Gives the XKB event code to pass to
// `isKeymapChange`, or 0 when the server cannot tell.
std::uint8_t selectKeymapChanges(xcb_connection_t* connection);
bool isKeymapChange(const xcb_generic_event_t* event, std::uint8_t xkbEventCode);

// A keyboard map: virtual key codes to X keycodes and back, and what each key
// is. Built from the X server's current map or, for tests, from XKB names.
class X11Keymap {
public:
    // The server's map of the core keyboard; none when the connection lacks XKB.
    static std::unique_ptr<X11Keymap> fromServer(xcb_connection_t* connection);
    // A map compiled from rules, model and layout ("evdev", "pc105", "us").
    static std::unique_ptr<X11Keymap> fromNames(const std::string& rules, const std::string& model,
                                                const std::string& layout);
    ~X11Keymap();
    X11Keymap(const X11Keymap&) = delete;
    X11Keymap& operator=(const X11Keymap&) = delete;

    // None when the map has no such key.
    std::optional<std::uint8_t> keycode(std::uint32_t virtualKeyCode) const;
    std::optional<std::uint32_t> virtualKeyCode(std::uint8_t keycode) const;
    // The modifier flag of the key's first-level symbol, or 0.
    std::uint64_t modifierFlag(std::uint8_t keycode) const { return modifierFlags_[keycode]; }
    // The text of the key without modifiers in the first group; empty when none.
    std::string characters(std::uint8_t keycode) const;
    // The keycodes that produce a keysym in the first group, first level; 0 when none.
    std::uint8_t keycodeOfKeysym(std::uint32_t keysym) const;

private:
    explicit X11Keymap(xkb_keymap* keymap);

    xkb_keymap* keymap_;
    // keycode → virtual key code + 1 (0: none), and each keycode's modifier flag.
    std::uint32_t virtualCodes_[256] = {};
    std::uint64_t modifierFlags_[256] = {};
};

} // namespace hb::linux_platform
