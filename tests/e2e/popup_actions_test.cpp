// What the popup does for the user over mousepad, driven with the mouse and
// keys like a user: the export to a file, a command that opens a modal
// dialog, Control-Q, and an application that has stopped answering.
#include "accessible_tree.h"
#include "tray_application.h"

#include "platform/fake/memory_log.h"
#include "platform/linux/atspi_accessibility.h"

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool contains(const std::vector<std::string>& names, std::string_view name)
{
    return std::ranges::find(names, name) != names.end();
}

class PopupActions : public TrayApplication {
protected:
    // A home folder of its own, which the export's file dialog proposes.
    void SetUp() override
    {
        home = session->folder() + "/popup-actions-home";
        fs::remove_all(home);
        fs::create_directories(home);
        startHintboard({{"HOME", home}});
    }

    bool hintboardRuns() { return hintboard > 0 && waitpid(hintboard, nullptr, WNOHANG) == 0; }
    // Opens the popup over mousepad, as a desktop shortcut bound to `hintboard toggle` does,
    // and waits for its rows: mousepad's own Quit is one of them.
    bool openOverMousepad()
    {
        run("xdotool search --onlyvisible --pid " + std::to_string(mousepad) + " windowactivate --sync");
        return status(std::string(HINTBOARD_EXECUTABLE) + " toggle") == 0 && DesktopSession::waitUntil(popupShown) &&
               DesktopSession::waitUntil([&] { return contains(accessibleNames(hintboard), "Quit"); });
    }
    // Clicks the element of Hintboard's windows that has this accessible name.
    bool clickAccessible(std::string_view name)
    {
        std::optional<std::pair<int, int>> centre;
        if (!DesktopSession::waitUntil([&] { return (centre = accessibleCentre(hintboard, name)).has_value(); }))
            return false;
        run("xdotool mousemove " + std::to_string(centre->first) + " " + std::to_string(centre->second) + " click 1");
        return true;
    }
    // Waits for Hintboard's window of that title and types into it from then on.
    bool typeInto(const std::string& title)
    {
        std::optional<Window> window;
        if (!DesktopSession::waitUntil([&] { return (window = hintboardWindowNamed(title)).has_value(); }))
            return false;
        run("xdotool windowactivate --sync " + window->id);
        return true;
    }
    // Asks for an export of the list to a file: the export button, then "Save as File…".
    // `button`: the export button's name, "Exported" once this popup exported.
    bool askForTheFileDialog(std::string_view button = "Export shortcuts")
    {
        if (!clickAccessible(button))
            return ADD_FAILURE() << "no export button", false;
        if (!typeInto("Export Shortcuts")) {
            screenshot("export-no-choice.png");
            return ADD_FAILURE() << "no choice after a click on the export button", false;
        }
        screenshot("export-choice.png");
        run("xdotool key Return");  // "Save as File…", the default button
        return typeInto("Save Shortcuts");
    }

    std::string home;
};

