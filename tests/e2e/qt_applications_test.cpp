// Qt applications with large menu bars over AT-SPI: KDE's kwrite (Qt 5, KDE
// Frameworks actions with their own shortcuts) and Qt 6 Designer, which opens
// a modal dialog over its main window at start.
#include "atspi_reading.h"
#include "menu_rows.h"

#include "menus/menu_press.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace hb {
namespace {

using e2e::DesktopSession;
using testing::Contains;
using testing::Not;
using testing::StartsWith;

class QtApplications : public e2e::AtspiReading {
protected:
    // Starts the program and waits for its menu bar; false (and the test skips) when it is not installed.
    bool start(const std::string& program, std::vector<std::string> arguments)
    {
        if (access(program.c_str(), X_OK) != 0)
            return false;
        arguments.insert(arguments.begin(), program);
        pid = launch(arguments, std::chrono::seconds(40));
        return true;
    }

    std::vector<MenuSection> read() { return AtspiReading::read(pid); }

    pid_t pid = -1;
};

TEST_F(QtApplications, KWriteShowsItsEditorKeysAndRunsACommand)
{
    const std::string document = session->folder() + "/notes.txt";
    std::ofstream(document) << "first line\nsecond line\n";
    if (!start("/usr/bin/kwrite", {document}))
        GTEST_SKIP() << "kwrite is not installed";
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return DesktopSession::windowTitles(pid).starts_with("notes.txt"); }))
        << DesktopSession::windowTitles(pid);

    const auto sections = read();
    const auto rows = e2e::rowTexts(sections);
    // Named keys, KDE's own actions and submenus (Export/Print, Find Variants).
    for (const char* expected :
         {"File/Save=⌃S", "File/Save As...=⌃⇧S", "File/Reload=F5", "File/Export/Print/Print...=⌃P",
          "Edit/Undo=⌃Z", "Edit/Paste Selection=⌃⇧Ins", "Edit/Clipboard History Paste=⌃⌥⇧V",
          "Edit/Overwrite Mode=Ins", "Edit/Find...=⌃F", "Edit/Find Variants/Find Previous=⇧F3",
          "Selection/Toggle Comment=⌃/", "View/Enlarge Font=⌃+", "Tools/Invoke Code Completion=⌃Space",
          "Settings/Configure KWrite...=⌃⇧,", "Help/What's This?=⇧F1"})
        EXPECT_THAT(rows, Contains(expected));
    // Mnemonic-only items are no shortcuts.
    EXPECT_THAT(rows, Not(Contains(StartsWith("Edit/Read Only Mode="))));
    // 75 shown items with shortcuts in 8 menus and 10 submenus, each once. kwrite hides its Tool Views
    // submenu (no tool views in this editor), which Qt lists all the same.
    EXPECT_THAT(rows, Not(Contains(StartsWith("View/Tool Views/"))));
    EXPECT_EQ(rows.size(), 75u) << fmt::format("{}", fmt::join(rows, "\n"));

    // The command finds kwrite by its program name.
    const std::string listing =
        DesktopSession::commandOutput(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app kwrite 2>/dev/null");
    EXPECT_THAT(listing, StartsWith(fmt::format("KWrite (org.kde.kwrite, pid {})\n", pid)));

    // File › New replaces the shown document with an untitled one.
    const auto newDocument = e2e::findRow(sections, "File", "New");
    ASSERT_TRUE(newDocument);
    EXPECT_TRUE(press(accessibility, log, *newDocument));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return DesktopSession::windowTitles(pid).starts_with("Untitled"); }))
        << DesktopSession::windowTitles(pid);
}

TEST_F(QtApplications, DesignerMenusReadBehindItsNewFormDialog)
{
    if (!start("/usr/lib/qt6/bin/designer", {}))
        GTEST_SKIP() << "Qt 6 Designer is not installed";
    ASSERT_TRUE(DesktopSession::waitUntil(
        [&] { return DesktopSession::windowTitles(pid).find("New Form") != std::string::npos; },
        std::chrono::seconds(20)))
        << DesktopSession::windowTitles(pid);

    const auto rows = e2e::rowTexts(read());
    // The menus show 30 items with shortcuts, disabled ones (nothing open yet) included.
    EXPECT_EQ(rows.size(), 30u) << fmt::format("{}", fmt::join(rows, "\n"));
    for (const char* expected :
         {"File/New...=⌃N", "File/Save All=⌃⇧S", "File/Quit=⌃Q", "Edit/Redo=⌃⇧Z", "Edit/Edit Signals/Slots=F4",
          "Form/Lay Out in a Form Layout=⌃6", "Form/Break Layout=⌃0", "Form/Preview...=⌃R",
          "View/Property Editor=⌃I", "Window/Minimize=⌃M", "Help/Qt Designer Help=⌃?", "Help/Current Widget Help=F1"})
        EXPECT_THAT(rows, Contains(expected));
    EXPECT_THAT(DesktopSession::windowTitles(pid), testing::HasSubstr("New Form"))
        << "the dialog stays open while the menus are read";
}

} // namespace
} // namespace hb
