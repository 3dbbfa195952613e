#pragma once

#include <string_view>

namespace hb::app {

// `hintboard toggle|show|settings|quiz|quit`: calls the running instance; all but Quit
// let the session bus start one where Hintboard's service file is installed.
// Gives the exit status: 0 when it was called, 1 when none answers.
int sendToRunningInstance(std::string_view method);

} // namespace hb::app
