#pragma once

#include "base/log.h"
#include "linux/readable_watches.h"
#include "linux/xcb_event_reader.h"
#include "platform/hotkey_service.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hb::linux_platform {

class X11Keymap;

// The global hot key as a passive key grab on the root window, on an X
// connection of its own that the main loop watches. The grab covers the
// Caps Lock and Num Lock variants; held keys repeat nothing. When the
// keyboard map changes, the grab follows the key to its new keycode.
class X11HotkeyService : public platform::HotkeyService {
public:
    // Statuses of a refused registration besides the X error code (BadAccess
    // 10 when another client holds the combination).
    static constexpr int noDisplayStatus = -1;
    static constexpr int noKeyStatus = -2;

    // An empty display name means $DISPLAY.
    X11HotkeyService(ReadableWatches& watches, platform::Log& log, const std::string& displayName = {});
    ~X11HotkeyService() override;
    X11HotkeyService(const X11HotkeyService&) = delete;
    X11HotkeyService& operator=(const X11HotkeyService&) = delete;

    bool isConnected() const;

    int registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, platform::HotkeyId id) override;
    void unregisterHotkey() override;
    void setPressHandler(std::function<void(platform::HotkeyId)> handler) override { handler_ = std::move(handler); }
    void setLossHandler(std::function<void()> handler) override { lossHandler_ = std::move(handler); }

private:
    struct Grab {
        std::uint32_t virtualKeyCode = 0;
        std::uint32_t carbonModifiers = 0;
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
        std::vector<std::uint16_t> lockVariants;
        platform::HotkeyId id;
    };

    void handleEvent(const xcb_generic_event_t& event);
    void keymapChanged();
    std::vector<std::uint16_t> lockVariants() const;
    void ungrab(std::uint8_t keycode, std::uint16_t modifiers, const std::vector<std::uint16_t>& variants);

    ReadableWatches& watches_;
    platform::Log& log_;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::unique_ptr<XcbEventReader> reader_;
    std::unique_ptr<X11Keymap> keymap_;
    std::uint8_t keymapEvent_ = 0;
    std::optional<Grab> grab_;
    bool held_ = false;            // the grabbed key is down: later presses are repeats
    std::uint32_t releasedAt_ = 0; // without detectable repeat, a repeat presses at its release time
    std::function<void(platform::HotkeyId)> handler_;
    std::function<void()> lossHandler_;
};

// X modifier masks of Carbon modifier bits: Control, Mod1 (Alt), Shift, Mod4 (Super).
std::uint16_t x11ModifierMask(std::uint32_t carbonModifiers);

} // namespace hb::linux_platform
