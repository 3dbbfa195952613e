// The shortcut list as a user meets it in the tray application: opened with
// the hot key over real applications, read back from what the popup draws
// (its lines as assistive technologies see them) and from its window.
#include "accessible_tree.h"
#include "libreoffice_writer.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "platform/fake/memory_log.h"
#include "platform/linux/atspi_accessibility.h"

#include <gmock/gmock.h>

#include <regex>

namespace hb::e2e {
namespace {

// The lines the popup draws: "# Menu", "## Submenu", "---" and row titles.
std::vector<std::string> drawnLines(pid_t hintboard)
{
    std::vector<std::string> lines;
    for (const auto& element : accessibleDescendantsOf(hintboard, "list")) {
        if (element.description == "Menu")
            lines.push_back("# " + element.name);
        else if (element.role == "heading")
            lines.push_back("## " + element.name);
        else if (element.role == "separator")
            lines.push_back("---");
        else
            lines.push_back(element.name);
    }
    return lines;
}

std::size_t rowCount(const std::vector<std::string>& lines)
{
    return std::ranges::count_if(lines, [](const std::string& line) { return !line.starts_with("#") && line != "---"; });
}

// What is wrong with drawn lines: a separator next to anything but two rows,
// a title with no row under it. Empty when nothing is.
std::vector<std::string> misplacedLines(const std::vector<std::string>& lines)
{
    const auto isRow = [&](std::size_t i) { return i < lines.size() && !lines[i].starts_with("#") && lines[i] != "---"; };
    std::vector<std::string> wrong;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "---" && !(i > 0 && isRow(i - 1) && isRow(i + 1)))
            wrong.push_back("separator at line " + std::to_string(i));
        if (lines[i].starts_with("## ") && !isRow(i + 1))
            wrong.push_back("empty submenu title " + lines[i]);
        if (lines[i].starts_with("# ") && !(isRow(i + 1) || (i + 1 < lines.size() && lines[i + 1].starts_with("## "))))
            wrong.push_back("empty menu title " + lines[i]);
    }
    return wrong;
}

// The popup's accessible texts: its header's count, its messages.
bool showsText(pid_t hintboard, const std::string& text)
{
    return std::ranges::any_of(accessibleNames(hintboard), [&](const std::string& name) { return name == text; });
}

std::string shownTexts(pid_t hintboard) { return ::testing::PrintToString(accessibleNames(hintboard)); }

