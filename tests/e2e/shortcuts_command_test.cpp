// `hintboard shortcuts` over mousepad and the window manager: what it prints, and how it fails.
#include "menu_rows.h"
#include "tray_application.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

namespace hb::e2e {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// The tray host and mousepad of the tray application's fixture, without Hintboard itself.
class ShortcutsCommand : public TrayApplication {
protected:
    void SetUp() override {}
};

TEST_F(ShortcutsCommand, PrintsMousepadsMenusAsJSON)
{
    const auto listed = hintboardCommand("shortcuts --app mousepad --json");
    ASSERT_EQ(listed.status, 0) << listed.errors;
    const json document = json::parse(listed.output);
    EXPECT_EQ(document.at("application").at("name"), "Mousepad");
    EXPECT_EQ(document.at("application").at("identifier"), "org.xfce.mousepad");
    EXPECT_EQ(document.at("application").at("pid"), mousepad);
    const auto rows = rowTexts(jsonRows(listed.output));
    EXPECT_THAT(rows, ::testing::Contains("File/New=⌃N"));
    EXPECT_THAT(rows, ::testing::Contains("Edit/Undo=⌃Z"));
    EXPECT_THAT(rows, ::testing::Each(::testing::Not(::testing::EndsWith("="))));
    const auto& file = document.at("sections").at(0);
    EXPECT_EQ(file.at("title"), "File");
    EXPECT_EQ(file.at("groups").at(0).at("rows").at(0).at("label"), "Ctrl+N") << "the keys in words by default";

    const auto everything = hintboardCommand("shortcuts --pid " + std::to_string(mousepad) + " --json --all").output;
    const auto allRows = rowTexts(jsonRows(everything));
    EXPECT_GT(allRows.size(), rows.size());
    EXPECT_THAT(allRows, ::testing::Contains(::testing::EndsWith("=")));
    EXPECT_TRUE(json::parse(everything).at("includesItemsWithoutShortcuts"));

    const auto text = hintboardCommand("shortcuts --pid " + std::to_string(mousepad));
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.errors, "") << "quiet unless asked";
    EXPECT_THAT(text.output, ::testing::StartsWith("Mousepad (org.xfce.mousepad, pid "));
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\nFile\n  New +Ctrl\\+N\n"));
}

TEST_F(ShortcutsCommand, SystemListsTheWindowManagersOwnBindings)
{
    // The session runs openbox with its configuration from /etc/xdg; the
    // window manager names itself once it has started.
    CommandRun text;
    EXPECT_TRUE(DesktopSession::waitUntil([&] {
        text = hintboardCommand("shortcuts --system");
        return text.output.starts_with("System (Openbox)");
    }, std::chrono::seconds(20)));
    EXPECT_EQ(text.status, 0);
    EXPECT_THAT(text.output, ::testing::StartsWith("System (Openbox)\n"));
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\n  Window Management\n(    .*\n)*    Close +Alt\\+F4\n"));
    EXPECT_THAT(text.output, ::testing::ContainsRegex("\n    Go to desktop left +Ctrl\\+Alt\\+Left\n"));

    const json registered = json::parse(hintboardCommand("shortcuts --registered --json").output);
    EXPECT_EQ(registered.at("sections"), json::array());
}

TEST_F(ShortcutsCommand, ExplainsFailuresWithTheirExitStatus)
{
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

} // namespace
} // namespace hb::e2e
