#pragma once

#include <span>
#include <string_view>

namespace hb::app {

// `hintboard shortcuts …`: prints the keyboard shortcuts of a running
// application's menu bar. Takes the arguments after "shortcuts"; gives the
// exit status.
int runShortcutsCommand(std::span<const std::string_view> arguments);

} // namespace hb::app
