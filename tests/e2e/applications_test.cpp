// The tray application and its command over other applications, as a new user
// meets them: a double tap opens and closes the popup, gnome-text-editor's
// shortcuts window gives its rows, a dialog in front stands for its
// application, the hot key released at once lights no modifier, a first launch
// with no window active still knows the application in front; the command's
// output and failures; Firefox's menus from its archive; LibreOffice Writer
// with its GTK 3 backend, started once: two menu bars over AT-SPI and its
// exported one, GTK key bindings with literal spaces and empty accelerator
// fields, a program that runs as soffice.bin below the oosplash launcher, and
// the popup over it.
#include "accessible_tree.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "linux/exported_menu_accessibility.h"
#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "settings/settings_keys.h"

#include <fmt/format.h>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;

bool activeWindowTitled(const std::string& prefix)
{
    return DesktopSession::waitUntil([&] { return run("xdotool getactivewindow getwindowname").starts_with(prefix); });
}

class Applications : public TrayApplication {
protected:
    void SetUp() override {}

    // Hintboard on settings of its own, the wizard seen.
    void startWith(bool doubleTap = false)
    {
        const std::string folder = freshConfigFolder("applications");
        writeSettings(folder, {{keys::didShowOnboardingWizard, true}, {keys::doubleTapEnabled, doubleTap}});
        startHintboard({{"XDG_CONFIG_HOME", folder}});
    }
};

TEST_F(Applications, DoubleTapFourTimesOpensClosesOpensCloses)
{
    startWith(true); // Alt, the modifier watched unless another is set
    for (int tap = 0; tap < 4; ++tap) {
        run("xdotool keydown alt sleep 0.08 keyup alt sleep 0.12 keydown alt sleep 0.08 keyup alt");
        const bool open = tap % 2 == 0;
        EXPECT_TRUE(DesktopSession::waitUntil(open ? popupShown : popupHidden, 3s)) << "double tap " << tap + 1;
        // Settled, and longer than the double-tap window: the next taps begin afresh.
        std::this_thread::sleep_for(600ms);
        EXPECT_EQ(popupShown(), open) << "double tap " << tap + 1;
    }
}

// gnome-text-editor has no menu bar: its shortcuts window, compiled into its
// executable, gives its rows in the user's language, without a complaint, and
// the popup runs them.
TEST_F(Applications, GnomeTextEditorsShortcutsWindowGivesItsRowsInTheUsersLanguage)
{
    const pid_t editor = launchInFront(*session, {"gnome-text-editor", "--standalone"}, "gnome-text-editor");
    ASSERT_GT(editor, 0) << "gnome-text-editor did not start";
    const auto rows = [](const std::string& language) {
        return rowTexts(
            jsonRows(hintboardCommand("shortcuts --app gnome-text-editor --json", "LANGUAGE=" + language).output));
    };
    EXPECT_THAT(rows("en"), testing::IsSupersetOf({"Windows/New window=⌃N", "Windows/Move to next tab=⌃⇟"}));
    EXPECT_THAT(rows("de"), Contains("Fenster/Neues Fenster=⌃N"));
    EXPECT_THAT(hintboardCommand("shortcuts --app gnome-text-editor --verbose").errors,
                HasSubstr("shortcuts window /org/gnome/TextEditor/ui/help-overlay.ui in /usr/bin/gnome-text-editor"));
    EXPECT_EQ(hintboardCommand("shortcuts --front").errors, "") << "the shortcuts window gave the rows";

    // A row of the popup runs by its keys, typed into the editor's window.
    startWith();
    run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(editor)));
    ASSERT_EQ(frontAnswer().first, editor);
    const int windows = visibleWindowsOf(editor);
    ASSERT_TRUE(openWithHotKey());
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return shownRows(hintboard).size() >= 40; }));
    run("xdotool type --delay 40 'new window'");
    run("xdotool key --delay 100 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(editor) == windows + 1; }));
    session->stopApplication(editor);
}

