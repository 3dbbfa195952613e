#include "desktop_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>

namespace hb::e2e {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

struct Outcome {
    int status = -1;
    std::string output;
};

// Runs the hintboard executable with the arguments (shell words) and keeps
// its standard output, or its standard error with `errors`.
Outcome hintboard(const std::string& arguments, bool errors = false)
{
    const std::string command = std::string(HINTBOARD_EXECUTABLE) + " " + arguments +
                                (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    Outcome run;
    if (!pipe)
        return run;
    char buffer[4096];
    while (auto count = std::fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, count);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The rows of the sections, as "Menu/Submenu/Title=keys".
std::vector<std::string> rowsOf(const json& document)
{
    std::vector<std::string> rows;
    for (const auto& section : document.at("sections"))
        for (const auto& group : section.at("groups"))
            for (const auto& row : group.at("rows")) {
                std::string path = section.at("title").get<std::string>() + "/";
                if (!group.at("title").is_null())
                    path += group.at("title").get<std::string>() + "/";
                rows.push_back(path + row.at("title").get<std::string>() + "=" + row.at("keys").get<std::string>());
            }
    return rows;
}

class ShortcutsCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        session = &DesktopSession::shared();
        mousepad = session->launch({"mousepad", "--disable-server"});
    }
    static void TearDownTestSuite() { session->stopApplication(mousepad); }

    static DesktopSession* session;
    static pid_t mousepad;
};
DesktopSession* ShortcutsCommand::session = nullptr;
pid_t ShortcutsCommand::mousepad = -1;

TEST_F(ShortcutsCommand, PrintsMousepadsMenusAsJSON)
{
    Outcome run;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        run = hintboard("shortcuts --app mousepad --json");
        return run.status == 0;
    }, std::chrono::seconds(20))) << run.status;

    const json document = json::parse(run.output);
    EXPECT_EQ(document.at("application").at("name"), "Mousepad");
    EXPECT_EQ(document.at("application").at("identifier"), "org.xfce.mousepad");
    EXPECT_EQ(document.at("application").at("pid"), mousepad);
    const auto rows = rowsOf(document);
    EXPECT_THAT(rows, ::testing::Contains("File/New=⌃N"));
    EXPECT_THAT(rows, ::testing::Contains("Edit/Undo=⌃Z"));
    EXPECT_THAT(rows, ::testing::Each(::testing::Not(::testing::EndsWith("="))));
    const auto& file = document.at("sections").at(0);
    EXPECT_EQ(file.at("title"), "File");
    EXPECT_EQ(file.at("groups").at(0).at("rows").at(0).at("label"), "Ctrl+N") << "the keys in words by default";

    const json everything = json::parse(hintboard("shortcuts --pid " + std::to_string(mousepad) + " --json --all").output);
    const auto allRows = rowsOf(everything);
    EXPECT_GT(allRows.size(), rows.size());
    EXPECT_THAT(allRows, ::testing::Contains(::testing::EndsWith("=")));
    EXPECT_TRUE(everything.at("includesItemsWithoutShortcuts"));

    const Outcome text = hintboard("shortcuts --pid " + std::to_string(mousepad));
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(hintboard("shortcuts --pid " + std::to_string(mousepad), true).output, "") << "quiet unless asked";
    EXPECT_THAT(text.output, ::testing::StartsWith("Mousepad (org.xfce.mousepad, pid "));
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\nFile\n  New +Ctrl\\+N\n"));
}

TEST_F(ShortcutsCommand, SystemListsTheWindowManagersOwnBindings)
{
    // The session runs openbox with its configuration from /etc/xdg; the
    // window manager names itself once it has started.
    Outcome text;
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        text = hintboard("shortcuts --system");
        return text.output.starts_with("System (Openbox)");
    }, std::chrono::seconds(20)));
    EXPECT_EQ(text.status, 0);
    EXPECT_THAT(text.output, ::testing::StartsWith("System (Openbox)\n"));
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\n  Window Management\n(    .*\n)*    Close +Alt\\+F4\n"));
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\n    Go to desktop left +Ctrl\\+Alt\\+Left\n"));

    const json registered = json::parse(hintboard("shortcuts --registered --json").output);
    EXPECT_EQ(registered.at("sections"), json::array());
}

TEST_F(ShortcutsCommand, ExplainsFailuresWithTheirExitStatus)
{
    Outcome missing = hintboard("shortcuts --app no-such-application", true);
    EXPECT_EQ(missing.status, 4);
    EXPECT_THAT(missing.output, HasSubstr("no running application is called \"no-such-application\""));

    // A process that is not on the accessibility bus: this test program.
    Outcome notOnBus = hintboard("shortcuts --pid " + std::to_string(getpid()), true);
    EXPECT_EQ(notOnBus.status, 5);
    EXPECT_THAT(notOnBus.output, HasSubstr("is not on the accessibility bus"));

    // A stopped application is said not to answer, not to need a restart.
    Outcome ready;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (ready = hintboard("shortcuts --app mousepad", true)).status == 0; },
                                          std::chrono::seconds(20)))
        << ready.status << ": " << ready.output;
    kill(mousepad, SIGSTOP);
    Outcome stalled = hintboard("shortcuts --app mousepad", true);
    kill(mousepad, SIGCONT);
    EXPECT_EQ(stalled.status, 5);
    EXPECT_THAT(stalled.output, HasSubstr("does not answer"));

    for (const char* arguments : {"shortcuts", "shortcuts --front --app mousepad", "shortcuts --pid 12x",
                                  "shortcuts --app", "shortcuts --front --colour"}) {
        Outcome bad = hintboard(arguments, true);
        EXPECT_EQ(bad.status, 2) << arguments;
        EXPECT_THAT(bad.output, HasSubstr("usage: hintboard shortcuts")) << arguments;
    }
    Outcome unknown = hintboard("unknown", true);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.output, HasSubstr("hintboard --help"));
    Outcome help = hintboard("shortcuts --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.output, HasSubstr("Exit status:"));
}

} // namespace
} // namespace hb::e2e