TEST_F(PopupActions, ExportToAFileSavesWithReturnOrCancelsAndHintboardKeepsRunning)
{
    const fs::path saved = fs::path(home) / "Mousepad Shortcuts.md";
    ASSERT_TRUE(openOverMousepad());
    ASSERT_TRUE(askForTheFileDialog()) << "no file dialog";
    screenshot("export-file-dialog.png");
    run("xdotool key Return");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return fs::exists(saved); })) << "nothing saved";
    // The popup comes back once the dialog is gone, and stays as mousepad takes the focus again.
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown));
    ASSERT_TRUE(hintboardRuns()) << "Hintboard ended with the export";
    std::ifstream file(saved);
    std::string heading;
    std::getline(file, heading);
    EXPECT_EQ(heading, "# Mousepad");

    fs::remove(saved);
    ASSERT_TRUE(askForTheFileDialog("Exported")) << "no file dialog";
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !hintboardWindowNamed("Save Shortcuts"); }));
    // The Escape was the dialog's: the popup comes back.
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown));
    EXPECT_TRUE(hintboardRuns()) << "Hintboard ended with the cancelled export";
    EXPECT_FALSE(fs::exists(saved));
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupActions, SaveAsRunFromThePopupLeavesMousepadAnsweringWhileItsDialogTakesKeys)
{
    // The requests that run applications' actions, meanwhile.
    const std::string calls = session->folder() + "/action-calls.txt";
    const pid_t monitor = session->launch(
        {"sh", "-c", "exec dbus-monitor --session \"interface='org.gtk.Actions',member='Activate'\" > " + calls});
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return run("cat " + calls).find("NameLost") != std::string::npos; }));

    const auto dialogShown = [&] { return DesktopSession::windowTitles(mousepad).find("Save As") != std::string::npos; };
    ASSERT_TRUE(openOverMousepad());
    run("xdotool type --delay 40 'save as'");
    run("xdotool key --delay 100 Tab Return");
    ASSERT_TRUE(DesktopSession::waitUntil(popupHidden));
    ASSERT_TRUE(DesktopSession::waitUntil(dialogShown)) << DesktopSession::windowTitles(mousepad);
    screenshot("mousepad-save-as-from-the-popup.png");
    // Run through its exported action, with no request of ours open meanwhile: pressed
    // over AT-SPI instead, GTK runs the command, and its modal dialog, inside the request.
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return run("cat " + calls).find("file.save-as") != std::string::npos; }))
        << run("cat " + calls);
    session->stopApplication(monitor);

    // A letter into the file name, then Escape closes the dialog (the first one may
    // close the name's completions).
    run("xdotool key --delay 100 q Escape Escape");
    const bool closed = DesktopSession::waitUntil([&] { return !dialogShown(); }, 1s);
    screenshot("mousepad-after-its-dialog.png");
    EXPECT_TRUE(closed) << DesktopSession::windowTitles(mousepad);
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    linux_platform::AtspiAccessibility atspi(log);
    const auto start = Clock::now();
    const auto menuBar = platform::readElement(atspi, atspi.applicationElement(mousepad), platform::ax::menuBar);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(menuBar) << "mousepad does not answer accessibility requests";
    EXPECT_TRUE(atspi.answers(mousepad));
}

TEST_F(PopupActions, ControlQOverMousepadAsksWhatShouldHappenAndMousepadKeepsRunning)
{
    ASSERT_TRUE(openOverMousepad());
    run("xdotool key ctrl+q");
    const auto overlayShown = [&] { return contains(accessibleNames(hintboard), "What should happen?"); };
    EXPECT_TRUE(DesktopSession::waitUntil(overlayShown)) << ::testing::PrintToString(accessibleNames(hintboard));
    screenshot("ctrl-q-overlay.png");
    const auto names = accessibleNames(hintboard);
    for (const char* option : {"Quit in Mousepad", "Quit Hintboard", "Cancel"})
        EXPECT_TRUE(contains(names, option)) << option;

    run("xdotool key Escape");  // takes the overlay away, the popup stays
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !overlayShown(); }));
    EXPECT_TRUE(popupShown());
    EXPECT_TRUE(session->isRunning(mousepad)) << "mousepad quit";
    EXPECT_TRUE(hintboardRuns());
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupActions, TheNextPopupOverAStoppedApplicationSaysItDoesNotAnswer)
{
    run("xdotool search --onlyvisible --pid " + std::to_string(mousepad) + " windowactivate --sync");
    kill(mousepad, SIGSTOP);
    const auto start = Clock::now();
    ASSERT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " toggle"), 0);
    const std::string message = "Mousepad does not answer (it may be busy or stopped)";
    const bool said = DesktopSession::waitUntil([&] { return contains(accessibleNames(hintboard), message); });
    const auto waited = Clock::now() - start;
    screenshot("popup-over-a-stopped-mousepad.png");
    const auto names = accessibleNames(hintboard);
    kill(mousepad, SIGCONT);
    EXPECT_TRUE(said) << ::testing::PrintToString(names);
    // Its read waits once for the one-second timeout (and for a pre-read begun at the activation).
    EXPECT_LT(waited, 4s);
    EXPECT_TRUE(closeWithEscape());
    EXPECT_TRUE(hintboardRuns());
}

} // namespace
} // namespace hb::e2e
