#pragma once

namespace hb::app {

// The tray application: builds the Linux objects, hands them to the core as
// interfaces, runs the event loop and saves the settings at the end. Gives
// the exit status.
int runApplication(int argc, char** argv);

} // namespace hb::app
