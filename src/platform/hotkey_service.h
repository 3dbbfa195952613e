#pragma once

#include <cstdint>
#include <functional>

namespace hb::platform {

// Identifies a registered hot key to its owner.
struct HotkeyId {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    friend bool operator==(const HotkeyId&, const HotkeyId&) = default;
};

// The desktop's global hot keys: one combination at a time, pressed while any
// application is in front. Main thread only.
class HotkeyService {
public:
    virtual ~HotkeyService() = default;
    // Registers a virtual key code with Carbon modifier bits (Command 0x100,
    // Shift 0x200, Option 0x800, Control 0x1000). Gives 0 when registered,
    // otherwise the status of the refusal (another client holds it, the key
    // is not on the keyboard, there is no display).
    virtual int registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, HotkeyId id) = 0;
    virtual void unregisterHotkey() = 0;
    // Called on the main thread once per press (held keys repeat nothing),
    // with the identifier of the pressed hot key.
    virtual void setPressHandler(std::function<void(HotkeyId)> handler) = 0;
    // Called on the main thread when a registration that succeeded stops
    // working (the connection to the desktop was lost, the desktop refused it
    // late or took it back); nothing is registered afterwards.
    virtual void setLossHandler(std::function<void()> handler) = 0;
};

} // namespace hb::platform
