// LibreOffice Writer with its GTK 3 backend: two menu bars over AT-SPI, GTK
// key bindings with literal spaces and empty accelerator fields, and a
// program that runs as soffice.bin below the oosplash launcher.
#include "atspi_reading.h"
#include "libreoffice_writer.h"
#include "menu_rows.h"

#include "menus/menu_press.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <fstream>

namespace hb {
namespace {

using testing::Contains;
using testing::HasSubstr;

struct Outcome {
    int status = -1;
    std::string output;
    std::string errors;
};

Outcome hintboard(const std::string& arguments)
{
    const std::string errors = e2e::DesktopSession::shared().folder() + "/libreoffice-command.err";
    Outcome run;
    run.output = e2e::DesktopSession::commandOutput(std::string(HINTBOARD_EXECUTABLE) + " " + arguments + " 2>" +
                                                    errors + "; echo \"exit $?\"");
    const auto exit = run.output.rfind("exit ");
    if (exit != std::string::npos) {
        run.status = std::stoi(run.output.substr(exit + 5));
        run.output.resize(exit);
    }
    std::ifstream file(errors);
    run.errors.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return run;
}

class LibreOfficeWriter : public e2e::AtspiReading {
protected:
    static void SetUpTestSuite()
    {
        AtspiReading::SetUpTestSuite();
        processes = e2e::startWriter(*session, "libreoffice-profile");
        writer = processes.writer;
    }
    static void TearDownTestSuite() { e2e::stopWriter(*session, processes); }

    void SetUp() override
    {
        ASSERT_TRUE(e2e::DesktopSession::waitForMenuBar(accessibility, writer, std::chrono::seconds(1)))
            << "LibreOffice Writer did not start or shows no menu bar over AT-SPI";
    }

    std::vector<MenuSection> read(bool includeAll = false) { return AtspiReading::read(writer, includeAll); }

    static inline e2e::WriterProcesses processes;
    static inline pid_t writer = -1;
};

TEST_F(LibreOfficeWriter, MenusReadFromTheNativeBarWithTheKeysLibreOfficeShows)
{
    const auto rows = e2e::rowTexts(read());
    // The native GTK bar, not its hidden copy (which says ⌃M, ⌃F, "Y", "V", "S" for these).
    for (const char* expected : {"View/Formatting Marks=⌃F10", "View/Field Names=⌃F9", "View/Styles=F11",
                                 "View/Navigator=F5", "Tools/Spelling...=F7", "Tools/Automatic Spell Checking=⇧F7",
                                 "Tools/AutoText...=⌃F3", "Tools/Options...=⌥F12"})
        EXPECT_THAT(rows, Contains(expected));
    // A literal space as the key.
    EXPECT_THAT(rows, Contains("Insert/Formatting Mark/Insert non-breaking space=⌃⇧Space"));

    // Form › Content Controls: mnemonics without accelerators, listed only with --all, without keys.
    const auto all = e2e::rowTexts(read(true));
    const std::string contentControls = "Form/Content Controls/";
    EXPECT_THAT(all, Contains(contentControls + "Insert Rich Text Content Control="));
    for (const auto& row : rows)
        EXPECT_THAT(row, testing::Not(testing::StartsWith(contentControls)));
}

TEST_F(LibreOfficeWriter, CommandFindsWriterByItsNamesAndIsQuiet)
{
    for (const char* name : {"libreoffice", "soffice", "soffice.bin", "\"LibreOffice Writer\""}) {
        const Outcome run = hintboard(std::string("shortcuts --app ") + name);
        EXPECT_EQ(run.status, 0) << name << ": " << run.errors;
        EXPECT_THAT(run.output, testing::StartsWith(fmt::format("LibreOffice Writer (libreoffice-writer, pid {})\n",
                                                                writer)))
            << name;
        EXPECT_EQ(run.errors, "") << name;
    }
    const Outcome all = hintboard(fmt::format("shortcuts --pid {} --all --json", writer));
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.errors, "") << "no info lines about lazy submenus without --verbose";
    EXPECT_THAT(all.output, HasSubstr("\"keys\": \"⌃F10\""));
}

TEST_F(LibreOfficeWriter, PressingAnItemOpensItsDialog)
{
    const auto sections = read();
    std::optional<Shortcut> options;
    for (const auto& section : sections)
        for (const auto& shortcut : section.allShortcuts())
            if (section.title == "Tools" && shortcut.title == "Options...")
                options = shortcut;
    ASSERT_TRUE(options);
    const auto dialogs = [] {
        return e2e::DesktopSession::commandOutput("xdotool search --onlyvisible --name '^Options - ' 2>/dev/null");
    };
    ASSERT_EQ(dialogs(), "");
    EXPECT_TRUE(press(accessibility, log, *options));
    std::string dialog;
    EXPECT_TRUE(e2e::DesktopSession::waitUntil([&] { return !(dialog = dialogs()).empty(); }, std::chrono::seconds(20)));
    if (!dialog.empty())
        e2e::DesktopSession::commandOutput("xdotool windowactivate --sync " + dialog.substr(0, dialog.find('\n')) +
                                           " key Escape 2>/dev/null");
}

} // namespace
} // namespace hb
