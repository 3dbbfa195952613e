// LibreOffice Writer with its GTK 3 backend, started once: two menu bars over
// AT-SPI and its exported one, GTK key bindings with literal spaces and empty
// accelerator fields, a program that runs as soffice.bin below the oosplash
// launcher, and the popup over it.
#include "menu_rows.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "linux/exported_menu_accessibility.h"
#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"

#include <fmt/format.h>
#include <gmock/gmock.h>

namespace hb::e2e {
namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

// Writer with a profile of its own: the launcher script becomes oosplash, which runs
// soffice.bin, and runs it again when the first start with a new profile asks for a restart.
class LibreOfficeWriter : public TrayApplication {
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

    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
    linux_platform::AtspiAccessibility atspi{log};
    linux_platform::ExportedMenuAccessibility exported{log};
    linux_platform::MenuExportingAccessibility accessibility{exported, atspi, SessionKind::x11};
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

    // The popup over Writer: its rows drawn without stray lines.
    startHintboard();
    run("xdotool windowactivate --sync " + std::to_string(DesktopSession::managedWindowOf(writer)));
    ASSERT_TRUE(openWithHotKey());
    std::vector<std::string> lines;
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return popupRowCount(lines = popupLines(hintboard)) > 50; }));
    EXPECT_THAT(misplacedLines(lines), testing::IsEmpty()) << testing::PrintToString(lines);
    run("import -window root popup-list-libreoffice.png");
    EXPECT_TRUE(closeWithEscape());
}

} // namespace
} // namespace hb::e2e
