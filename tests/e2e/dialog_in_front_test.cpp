// An application's dialog in front: the popup and `hintboard shortcuts
// --front` both list the rows of the dialog's application, read from its main
// window's menu bar.
#include "accessible_tree.h"
#include "tray_application.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <set>
#include <string>

namespace hb::e2e {
namespace {

using Rows = std::set<std::string>;  // "Menu/Title=keys as drawn"

struct CommandAnswer {
    std::string application;
    pid_t pid = 0;
    Rows rows;
};

CommandAnswer frontAnswer()
{
    const auto printed =
        nlohmann::json::parse(run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --front --json"), nullptr, false);
    CommandAnswer answer;
    if (!printed.is_object() || !printed.contains("application"))
        return answer;
    answer.application = printed["application"].value("name", "");
    answer.pid = printed["application"].value("pid", 0);
    for (const auto& section : printed["sections"])
        for (const auto& group : section["groups"])
            for (const auto& row : group["rows"])
                answer.rows.insert(section.value("title", "") + "/" + row.value("title", "") + "=" +
                                   row.value("label", ""));
    return answer;
}

// The popup's rows of these menus, as assistive technologies read them.
Rows popupRows(pid_t hintboard, const std::set<std::string>& menus)
{
    Rows rows;
    std::string menu;
    for (const auto& element : accessibleDescendantsOf(hintboard, "list")) {
        if (element.description == "Menu" && !element.name.empty())
            menu = element.name;  // an unnamed section continues the menu in the next column
        else if (element.role == "list item" && menus.contains(menu))
            rows.insert(menu + "/" + element.name + "=" + element.description);
    }
    return rows;
}

std::set<std::string> menusOf(const Rows& rows)
{
    std::set<std::string> menus;
    for (const auto& row : rows)
        menus.insert(row.substr(0, row.find('/')));
    return menus;
}

bool activeWindowTitled(const std::string& prefix)
{
    return DesktopSession::waitUntil([&] { return run("xdotool getactivewindow getwindowname").starts_with(prefix); });
}

class DialogInFront : public TrayApplication {};

TEST_F(DialogInFront, PopupAndCommandListTheMainWindowsRowsOfMousepad)
{
    const CommandAnswer before = frontAnswer();
    ASSERT_EQ(before.pid, mousepad);
    ASSERT_GT(before.rows.size(), 20u);

    run("xdotool key ctrl+o");
    ASSERT_TRUE(activeWindowTitled("Open")) << run("xdotool getactivewindow getwindowname");
    const CommandAnswer withDialog = frontAnswer();
    EXPECT_EQ(withDialog.pid, mousepad);
    EXPECT_EQ(withDialog.rows, before.rows);

    ASSERT_TRUE(openWithHotKey());
    Rows shown;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return (shown = popupRows(hintboard, menusOf(before.rows))) == before.rows; }))
        << ::testing::PrintToString(shown);
    // Looked at: mousepad's list over its Open dialog.
    screenshot("dialog-in-front-mousepad.png");
    EXPECT_TRUE(closeWithEscape());

    // A dialog that names no process is its owner's.
    ASSERT_TRUE(activeWindowTitled("Open"));
    run("xprop -id $(xdotool getactivewindow) -remove _NET_WM_PID");
    const CommandAnswer unnamed = frontAnswer();
    EXPECT_EQ(unnamed.pid, mousepad);
    EXPECT_EQ(unnamed.rows, before.rows);
    run("xdotool key Escape");
}

// FeatherPad's own Qt dialog: the command names FeatherPad, never "no
// application is active". (FeatherPad takes the shortcuts off its menu items
// while the dialog is open, so a read then finds none.)
TEST_F(DialogInFront, CommandNamesFeatherPadBehindItsOpenDialog)
{
    const pid_t featherpad = launchInFront(*session, {"featherpad", "--standalone"}, "featherpad");
    ASSERT_GT(featherpad, 0);
    run("xdotool key ctrl+o");
    ASSERT_TRUE(activeWindowTitled("Open")) << run("xdotool getactivewindow getwindowname");
    const CommandAnswer withDialog = frontAnswer();
    EXPECT_EQ(withDialog.pid, featherpad);
    EXPECT_EQ(withDialog.application, "FeatherPad");
    run("xdotool key Escape");
    session->stopApplication(featherpad);
}

} // namespace
} // namespace hb::e2e
