#pragma once

#include "base/log.h"
#include "model/shortcut.h"
#include "platform/accessibility.h"

namespace hb {

// Runs a row's menu command by pressing the menu item it was read from.
// The live item is checked first: a disabled item is not pressed, a changed
// title is logged and still pressed. True when the item was pressed; rows
// without an element (separators, other sources) do nothing and give false.
bool press(platform::Accessibility& accessibility, platform::Log& log, const Shortcut& shortcut);

} // namespace hb
