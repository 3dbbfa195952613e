#ifdef HINTBOARD_EXPORTED_MENUS_APP

#include "desktop_session.h"

#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "platform/fake/memory_log.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/exported_menu_accessibility.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace hb::e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

std::string commandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    while (auto count = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, count);
    pclose(pipe);
    return output;
}

std::string fileText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

const Shortcut* rowTitled(const std::vector<MenuSection>& sections, std::string_view title)
{
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.shortcuts)
                if (row.title == title)
                    return &row;
    return nullptr;
}

// The test application runs without its AT-SPI bridge, so that only its
// exported menus can be read.
class ExportedMenus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session = &DesktopSession::shared();
        actionsFile = session->folder() + "/exported-menu-actions.txt";
        // Launched by name: the session names its log after the program.
        const std::string program = HINTBOARD_EXPORTED_MENUS_APP;
        const std::string folder = program.substr(0, program.rfind('/'));
        setenv("PATH", (folder + ":" + std::getenv("PATH")).c_str(), 1);
        app = session->launch({program.substr(folder.size() + 1)},
                              {{"NO_AT_BRIDGE", "1"}, {"HINTBOARD_ACTIONS_FILE", actionsFile}});
        DesktopSession::waitUntil([] { return DesktopSession::managedWindowOf(app) != 0; });
    }
    static void TearDownTestSuite() { session->stopApplication(app); }

    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    linux_platform::AtspiAccessibility atspi{log};
    linux_platform::ExportedMenuAccessibility exported{log};
    linux_platform::MenuExportingAccessibility accessibility{exported, atspi};
    MenuBarReader reader{accessibility, log};

    static DesktopSession* session;
    static std::string actionsFile;
    static pid_t app;
};
DesktopSession* ExportedMenus::session = nullptr;
std::string ExportedMenus::actionsFile;
pid_t ExportedMenus::app = -1;

TEST_F(ExportedMenus, ShortcutsCommandListsTheExportedMenuBar)
{
    ASSERT_NE(DesktopSession::managedWindowOf(app), 0u);
    const auto output =
        commandOutput(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --json --all --pid " + std::to_string(app));
    const auto document = nlohmann::json::parse(output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << output;
    std::vector<std::string> menus;
    std::vector<std::string> rows;
    for (const auto& section : document.at("sections")) {
        menus.push_back(section.at("title"));
        for (const auto& group : section.at("groups"))
            for (const auto& row : group.at("rows"))
                rows.push_back((group.at("title").is_null() ? "" : group.at("title").get<std::string>() + "/") +
                               row.at("title").get<std::string>() + "=" + row.at("keys").get<std::string>());
    }
    EXPECT_THAT(menus, ElementsAre("Application", "File", "View", "Help"));
    EXPECT_THAT(rows, IsSupersetOf({"Preferences=⌃,", "New=⌃N", "Open…=⌃O", "Save As…=⌃⇧S", "Quit=⌃Q",
                                    "Open Recent/first.txt=", "Open Recent/second.txt=⌃2", "Reload=F5",
                                    "Zoom/Zoom In=⌃+", "Zoom/Reset Zoom=⌃0", "About="}));
    EXPECT_THAT(rows, Not(Contains(HasSubstr("Hidden"))));  // hidden while its action is missing
}

TEST_F(ExportedMenus, ReaderSeesSectionsAndPressesThroughTheActions)
{
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = app});
    ASSERT_EQ(sections.size(), 3u);  // Help has no shortcut
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), Contains(HasSubstr("exported menus of :")));
    // File: New, Open…, a separator, Save As…, a separator, Quit; Open Recent as a group.
    std::vector<std::string> file;
    for (const auto& row : sections[1].groups.front().shortcuts)
        file.push_back(row.isSeparator ? "-" : row.title);
    EXPECT_THAT(file, ElementsAre("New", "Open…", "-", "Save As…", "-", "Quit"));

    for (const auto* title : {"Reload", "second.txt", "Preferences"}) {
        const auto* row = rowTitled(sections, title);
        ASSERT_NE(row, nullptr) << title;
        EXPECT_TRUE(press(accessibility, log, *row)) << title;
    }
    const auto* locked = rowTitled(sections, "Locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_FALSE(press(accessibility, log, *locked));  // its action is disabled
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return fileText(actionsFile) == "reload\nrecent second\npreferences\n"; }))
        << fileText(actionsFile);
}

TEST_F(ExportedMenus, StoppedApplicationIsNotAnsweringAndNotReadOverAtspi)
{
    ASSERT_FALSE(reader.readMenuBar(MenuReadOptions{.pid = app}).empty());
    kill(app, SIGSTOP);
    const auto sections = reader.readMenuBar(MenuReadOptions{.pid = app});
    kill(app, SIGCONT);
    EXPECT_TRUE(sections.empty());
    // One request timed out; AT-SPI was not asked to wait again.
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper),
                Contains(HasSubstr("does not answer requests for its exported menus")));
    EXPECT_FALSE(reader.readMenuBar(MenuReadOptions{.pid = app}).empty()) << "answers again after it resumed";
}

} // namespace
} // namespace hb::e2e

#endif