// Rows with keys that `hintboard shortcuts` reads from the application in front.
std::size_t commandRowCount(const std::string& target)
{
    const std::string json = run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts " + target + " --json");
    static const std::regex keys(R"re("keys": "[^"]+")re");
    return std::size_t(std::distance(std::sregex_iterator(json.begin(), json.end(), keys), std::sregex_iterator()));
}

void clickAt(int x, int y) { run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"); }

class PopupList : public TrayApplication {
protected:
    void TearDown() override
    {
        run("xdotool keyup super alt ctrl shift");
        TrayApplication::TearDown();
    }
    // Opens the popup over the active window and waits until its list is drawn.
    std::vector<std::string> openAndRead()
    {
        EXPECT_TRUE(openWithHotKey());
        std::vector<std::string> lines;
        DesktopSession::waitUntil([&] { return rowCount(lines = drawnLines(hintboard)) > 0; });
        return lines;
    }
    // The popup opens growing to its size: its height once two reads agree.
    static int settledHeight()
    {
        int height = -1;
        DesktopSession::waitUntil([&] {
            const auto window = popupWindow();
            const int previous = std::exchange(height, window ? window->height : -1);
            return height > 0 && height == previous;
        });
        return height;
    }
    static bool reachesHeight(int height)
    {
        return DesktopSession::waitUntil([&] {
            const auto window = popupWindow();
            return window && window->height == height;
        });
    }
    bool waitForText(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return DesktopSession::waitUntil([&] { return showsText(hintboard, text); }, timeout);
    }
};

TEST_F(PopupList, HotKeyPressedAndReleasedOpensTheWholeList)
{
    const std::size_t rows = commandRowCount("--front");
    ASSERT_GT(rows, 20u);
    const auto lines = openAndRead();
    EXPECT_TRUE(waitForText(std::to_string(rows) + " shortcuts")) << shownTexts(hintboard);
    EXPECT_EQ(rowCount(drawnLines(hintboard)), rows);
    // Looked at: the whole list over mousepad.
    screenshot("popup-list-mousepad.png");
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupList, HeldTriggerFiltersUntilItsModifiersAreReleased)
{
    const std::size_t rows = commandRowCount("--front");
    run("xdotool keydown alt+super+k keyup k");
    ASSERT_TRUE(DesktopSession::waitUntil(popupShown, std::chrono::seconds(5)));
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        const auto names = accessibleNames(hintboard);
        return std::ranges::any_of(names, [&](const std::string& name) {
            return name.ends_with(" of " + std::to_string(rows));
        });
    })) << "held modifiers do not filter: " << shownTexts(hintboard);
    // One release event each, and nothing else pressed.
    run("xdotool keyup super");
    run("xdotool keyup alt");
    EXPECT_TRUE(waitForText(std::to_string(rows) + " shortcuts", std::chrono::seconds(2))) << shownTexts(hintboard);
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupList, PanelKeepsTheWholeListsHeightWhateverTheRememberedQuery)
{
    const std::string rows = std::to_string(commandRowCount("--front"));
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(waitForText(rows + " shortcuts")) << shownTexts(hintboard);
    const int unfiltered = settledHeight();
    // A query that leaves one row is remembered over the next opening.
    run("xdotool type --delay 40 'new window'");
    ASSERT_TRUE(waitForText("1 of " + rows)) << shownTexts(hintboard);
    ASSERT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " toggle"), 0);
    ASSERT_TRUE(DesktopSession::waitUntil(popupHidden));
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(waitForText("1 of " + rows)) << shownTexts(hintboard);
    EXPECT_TRUE(reachesHeight(unfiltered)) << "opened with the remembered query";
    run("xdotool key Escape");
    ASSERT_TRUE(waitForText(rows + " shortcuts")) << shownTexts(hintboard);
    EXPECT_TRUE(reachesHeight(unfiltered)) << "after clearing it";
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupList, FilterWithoutMatchSaysHowToWidenIt)
{
    openAndRead();
    run("xdotool type --delay 40 'qqqq'");
    EXPECT_TRUE(waitForText("Nothing matches. Clear the search text to see more.")) << shownTexts(hintboard);
    EXPECT_EQ(rowCount(drawnLines(hintboard)), 0u);
    // Looked at: the message where the rows were.
    screenshot("popup-list-no-match.png");
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupList, MousepadListHasNoStrayLinesAlsoWithOneFavourite)
{
    const auto lines = openAndRead();
    EXPECT_THAT(misplacedLines(lines), testing::IsEmpty()) << testing::PrintToString(lines);

    // The star of the list's first row, then favourites only.
    const auto elements = accessibleDescendantsOf(hintboard, "list");
    const auto first = std::ranges::find(elements, "list item", &AccessibleElement::role);
    ASSERT_NE(first, elements.end());
    clickAt(first->x + 9, first->y + first->height / 2);
    const auto favouritesOnly = findAccessible(hintboard, "Show only favourites");
    ASSERT_TRUE(favouritesOnly);
    clickAt(favouritesOnly->x + favouritesOnly->width / 2, favouritesOnly->y + favouritesOnly->height / 2);
    std::vector<std::string> favourites;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return rowCount(favourites = drawnLines(hintboard)) == 1; }))
        << testing::PrintToString(favourites);
    EXPECT_THAT(misplacedLines(favourites), testing::IsEmpty()) << testing::PrintToString(favourites);
    EXPECT_TRUE(waitForText("1 shortcut")) << shownTexts(hintboard);
    // Looked at: one starred row under its menu's title.
    screenshot("popup-list-one-favourite.png");
    EXPECT_TRUE(closeWithEscape());
}