// A dialog in front: the command lists the rows of the main window's menu bar;
// a dialog that names no process is its owner's.
TEST_F(Applications, MousepadsOpenDialogInFrontGivesTheMainWindowsRows)
{
    const auto [pid, before] = frontAnswer();
    ASSERT_EQ(pid, mousepad);
    ASSERT_GT(before.size(), 20u);
    run("xdotool key ctrl+o");
    ASSERT_TRUE(activeWindowTitled("Open")) << run("xdotool getactivewindow getwindowname");
    EXPECT_EQ(frontAnswer().second, before);

    ASSERT_TRUE(activeWindowTitled("Open"));
    run("xprop -id $(xdotool getactivewindow) -remove _NET_WM_PID");
    EXPECT_EQ(frontAnswer().second, before);
    run("xdotool key Escape");
}

// The hot key released as soon as the popup maps, with and without the double
// tap watching the same modifiers: the list shows whole, no modifier filter lit.
TEST_F(Applications, FeatherPadFirstOpeningLeavesNoModifierLit)
{
    const pid_t featherpad = launchInFront(*session, {"featherpad", "--standalone"}, "featherpad");
    ASSERT_GT(featherpad, 0);
    const auto listed = jsonRows(hintboardCommand("shortcuts --front --json").output);
    const auto rows = std::to_string(std::ranges::count_if(listed, [](const auto& row) { return !row.keys.empty(); }));
    for (const bool doubleTap : {false, true})
        for (const auto delay : {0ms, 50ms}) {
            SCOPED_TRACE(std::string(doubleTap ? "double tap on, " : "") + "released " + std::to_string(delay.count())
                         + " ms after the popup mapped");
            startWith(doubleTap);
            run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(featherpad)));
            // Released as soon as the popup's window is mapped, in one shell: no poll interval in between.
            run("xdotool keydown alt+super+k; for i in $(seq 1000); do xdotool search --onlyvisible --pid "
                + std::to_string(hintboard) + " --name '^Hintboard$' >/dev/null && break; done; sleep "
                + std::to_string(double(delay.count()) / 1000) + "; xdotool keyup k keyup super keyup alt");
            ASSERT_TRUE(DesktopSession::waitUntil(popupShown, 5s));
            std::this_thread::sleep_for(500ms);
            EXPECT_TRUE(findAccessible(hintboard, rows + " shortcuts"))
                << "lit: " << ::testing::PrintToString(accessibleNames(hintboard));
            EXPECT_TRUE(closeWithEscape());
            TearDown();
        }
    session->stopApplication(featherpad);
}

TEST_F(Applications, FirstLaunchWithNoWindowActiveShowsTheApplicationOnTop)
{
    // A click on the bare desktop leaves no window active, as a launcher does.
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    const std::string root = run("xwininfo -root | sed -n 's/.*Window id: \\(0x[0-9a-f]*\\).*/\\1/p'");
    ASSERT_FALSE(root.empty());
    for (const char* place : {"1275 1015", "5 1015", "1275 600", "640 1015", "5 600"}) {
        const std::string under = run(std::string("xdotool mousemove ") + place + " getmouselocation --shell");
        if (under.find("WINDOW=" + std::to_string(std::stoul(root, nullptr, 16))) != std::string::npos) {
            run("xdotool click 1");
            break;
        }
    }
    ASSERT_TRUE(DesktopSession::waitUntil([] { return activeWindow().find("0x0") != std::string::npos; }))
        << activeWindow();

    const std::string folder = freshConfigFolder("applications-first");
    hintboard = session->launch({HINTBOARD_EXECUTABLE}, {{"XDG_CONFIG_HOME", folder}});
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }));
    // The wizard is a large window of its own: the popup is known by what it shows.
    run("xdotool key alt+super+k");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Mousepad").has_value(); }))
        << ::testing::PrintToString(accessibleNames(hintboard));
    EXPECT_FALSE(findAccessible(hintboard, "No active application"));
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !findAccessible(hintboard, "Mousepad"); }));
}

// `hintboard shortcuts` over mousepad and the window manager: what it prints, and how it fails.

using nlohmann::json;
using ShortcutsCommand = Applications;

