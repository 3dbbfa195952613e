#pragma once

#include "platform/event_monitors.h"

#include <QtCore/qnamespace.h>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace hb::views {

// Virtual key code for a key without a place on the US keyboard.
inline constexpr std::int64_t unknownKeyCode = -1;

// Qt's keyboard modifiers as event modifier flags: Shift, Control, Alt as
// Option, Super (Meta) as Command.
std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers);

// The flag a modifier key itself stands for, when it is one.
std::optional<std::uint64_t> modifierKeyFlag(int qtKey);

// A key press in the virtual key codes of the US layout, with the key's text
// without modifiers.
platform::KeyEvent keyEvent(const QKeyEvent& event);

} // namespace hb::views