TEST_F(PopupList, FeatherPadListHasNoStrayLines)
{
    const pid_t featherpad = launchInFront(*session, {"featherpad", "--standalone"}, "featherpad");
    ASSERT_GT(featherpad, 0);
    const auto lines = openAndRead();
    EXPECT_GT(rowCount(lines), 20u) << shownTexts(hintboard);
    EXPECT_THAT(misplacedLines(lines), testing::IsEmpty()) << testing::PrintToString(lines);
    EXPECT_TRUE(closeWithEscape());
    session->stopApplication(featherpad);
}

// LibreOffice Writer with a dialog in front of its main window, as on a first
// start that shows the tip of the day.
class PopupListOverLibreOffice : public PopupList {
protected:
    static void SetUpTestSuite()
    {
        TrayApplication::SetUpTestSuite();
        writer = (processes = startWriter(*session, "popup-list-libreoffice")).writer;
    }
    static void TearDownTestSuite()
    {
        stopWriter(*session, processes);
        TrayApplication::TearDownTestSuite();
    }

    static inline WriterProcesses processes;
    static inline pid_t writer = -1;
};

TEST_F(PopupListOverLibreOffice, DialogInFrontCostsOneReadAndKeepsWritersNameAndRows)
{
    ASSERT_GT(writer, 0) << "LibreOffice Writer did not start";
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    linux_platform::AtspiAccessibility accessibility{log};
    MenuBarReader reader{accessibility, log};
    const auto started = std::chrono::steady_clock::now();
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = writer, .includeAll = true});
    const auto oneRead = std::chrono::steady_clock::now() - started;
    const auto tip = findRow(sections, "Help", "Show Tip of the Day");
    ASSERT_TRUE(tip);
    ASSERT_TRUE(press(accessibility, log, *tip));
    std::string dialog;
    ASSERT_TRUE(DesktopSession::waitUntil(
        [&] { return !(dialog = run("xdotool search --onlyvisible --name '^Tip of the Day'")).empty(); },
        std::chrono::seconds(20)))
        << "no tip of the day; windows: " << run("xdotool search --onlyvisible --name . getwindowname %@");
    run("xdotool windowactivate --sync " + dialog.substr(0, dialog.find('\n')));
    ASSERT_THAT(run("xdotool getactivewindow getwindowname"), testing::StartsWith("Tip of the Day"));

    const auto opening = std::chrono::steady_clock::now();
    ASSERT_TRUE(openWithHotKey());
    // The popup shows once the menus are read: one read of the main window's
    // menus, and two seconds for drawing and for the test to see the window.
    const auto opened = std::chrono::steady_clock::now() - opening;
    std::vector<std::string> lines;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return rowCount(lines = drawnLines(hintboard)) > 50; }))
        << shownTexts(hintboard);
    EXPECT_LT(opened, oneRead + std::chrono::seconds(2))
        << "opened in " << std::chrono::duration<double>(opened).count() << " s; one read takes "
        << std::chrono::duration<double>(oneRead).count() << " s";
    EXPECT_TRUE(showsText(hintboard, "LibreOffice Writer")) << shownTexts(hintboard);
    EXPECT_THAT(misplacedLines(lines), testing::IsEmpty()) << testing::PrintToString(lines);
    // Looked at: Writer's list over its dialog.
    screenshot("popup-list-libreoffice.png");
    EXPECT_TRUE(closeWithEscape());
    EXPECT_THAT(run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --front"), testing::StartsWith("LibreOffice Writer"));
    run("xdotool key Escape");
}

} // namespace
} // namespace hb::e2e
