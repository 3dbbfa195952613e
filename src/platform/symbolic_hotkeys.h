#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>

namespace hb::platform {

// The desktop's own symbolic hot keys (Spotlight, screenshots, Spaces …) as
// its window server reports them at this moment.
class SymbolicHotKeys {
public:
    // Carbon modifier bits of `Value::modifiers`.
    static constexpr std::uint32_t commandKey = 0x100;
    static constexpr std::uint32_t shiftKey = 0x200;
    static constexpr std::uint32_t optionKey = 0x800;
    static constexpr std::uint32_t controlKey = 0x1000;
    static constexpr std::uint16_t noKeyCode = 0xFFFF;

    struct Value {
        std::uint16_t keyCode = noKeyCode; // a virtual key code
        std::uint32_t modifiers = 0;       // Carbon bits
        bool enabled = false;
    };

    virtual ~SymbolicHotKeys() = default;

    // The values of those of `ids` that the desktop reports without error;
    // absent when the desktop cannot report hot keys at all.
    virtual std::optional<std::map<std::int64_t, Value>> values(std::span<const std::int64_t> ids) const = 0;
};

} // namespace hb::platform