TEST_F(ShortcutsCommand, PrintsMousepadsMenusAndTheWindowManagersAndExplainsFailures)
{
    const auto listed = hintboardCommand("shortcuts --app mousepad --json");
    ASSERT_EQ(listed.status, 0) << listed.errors;
    EXPECT_EQ(json::parse(listed.output).at("application").at("pid"), mousepad);
    const auto rows = rowTexts(jsonRows(listed.output));
    EXPECT_THAT(rows, ::testing::Contains("File/New=⌃N"));
    EXPECT_THAT(rows, ::testing::Each(::testing::Not(::testing::EndsWith("="))));

    const auto everything = hintboardCommand("shortcuts --pid " + std::to_string(mousepad) + " --json --all").output;
    const auto allRows = rowTexts(jsonRows(everything));
    EXPECT_GT(allRows.size(), rows.size());
    EXPECT_THAT(allRows, ::testing::Contains(::testing::EndsWith("=")));
    EXPECT_TRUE(json::parse(everything).at("includesItemsWithoutShortcuts"));

    const auto text = hintboardCommand("shortcuts --pid " + std::to_string(mousepad));
    EXPECT_EQ(text.errors, "") << "quiet unless asked";
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\nFile\n  New +Ctrl\\+N\n"));

    // The session runs openbox with its configuration from /etc/xdg; the
    // window manager names itself once it has started.
    CommandRun windowManager;
    EXPECT_TRUE(DesktopSession::waitUntil(
        [&] { return (windowManager = hintboardCommand("shortcuts --system")).output.starts_with("System (Openbox)"); },
        std::chrono::seconds(20)));
    EXPECT_THAT(windowManager.output,
                ::testing::ContainsRegex("\n  Window Management\n(    .*\n)*    Close +Alt\\+F4\n"));
    EXPECT_THAT(windowManager.output, ::testing::ContainsRegex("\n    Go to desktop left +Ctrl\\+Alt\\+Left\n"));

    EXPECT_EQ(json::parse(hintboardCommand("shortcuts --registered --json").output).at("sections"), json::array());

    const pid_t sleeper = session->launch({"sleep", "60"});
    const struct {
        std::string arguments;
        int status;
        std::string says;
    } failures[] = {
        {"shortcuts --app no-such-application", 4, "no running application is called \"no-such-application\""},
        // Processes that are not on the accessibility bus: this test program, and one without windows.
        {"shortcuts --pid " + std::to_string(getpid()), 5, "is not on the accessibility bus"},
        {"shortcuts --pid " + std::to_string(sleeper), 5, "No shortcuts window was found either"},
        {"shortcuts", 2, "usage: hintboard shortcuts"},
        {"shortcuts --front --app mousepad", 2, "usage: hintboard shortcuts"},
        {"shortcuts --pid 12x", 2, "usage: hintboard shortcuts"},
        {"shortcuts --app", 2, "usage: hintboard shortcuts"},
        {"shortcuts --front --colour", 2, "usage: hintboard shortcuts"},
        {"unknown", 2, "hintboard --help"},
    };
    for (const auto& failure : failures) {
        const auto failed = hintboardCommand(failure.arguments);
        EXPECT_EQ(failed.status, failure.status) << failure.arguments;
        EXPECT_THAT(failed.errors, HasSubstr(failure.says)) << failure.arguments;
    }
    session->stopApplication(sleeper);
    const auto help = hintboardCommand("shortcuts --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.output, HasSubstr("Exit status:"));
}

// Firefox, whose menu bar sits inside a tool bar and whose menus are filled
// only once they have been opened: the command and the popup read them from
// its archive, run a row by pressing its keys, and AT-SPI reads the menus
// that have been opened.

using testing::IsSupersetOf;
using testing::Not;
using testing::StartsWith;

// Menus read as the tray application reads them: exported menus first, AT-SPI for the rest.
struct MenuAccess {
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
    linux_platform::AtspiAccessibility atspi{log};
    linux_platform::ExportedMenuAccessibility exported{log};
    linux_platform::MenuExportingAccessibility accessibility{exported, atspi, SessionKind::x11};
};

class FirefoxTest : public TrayApplication {
protected:
    void SetUp() override
    {
        if (access("/usr/bin/firefox-esr", X_OK) != 0)
            GTEST_SKIP() << "firefox-esr is not installed";
        const std::string profile = freshConfigFolder("firefox-profile");
        firefox = session->launch({"firefox-esr", "--profile", profile, "--no-remote", "about:blank"});
        ASSERT_GT(firefox, 0);
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return (window = DesktopSession::managedWindowOf(firefox)) != 0; },
                                              std::chrono::seconds(60)));
        ASSERT_TRUE(DesktopSession::waitUntil(
            [] { return hintboardCommand("shortcuts --app firefox-esr").status == 0; }, std::chrono::seconds(30)));
    }
    void TearDown() override
    {
        session->stopApplication(firefox); // with its helper processes
        TrayApplication::TearDown();
    }
    long tabCount()
    {
        return std::ranges::count(accessibleDescendantsOf(firefox, "page tab list"), "page tab",
                                  &AccessibleElement::role);
    }

    pid_t firefox = -1;
    unsigned long window = 0;
};

