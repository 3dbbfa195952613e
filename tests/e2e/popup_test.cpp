// The tray application over mousepad, driven like a user: the status icon and
// its menu, the hot key, the popup's list read back as assistive technologies
// see it, its keyboard journey, its actions (export, Control-Q, a stopped
// application) and the ends of the program; and `hintboard toggle` with no
// Hintboard running: the session bus starts one from the service file it finds
// on XDG_DATA_DIRS, and the popup opens over the application in front.
#include "accessible_tree.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "linux/program_paths.h"

#include <fmt/format.h>
#include <gmock/gmock.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using ::testing::HasSubstr;

// A home folder of its own, which the export's file dialog proposes.
class PopupOverMousepad : public TrayApplication {
protected:
    void SetUp() override
    {
        home = freshConfigFolder("popup-home");
        startHintboard({{"HOME", home}});
    }

    bool hintboardRuns() { return hintboard > 0 && session->isRunning(hintboard); }
    bool showsText(const std::string& text, std::chrono::milliseconds timeout = 5s)
    {
        return DesktopSession::waitUntil([&] { return std::ranges::count(accessibleNames(hintboard), text) > 0; },
                                         timeout);
    }
    std::string shownTexts() { return testing::PrintToString(accessibleNames(hintboard)); }
    // Opens the popup over the active window and waits until its list is drawn.
    void openAndRead()
    {
        ASSERT_TRUE(openWithHotKey());
        DesktopSession::waitUntil([&] { return !shownRows(hintboard).empty(); });
    }
    // Clicks the element of Hintboard's windows that has this accessible name.
    bool clickAccessible(std::string_view name)
    {
        std::optional<AccessibleElement> element;
        if (!DesktopSession::waitUntil(
                [&] { return (element = findAccessible(hintboard, name)) && element->width > 0; }))
            return false;
        run(fmt::format("xdotool mousemove {} {} click 1", element->x + element->width / 2,
                        element->y + element->height / 2));
        return true;
    }

    std::string home;
};

// The status icon and the hot key toggle the popup, which leaves mousepad active; a click
// elsewhere closes it; the status menu's first entry shows it, its last one quits.
TEST_F(PopupOverMousepad, StatusIconAndHotKeyToggleThePopupAndItsMenuShowsItOrQuits)
{
    const Window icon = *trayIcon();
    click(icon, 1);
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown)) << "the popup did not open";
    click(icon, 1);
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden)) << "the popup did not close";

    const std::string before = activeWindow();
    // Held as long as users hold it, shorter than the keyboard's repeat delay.
    for (const auto held : {20ms, 350ms}) {
        // Let go in the order a hand lets go.
        run(fmt::format("xdotool keydown alt+super+k sleep {} keyup k keyup super keyup alt", held.count() / 1000.0));
        const bool open = held == 20ms;
        EXPECT_TRUE(DesktopSession::waitUntil(open ? popupShown : popupHidden, 3s)) << "held " << held.count() << " ms";
        std::this_thread::sleep_for(300ms); // settled: no second change follows
        EXPECT_EQ(popupShown(), open) << "held " << held.count() << " ms";
        EXPECT_EQ(activeWindow(), before) << "the popup took the activation";
    }
    ASSERT_TRUE(openWithHotKey());
    run("import -window root popup-over-mousepad.png"); // looked at: the popup over mousepad
    run("xdotool mousemove 5 1000 click 1");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden)) << "a click elsewhere left it open";

    ASSERT_TRUE(openStatusMenu()) << "no status menu";
    EXPECT_FALSE(popupShown());
    run("xdotool key --delay 150 Down Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupShown)) << "the entry did nothing";
    EXPECT_TRUE(closeWithEscape());
    const auto menu = openStatusMenu();
    ASSERT_TRUE(menu) << "no status menu";
    run(fmt::format("xdotool mousemove {} {} click 1", menu->x + menu->width / 3, menu->y + menu->height - 12));
    EXPECT_EQ(exitStatus(), 0);
}

