#include "libreoffice_writer.h"

#include "platform/fake/memory_log.h"
#include "platform/linux/atspi_accessibility.h"

#include <signal.h>

namespace hb::e2e {

WriterProcesses startWriter(DesktopSession& session, const std::string& profileName)
{
    WriterProcesses processes;
    const std::string profile = "file://" + session.folder() + "/" + profileName;
    processes.launcher = session.launch(
        {"libreoffice", "-env:UserInstallation=" + profile, "--norestore", "--nologo", "--writer"},
        {{"SAL_USE_VCLPLUGIN", "gtk3"}});
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    linux_platform::AtspiAccessibility accessibility{log};
    DesktopSession::waitUntil(
        [&] {
            processes.writer = DesktopSession::childOf(processes.launcher, "soffice.bin");
            return processes.writer > 0 && DesktopSession::waitForMenuBar(accessibility, processes.writer, {});
        },
        std::chrono::seconds(60));
    return processes;
}

void stopWriter(DesktopSession& session, const WriterProcesses& processes)
{
    if (processes.writer > 0) {
        kill(processes.writer, SIGTERM);
        if (!DesktopSession::waitUntil([&] { return kill(processes.writer, 0) != 0; }, std::chrono::seconds(10)))
            kill(processes.writer, SIGKILL);
    }
    session.stopApplication(processes.launcher);
}

} // namespace hb::e2e
