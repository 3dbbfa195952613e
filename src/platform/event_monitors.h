#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace hb::platform {

// Modifier keys in the system's own event flag values.
namespace modifier_flags {
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
inline constexpr std::uint64_t all = shift | control | option | command;
} // namespace modifier_flags

// A key press, in the system's virtual key codes (K is 40, Escape 53).
struct KeyEvent {
    std::int64_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    std::optional<std::string> characters; // the key's text without modifiers
    bool isRepeat = false;                 // an auto-repeat of a held key
};

enum class MouseButton { left, right, other };

// Global monitors: input that goes to other applications, delivered on the
// main thread. A monitor that cannot be had (no display, no input extension)
// is reported as none. Main thread only.
class EventMonitors {
public:
    using Token = std::uint64_t;

    virtual ~EventMonitors() = default;
    // Called with the complete modifier flags after every change of them.
    virtual std::optional<Token> addFlagsChangedMonitor(std::function<void(std::uint64_t flags)> handler) = 0;
    virtual std::optional<Token> addKeyDownMonitor(std::function<void(const KeyEvent&)> handler) = 0;
    virtual std::optional<Token> addMouseDownMonitor(std::function<void(MouseButton)> handler) = 0;
    virtual void removeMonitor(Token token) = 0;
    // The modifier keys held at this moment.
    virtual std::uint64_t currentModifierFlags() = 0;
};

} // namespace hb::platform