TEST_F(FirefoxTest, MenusComeFromItsArchiveThePopupRunsNewTabAndOpenedMenusReadOverAtspi)
{
    // No menu has been opened: the command lists them all the same, from the archive.
    EXPECT_THAT(hintboardCommand("shortcuts --app firefox-esr").output,
                StartsWith(fmt::format("Firefox ESR (firefox-esr, pid {})\n", firefox)));
    const auto listed = rowTexts(jsonRows(hintboardCommand("shortcuts --app firefox-esr --json").output));
    EXPECT_GE(std::ranges::count_if(listed, [](const auto& row) { return !row.ends_with("="); }), 40);
    EXPECT_THAT(listed, IsSupersetOf({"File/New Tab=⌃T", "Tools/Downloads=⌃⇧Y"}));
    // --verbose names where the rows came from.
    EXPECT_THAT(hintboardCommand("shortcuts --app firefox-esr --verbose").errors,
                testing::HasSubstr("browser.xhtml in /usr/lib/firefox-esr/browser/omni.ja (en-US)"));

    // New Tab presses Ctrl+T in Firefox's window: one more tab opens.
    startHintboard();
    run("xdotool windowactivate --sync " + std::to_string(window));
    const auto tabsBefore = tabCount();
    ASSERT_GT(tabsBefore, 0);
    ASSERT_TRUE(openWithHotKey());
    // Looked at: File, Edit, View, History, Bookmarks, Tools and the window's other keys in columns.
    run("import -window root popup-over-firefox.png");
    run("xdotool type --delay 40 'new tab'");
    run("xdotool key --delay 100 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return tabCount() == tabsBefore + 1; }));

    // Each menu fills when it opens and keeps its items once closed.
    for (const char* key : {"alt+f", "alt+e"})
        run(fmt::format("xdotool windowactivate --sync {} key {} sleep 1 key Escape sleep 0.3", window, key));
    MenuAccess menus;
    const MenuBarReader reader{menus.accessibility, menus.log};
    std::vector<std::string> rows;
    DesktopSession::waitUntil([&] {
        rows = rowTexts(reader.readMenuBar(MenuReadOptions{.pid = firefox}));
        return std::ranges::find(rows, "Edit/Find in Page…=⌃F") != rows.end();
    });
    EXPECT_THAT(rows, IsSupersetOf({"File/New Tab=⌃T", "File/New Private Window=⌃⇧P", "File/Close Window=⌃⇧W",
                                    "Edit/Redo=⌃⇧Z", "Edit/Find in Page…=⌃F"}));
    // Mnemonics are no keys: such items come with every item only.
    EXPECT_THAT(rows, Not(Contains(StartsWith("File/Email Link…="))));
    EXPECT_THAT(rowTexts(reader.readMenuBar(MenuReadOptions{.pid = firefox, .includeAll = true})),
                IsSupersetOf({"File/Email Link…=", "File/Work Offline=", "Edit/Settings="}));
}

// Writer with a profile of its own: the launcher script becomes oosplash, which runs
// soffice.bin, and runs it again when the first start with a new profile asks for a restart.
class LibreOfficeWriter : public TrayApplication, protected MenuAccess {
protected:
    static void SetUpTestSuite()
    {
        TrayApplication::SetUpTestSuite();
        launcher = session->launch({"libreoffice", "-env:UserInstallation=file://" + session->folder() + "/libreoffice",
                                    "--norestore", "--nologo", "--writer"},
                                   {{"SAL_USE_VCLPLUGIN", "gtk3"}});
        fake::MemoryLogSink sink;
        platform::Log log{sink, [] { return false; }};
        linux_platform::AtspiAccessibility accessibility{log};
        DesktopSession::waitUntil(
            [&] {
                writer = DesktopSession::childOf(launcher, "soffice.bin");
                return writer > 0 && DesktopSession::waitForMenuBar(accessibility, writer, {});
            },
            std::chrono::seconds(90));
    }
    static void TearDownTestSuite()
    {
        session->stopApplication(launcher);
        TrayApplication::TearDownTestSuite();
    }
    // Hintboard itself only once the test starts it.
    void SetUp() override
    {
        ASSERT_TRUE(DesktopSession::waitForMenuBar(atspi, writer, std::chrono::seconds(1)))
            << "LibreOffice Writer did not start or shows no menu bar over AT-SPI";
    }

    static inline pid_t launcher = -1;
    static inline pid_t writer = -1; // whose menu bar could be read unless 90 s were not enough
};

TEST_F(LibreOfficeWriter, MenuBarsCommandAndPopupOverItsDialogGiveTheKeysLibreOfficeShows)
{
    // Form › Content Controls: mnemonics without accelerators, listed only with every item, without keys.
    const std::string contentControls = "Form/Content Controls/";
    using State = linux_platform::ExportedMenuAccessibility::MenuBarState;
    ASSERT_TRUE(DesktopSession::waitUntil(
        [&] {
            exported.setMessagingTimeout(exported.applicationElement(writer), std::chrono::seconds(1));
            return exported.readMenuBar(writer).state == State::read;
        },
        std::chrono::seconds(30)));
    std::vector<MenuSection> sections;
    for (platform::Accessibility* over : std::initializer_list<platform::Accessibility*>{&atspi, &accessibility}) {
        SCOPED_TRACE(over == &atspi ? "over AT-SPI" : "exported");
        const MenuBarReader reader(*over, log);
        const auto rows = rowTexts(reader.readMenuBar(MenuReadOptions{.pid = writer}));
        // The native GTK bar, not its hidden copy (which says ⌃M, ⌃F, "Y", "V", "S" for these);
        // a literal space as a key.
        for (const char* row :
             {"View/Formatting Marks=⌃F10", "View/Field Names=⌃F9", "View/Styles=F11", "View/Navigator=F5",
              "Tools/Spelling...=F7", "Tools/Automatic Spell Checking=⇧F7", "Tools/AutoText...=⌃F3",
              "Tools/Options...=⌥F12", "Insert/Formatting Mark/Insert non-breaking space=⌃⇧Space"})
            EXPECT_THAT(rows, Contains(row));
        EXPECT_THAT(rows, Not(Contains(StartsWith(contentControls))));
        sections = reader.readMenuBar(MenuReadOptions{.pid = writer, .includeAll = true});
        EXPECT_THAT(rowTexts(sections), Contains(contentControls + "Insert Rich Text Content Control="));
    }
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), Contains(HasSubstr("exported menus of :")));

    const auto wordCount = findRow(sections, "Tools", "Word Count...");
    ASSERT_TRUE(wordCount);
    EXPECT_THAT(DesktopSession::windowTitles(writer), Not(HasSubstr("Count")));
    EXPECT_TRUE(press(accessibility, log, *wordCount));
    EXPECT_TRUE(DesktopSession::waitUntil(
        [&] { return DesktopSession::windowTitles(writer).find("Count") != std::string::npos; },
        std::chrono::seconds(20)));
    run("xdotool key Escape");

    // The command finds Writer by each of its names, quietly.
    for (const char* name : {"libreoffice", "soffice", "soffice.bin", "\"LibreOffice Writer\""}) {
        const auto found = hintboardCommand(std::string("shortcuts --app ") + name);
        EXPECT_EQ(found.status, 0) << name << ": " << found.errors;
        EXPECT_THAT(found.output, StartsWith(fmt::format("LibreOffice Writer (libreoffice-writer, pid {})\n", writer)))
            << name;
        EXPECT_EQ(found.errors, "") << name;
    }
    const auto all = hintboardCommand(fmt::format("shortcuts --pid {} --all --json", writer));
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.errors, "") << "no info lines about lazy submenus without --verbose";
    EXPECT_THAT(all.output, HasSubstr("\"keys\": \"⌃F10\""));

    // The popup over Writer (the program below the launcher) draws its rows.
    startHintboard();
    run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(writer)));
    ASSERT_TRUE(openWithHotKey());
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return shownRows(hintboard).size() > 50; }));
    run("import -window root popup-list-libreoffice.png");
    EXPECT_TRUE(closeWithEscape());
}

} // namespace
} // namespace hb::e2e