// Held modifiers filter until released; then the whole list shows, the commands of
// mousepad with their keys as the command reads them.
TEST_F(PopupOverMousepad, HeldTriggerFiltersUntilReleasedThenRowsAreMousepads)
{
    std::vector<std::string> expected;
    for (const auto& row : jsonRows(hintboardCommand("shortcuts --front --json").output))
        if (!row.keys.empty())
            expected.push_back(row.menu + "/" + row.title + "=" + row.label);
    const std::string count = std::to_string(expected.size());
    ASSERT_GT(expected.size(), 20u);
    run("xdotool keydown alt+super+k keyup k");
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown));
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        return std::ranges::any_of(accessibleNames(hintboard),
                                   [&](const std::string& name) { return name.ends_with(" of " + count); });
    })) << "held modifiers do not filter: "
        << shownTexts();
    // One release event each, and nothing else pressed.
    run("xdotool keyup super");
    run("xdotool keyup alt");
    EXPECT_TRUE(showsText(count + " shortcuts", 2s)) << shownTexts();
    std::vector<std::string> rows;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return (rows = shownRows(hintboard)) == expected; }))
        << testing::PrintToString(rows);
    run("import -window root popup-list-mousepad.png");
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupOverMousepad, SettingsOpenedFromThePopupAreInFrontWithTheKeyboard)
{
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(clickAccessible("Settings")) << shownTexts();
    std::optional<Window> settings;
    ASSERT_TRUE(
        DesktopSession::waitUntil([&] { return (settings = hintboardWindowNamed("Hintboard Settings")).has_value(); }));
    // The popup by its title: the settings window is a large window of the program too.
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Hintboard"); })) << "the popup stayed";
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        return std::stoul(run("xdotool getactivewindow")) == std::stoul(settings->id, nullptr, 0);
    })) << "the settings window does not have the keyboard";
    run("xdotool key Escape");
}

// The export button, then "Save as File…", the default button, then Return in the file dialog.
TEST_F(PopupOverMousepad, ExportToAFileSavesWithReturnAndHintboardKeepsRunning)
{
    const fs::path saved = fs::path(home) / "Mousepad Shortcuts.md";
    openAndRead();
    ASSERT_TRUE(clickAccessible("Export shortcuts")) << "no export button";
    ASSERT_TRUE(activateHintboardWindow("Export Shortcuts")) << "no choice after a click on the export button";
    run("xdotool key Return");
    ASSERT_TRUE(activateHintboardWindow("Save Shortcuts")) << "no file dialog";
    run("xdotool key Return");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return fs::exists(saved); })) << "nothing saved";
    // The popup comes back once the dialog is gone, and stays as mousepad takes the focus again.
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown));
    ASSERT_TRUE(hintboardRuns()) << "Hintboard ended with the export";
    EXPECT_TRUE(DesktopSession::fileText(saved).starts_with("# Mousepad\n"));
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupOverMousepad, SaveAsRunFromThePopupLeavesMousepadAnsweringWhileItsDialogTakesKeys)
{
    // The requests that run applications' actions, meanwhile.
    const std::string calls = session->folder() + "/action-calls.txt";
    const pid_t monitor = session->launch(
        {"sh", "-c", "exec dbus-monitor --session \"interface='org.gtk.Actions',member='Activate'\" > " + calls});
    ASSERT_TRUE(DesktopSession::waitUntil(
        [&] { return DesktopSession::fileText(calls).find("NameLost") != std::string::npos; }));

    const auto dialogShown = [&] {
        return DesktopSession::windowTitles(mousepad).find("Save As") != std::string::npos;
    };
    openAndRead();
    run("xdotool type --delay 40 'save as'");
    run("xdotool key --delay 100 Tab Return");
    ASSERT_TRUE(DesktopSession::waitUntil(popupHidden));
    ASSERT_TRUE(DesktopSession::waitUntil(dialogShown)) << DesktopSession::windowTitles(mousepad);
    // Run through its exported action, with no request of ours open meanwhile: pressed
    // over AT-SPI instead, GTK runs the command, and its modal dialog, inside the request.
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        return DesktopSession::fileText(calls).find("file.save-as") != std::string::npos;
    })) << DesktopSession::fileText(calls);
    session->stopApplication(monitor);

    // A letter into the file name, then Escape closes the dialog (the first one may
    // close the name's completions).
    run("xdotool key --delay 100 q Escape Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !dialogShown(); }, 1s))
        << DesktopSession::windowTitles(mousepad);
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    linux_platform::AtspiAccessibility atspi(log);
    const auto start = Clock::now();
    const auto menuBar = platform::readElement(atspi, atspi.applicationElement(mousepad), platform::ax::menuBar);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(menuBar) << "mousepad does not answer accessibility requests";
    EXPECT_TRUE(atspi.answers(mousepad));
}

