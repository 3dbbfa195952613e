// gnome-text-editor has no menu bar: its shortcuts window, compiled into its
// executable, gives its rows, in the command and in the popup.
#include "menu_rows.h"
#include "tray_application.h"

#include <gmock/gmock.h>

namespace hb::e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class ShortcutsWindowTest : public TrayApplication {
protected:
    void SetUp() override {}
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
    const auto rows = [](const std::string& language) {
        return rowTexts(jsonRows(hintboardCommand("shortcuts --app gnome-text-editor --json", "LANGUAGE=" + language).output));
    };
    const auto english = rows("en");
    EXPECT_GE(english.size(), 40u);
    EXPECT_THAT(english, Contains("Windows/New window=⌃N"));
    EXPECT_THAT(english, Contains("Windows/Move to next tab=⌃⇟"));
    EXPECT_THAT(rows("de"), Contains("Fenster/Neues Fenster=⌃N"));

    EXPECT_THAT(hintboardCommand("shortcuts --app gnome-text-editor --verbose").errors,
                HasSubstr("shortcuts window /org/gnome/TextEditor/ui/help-overlay.ui in /usr/bin/gnome-text-editor"));
}

TEST_F(ShortcutsWindowTest, PopupShowsTheRowsAndRunsNewWindowInTheEditor)
{
    startHintboard();
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
