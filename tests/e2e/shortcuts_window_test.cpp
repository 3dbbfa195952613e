// gnome-text-editor has no menu bar: its shortcuts window, compiled into its
// executable, gives its rows, in the command and in the popup.
#include "tray_application.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <string>

namespace hb::e2e {
namespace {

using nlohmann::json;
using ::testing::Contains;
using ::testing::HasSubstr;

// "Group/Title=keys" of every row the command prints as JSON.
std::vector<std::string> commandRows(const std::string& environment)
{
    const auto output =
        run(environment + " " + HINTBOARD_EXECUTABLE + " shortcuts --app gnome-text-editor --json");
    const auto document = json::parse(output, nullptr, false);
    std::vector<std::string> rows;
    if (document.is_discarded())
        return rows;
    for (const auto& section : document.at("sections"))
        for (const auto& group : section.at("groups"))
            for (const auto& row : group.at("rows"))
                rows.push_back(section.at("title").get<std::string>() + "/" + row.at("title").get<std::string>() +
                               "=" + row.at("keys").get<std::string>());
    return rows;
}

class ShortcutsWindowTest : public TrayApplication {
protected:
    static void SetUpTestSuite()
    {
        TrayApplication::SetUpTestSuite();
        // A separate instance of its own, not one that a running one would take over.
        editor = session->launch({"gnome-text-editor", "--standalone"});
        ASSERT_GT(editor, 0);
        ASSERT_TRUE(DesktopSession::waitUntil([] { return DesktopSession::managedWindowOf(editor) != 0; },
                                              std::chrono::seconds(20)));
    }
    static void TearDownTestSuite()
    {
        session->stopApplication(editor);
        TrayApplication::TearDownTestSuite();
    }

    static pid_t editor;
};
pid_t ShortcutsWindowTest::editor = -1;

TEST_F(ShortcutsWindowTest, CommandListsTheWindowsRowsInTheUsersLanguage)
{
    const auto rows = commandRows("LANGUAGE=en");
    EXPECT_GE(rows.size(), 40u);
    EXPECT_THAT(rows, Contains("Windows/New window=⌃N"));
    EXPECT_THAT(rows, Contains("Windows/Move to next tab=⌃⇟"));

    EXPECT_THAT(commandRows("LANGUAGE=de"), Contains("Fenster/Neues Fenster=⌃N"));

    const auto verbose =
        run("(" + std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app gnome-text-editor --verbose 2>&1)");
    EXPECT_THAT(verbose, HasSubstr("shortcuts window /org/gnome/TextEditor/ui/help-overlay.ui in "
                                   "/usr/bin/gnome-text-editor"));
}

TEST_F(ShortcutsWindowTest, CommandSaysWhenNeitherMenuBarNorShortcutsWindowIsThere)
{
    const pid_t sleeper = session->launch({"sleep", "60"});
    const auto message = run("(" + std::string(HINTBOARD_EXECUTABLE) + " shortcuts --pid " +
                             std::to_string(sleeper) + " 2>&1 >/dev/null)");
    EXPECT_THAT(message, HasSubstr("No shortcuts window was found either"));
    EXPECT_EQ(status(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --pid " + std::to_string(sleeper)), 5);
    session->stopApplication(sleeper);
}

TEST_F(ShortcutsWindowTest, PopupShowsTheRowsAndRunsNewWindowInTheEditor)
{
    run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(editor)));
    const int windows = visibleWindowsOf(editor);
    ASSERT_TRUE(openWithHotKey());
    // Looked at: the editor's groups (Windows, Files, Copy and Paste, …) in columns.
    screenshot("popup-over-gnome-text-editor.png");
    run("xdotool type --delay 40 'new window'");
    run("xdotool key --delay 100 Tab Return");
    EXPECT_TRUE(DesktopSession::waitUntil(popupHidden));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(editor) == windows + 1; }))
        << "the editor opened no window";
}

} // namespace
} // namespace hb::e2e