// What changes without a focus change is announced, once: the count after
// typing pauses, the overlay's question with its keys; the focus comes back
// to the filter when the overlay goes.
TEST_F(PopupOverMousepad, ControlQAsksWhatShouldHappenAndMousepadKeepsRunningAndBothAreAnnouncedOnce)
{
    HeardEvents announcements(hintboard);
    openAndRead();
    run("xdotool type --delay 40 save");
    ASSERT_TRUE(announcements.waitFor(" of ")) << testing::PrintToString(announcements.said());
    run("xdotool key Escape"); // clears the filter
    run("xdotool key ctrl+q");
    ASSERT_TRUE(showsText("What should happen?")) << shownTexts();
    ASSERT_TRUE(announcements.waitFor("What should happen? ")) << testing::PrintToString(announcements.said());

    HeardEvents events(hintboard, true);
    run("xdotool key Escape"); // takes the overlay away, the popup stays
    EXPECT_TRUE(events.waitFor(": Filter [")) << testing::PrintToString(events.said());
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !showsText("What should happen?", 0ms); }));
    EXPECT_TRUE(popupShown());
    EXPECT_TRUE(session->isRunning(mousepad)) << "mousepad quit";
    EXPECT_TRUE(hintboardRuns());
    const auto& said = announcements.said();
    EXPECT_EQ(announcements.count(" of "), 1) << testing::PrintToString(said);
    EXPECT_EQ(announcements.count("What should happen?"), 1) << testing::PrintToString(said);
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupOverMousepad, TheNextPopupOverAStoppedApplicationSaysItDoesNotAnswer)
{
    run("xdotool search --onlyvisible --pid " + std::to_string(mousepad) + " windowactivate --sync");
    kill(mousepad, SIGSTOP);
    const auto start = Clock::now();
    ASSERT_EQ(hintboardCommand("toggle").status, 0);
    const bool said = showsText("Mousepad does not answer (it may be busy or stopped)");
    const auto waited = Clock::now() - start;
    const auto names = shownTexts();
    kill(mousepad, SIGCONT);
    EXPECT_TRUE(said) << names;
    // Its read waits once for the one-second timeout (and for a pre-read begun at the activation).
    EXPECT_LT(waited, 4s);
    EXPECT_TRUE(closeWithEscape());
    EXPECT_TRUE(hintboardRuns());
}

TEST_F(PopupOverMousepad, IconComesBackWhenTheTrayHostRestartsAndATerminationSignalEndsCleanly)
{
    session->stopApplication(tray);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return !trayIcon(); }));
    tray = startTrayHost();
    EXPECT_TRUE(DesktopSession::waitUntil([] { return trayIcon().has_value(); }));
    ASSERT_TRUE(hintboardRuns()) << "the program ended with its tray host";
    kill(hintboard, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_NE(DesktopSession::fileText(settingsFile()), "");
    EXPECT_EQ(hintboardCommand("quit").status, 1) << "quit without an instance";
}

