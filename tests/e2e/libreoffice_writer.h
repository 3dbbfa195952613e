#pragma once

// LibreOffice Writer with its GTK 3 backend and a profile of its own, in the
// private session: the launcher script becomes oosplash, which runs
// soffice.bin, and runs it again when the first start with a new profile asks
// for a restart.
#include "desktop_session.h"

#include <sys/types.h>

#include <string>

namespace hb::e2e {

struct WriterProcesses {
    pid_t launcher = -1;
    pid_t writer = -1;  // soffice.bin, whose menu bar could be read unless a minute was not enough
};

WriterProcesses startWriter(DesktopSession& session, const std::string& profileName);
void stopWriter(DesktopSession& session, const WriterProcesses& processes);

} // namespace hb::e2e