// A main thread stuck for good (a test hook on the toggle request stands in
// for a hang inside Qt): SIGTERM still ends the program within 3 s, and the
// settings file, written whole at each change, is left as it was.
TEST_F(PopupOverMousepad, AStuckMainThreadEndsWithinThreeSecondsOfATerminationSignalWithTheSettingsWhole)
{
    TearDown();
    const std::string marker = session->folder() + "/stalled";
    fs::remove(marker);
    startHintboard({{"HINTBOARD_TEST_STALL_ON_TOGGLE", marker}});
    // The request never gets its answer; the command ends with the program.
    ASSERT_EQ(std::system(HINTBOARD_EXECUTABLE " toggle >/dev/null 2>&1 &"), 0);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return fs::exists(marker); })) << "the hook did not run";
    // Written by the main thread, which is stuck from now on.
    const std::string saved = DesktopSession::fileText(settingsFile());
    ASSERT_NE(saved.find("</plist>"), std::string::npos);
    kill(hintboard, SIGTERM);
    EXPECT_EQ(exitStatus(3s), 128 + SIGTERM) << "not ended within 3 s";
    EXPECT_EQ(DesktopSession::fileText(settingsFile()), saved);
}

// Gone, or a zombie that its parent has not reaped yet.
bool processEnded(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    return !std::getline(stat, line) || line.substr(line.rfind(')') + 2, 1) == "Z";
}

class Activation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char folder[] = "/tmp/hintboard-activation.XXXXXX";
        dataFolder = mkdtemp(folder);
        std::filesystem::create_directories(dataFolder + "/dbus-1/services");
        // The session bus reads XDG_DATA_DIRS once, when it starts.
        const char* dataDirs = std::getenv("XDG_DATA_DIRS");
        setenv("XDG_DATA_DIRS",
               (dataFolder + ":" + (dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share")).c_str(), 1);
        const std::string before = std::getenv("HINTBOARD_SESSION") ? std::getenv("HINTBOARD_SESSION") : "";
        session = &DesktopSession::shared();
        busSeesFolder = before != session->folder();
        markWizardSeen();
    }

    static void TearDownTestSuite() { std::filesystem::remove_all(dataFolder); }

    static inline DesktopSession* session = nullptr;
    static inline std::string dataFolder;
    static inline bool busSeesFolder = false;
};

TEST_F(Activation, ToggleSaysWhenNothingAnswersAndStartsHintboardFromTheServiceFile)
{
    if (!busSeesFolder)
        GTEST_SKIP() << "the session bus of this test program started before the service folder was set; "
                        "run this test on its own";
    const std::string toggle = HINTBOARD_EXECUTABLE " toggle";
    EXPECT_THAT(DesktopSession::commandOutput(toggle + " 2>&1"), HasSubstr("no service file that starts it"));
    EXPECT_EQ(status(toggle), 1);

    const pid_t mousepad = launchInFront(*session, {"mousepad", "--disable-server"}, "mousepad");
    ASSERT_GT(mousepad, 0);
    const std::string front = activeWindow();

    std::ofstream(dataFolder + "/dbus-1/services/org.mirelo.Hintboard.service")
        << "[D-BUS Service]\nName=org.mirelo.Hintboard\nExec=" HINTBOARD_EXECUTABLE "\n";
    EXPECT_EQ(status(toggle), 0) << "the bus did not start Hintboard";
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown)) << "the popup did not open";
    EXPECT_EQ(activeWindow(), front) << "the popup took the activation";
    // The program that shows it: the tray application.
    const pid_t hintboard = std::atoi(run("xdotool search --onlyvisible --class hintboard getwindowpid").c_str());
    ASSERT_GT(hintboard, 0);
    std::error_code error;
    ASSERT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(hintboard) + "/exe", error),
              linux_platform::trayApplicationPath(std::filesystem::path(HINTBOARD_EXECUTABLE).lexically_normal()));
    // Looked at: the popup over mousepad, beside the test in the build folder.
    run("import -window root popup-after-activation.png");

    // Started by the bus, not by this test: stopped by its process id all the same.
    kill(hintboard, SIGTERM);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return processEnded(hintboard); }, std::chrono::seconds(5)));
    session->stopApplication(mousepad);
}

} // namespace
} // namespace hb::e2e
