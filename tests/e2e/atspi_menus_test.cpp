// Reading and pressing the menus of real applications over AT-SPI, and of an
// application that misbehaves there.
#include "menu_rows.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "menus/menu_bar_reader.h"
#include "menus/menu_press.h"
#include "support/model_builders.h"

#include <fmt/format.h>
#include <gmock/gmock.h>

#include <array>
#include <fstream>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using platform::LogCategory;
using platform::LogLevel;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::IsSupersetOf;
using testing::Not;

using test::Row;
using test::rowsOf;

const Row separator{"", ""};

std::vector<std::string> titlesOf(const std::vector<MenuSection>& sections)
{
    std::vector<std::string> titles;
    for (const auto& section : sections)
        titles.push_back(section.title);
    return titles;
}

// Reads menu bars over AT-SPI in the shared session. Programs started with
// start() or launch() are stopped after each test.
class AtspiReading : public testing::Test {
protected:
    static void SetUpTestSuite() { session = &DesktopSession::shared(); }
    void TearDown() override
    {
        for (pid_t pid : launched)
            session->stopApplication(pid);
    }

    pid_t start(const std::vector<std::string>& arguments)
    {
        const pid_t pid = session->launch(arguments);
        EXPECT_GT(pid, 0) << arguments.front();
        launched.push_back(pid);
        return pid;
    }
    // Starts a program and waits until its menu bar can be read.
    pid_t launch(const std::vector<std::string>& arguments, std::chrono::seconds timeout = std::chrono::seconds(20))
    {
        const pid_t pid = start(arguments);
        EXPECT_TRUE(DesktopSession::waitForMenuBar(accessibility, pid, timeout))
            << arguments.front() << " shows no menu bar over AT-SPI";
        return pid;
    }

    std::vector<MenuSection> read(pid_t pid, bool includeAll = false)
    {
        return reader.readMenuBar(MenuReadOptions{.pid = pid, .includeAll = includeAll});
    }

    static inline DesktopSession* session = nullptr;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return true; }};
    linux_platform::AtspiAccessibility accessibility{log};
    MenuBarReader reader{accessibility, log};
    std::vector<pid_t> launched;
};

using AtspiMenusTest = AtspiReading;

TEST_F(AtspiMenusTest, MousepadMenusReadWithTheirShortcutsSeparatorsAndSubmenusAndPress)
{
    const pid_t pid = launch({"mousepad"});
    const auto sections = read(pid);

    ASSERT_THAT(titlesOf(sections), ElementsAre("File", "Edit", "Search", "View", "Document", "Help"));

    // Items without an accelerator (Save All, the disabled Reload) are left out; separators stay.
    // Detach Tab (⌃D) is disabled, and so left out, once mousepad has settled.
    ASSERT_EQ(sections[0].groups.size(), 1u);
    auto fileRows = rowsOf(sections[0].groups[0].shortcuts);
    std::erase(fileRows, Row{"Detach Tab", "⌃D"});
    EXPECT_THAT(fileRows,
                ElementsAre(Row{"New", "⌃N"}, Row{"New Window", "⌃⇧N"}, separator, Row{"Open...", "⌃O"}, separator,
                            Row{"Save", "⌃S"}, Row{"Save As...", "⌃⇧S"}, separator, Row{"Print...", "⌃P"}, separator,
                            separator, Row{"Close Tab", "⌃W"}, Row{"Close Window", "⌃⇧W"}, Row{"Quit", "⌃Q"}));

    // GTK submenus become groups; named keys keep their glyphs.
    EXPECT_THAT(rowTexts(sections),
                IsSupersetOf({"Edit/Move/Line Up=⌥↑", "Edit/Move/Line Down=⌥↓", "Edit/Move/Word Left=⌥←",
                              "Edit/Move/Word Right=⌥→", "Edit/Delete Selection=⌦", "View/Fullscreen=F11"}));

    // With every item, the ones without accelerators appear too, and submenus nest.
    const auto all = rowTexts(read(pid, true));
    EXPECT_THAT(all, Contains("File/Save All="));
    EXPECT_GT(std::ranges::count_if(all, [](const std::string& row) { return row.starts_with("Document/Filetype/"); }),
              100);

    // A pressed item runs its command; once the application quit, a press fails and a read is empty.
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(pid) == 1; }));
    EXPECT_TRUE(press(accessibility, log, *findRow(sections, "File", "New Window")));
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return visibleWindowsOf(pid) == 2; }));
    EXPECT_THAT(sink.messages(LogCategory::accessibility), IsEmpty());
    session->stopApplication(pid);
    EXPECT_FALSE(press(accessibility, log, *findRow(sections, "File", "New")));
    EXPECT_TRUE(sink.contains(LogCategory::accessibility, LogLevel::error, "AX press failed for 'New'"));
    EXPECT_THAT(read(pid), IsEmpty());
}

// Qt's menus: mnemonics are no shortcuts, and an item Qt keeps its keys for while
// disabled is not pressed.
TEST_F(AtspiMenusTest, FeatherPadMenusReadTheSameWayAndItsDisabledSaveIsNotPressed)
{
    const pid_t pid = launch({"featherpad", "--standalone"});
    const auto sections = read(pid);
    EXPECT_THAT(titlesOf(sections), ElementsAre("File", "Edit", "Options", "Search", "Help"));
    EXPECT_EQ(findRow(sections, "File", "Next Tab")->keys, "⌥→");
    EXPECT_EQ(findRow(sections, "File", "Reload")->keys, "⌃⇧R");
    EXPECT_FALSE(findRow(sections, "File", "Save with Encoding"));
    EXPECT_EQ(findRow(read(pid, true), "File", "Save with Encoding")->keys, "");

    auto save = findRow(sections, "File", "Save");
    ASSERT_TRUE(save);
    EXPECT_EQ(save->keys, "⌃S");
    EXPECT_FALSE(press(accessibility, log, *save));
    EXPECT_THAT(sink.messages(LogCategory::accessibility), ElementsAre("Skipping press — item 'Save' is now disabled"));
}

// KDE's kwrite: a large Qt menu bar of KDE Frameworks actions, with a hidden submenu that Qt lists all the same.
TEST_F(AtspiMenusTest, KWriteShowsItsEditorKeysWithoutItsHiddenSubmenu)
{
    if (access("/usr/bin/kwrite", X_OK) != 0)
        GTEST_SKIP() << "kwrite is not installed";
    const std::string document = session->folder() + "/notes.txt";
    std::ofstream(document) << "first line\n";
    const pid_t pid = launch({"/usr/bin/kwrite", document}, std::chrono::seconds(40));
    // Its editor's menus come with the document.
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return DesktopSession::windowTitles(pid).starts_with("notes.txt"); }))
        << DesktopSession::windowTitles(pid);
    const auto rows = rowTexts(read(pid));
    // Named keys, KDE's own actions and submenus (Export/Print, Find Variants).
    for (const char* expected :
         {"File/Save As...=⌃⇧S", "File/Reload=F5", "File/Export/Print/Print...=⌃P", "Edit/Paste Selection=⌃⇧Ins",
          "Edit/Clipboard History Paste=⌃⌥⇧V", "Edit/Overwrite Mode=Ins", "Edit/Find Variants/Find Previous=⇧F3",
          "Selection/Toggle Comment=⌃/", "View/Enlarge Font=⌃+", "Tools/Invoke Code Completion=⌃Space"})
        EXPECT_THAT(rows, Contains(expected));
    EXPECT_THAT(rows, Not(Contains(testing::StartsWith("Edit/Read Only Mode="))));
    EXPECT_THAT(rows, Not(Contains(testing::StartsWith("View/Tool Views/"))));
    // The command finds kwrite by its program name.
    EXPECT_THAT(hintboardCommand("shortcuts --app kwrite").output,
                testing::StartsWith(fmt::format("KWrite (org.kde.kwrite, pid {})\n", pid)));
}

TEST_F(AtspiMenusTest, TrustIsTheSessionsAccessibilitySwitch)
{
    EXPECT_TRUE(accessibility.isProcessTrusted());
    ASSERT_EQ(std::system("gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method "
                          "org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<false>' >/dev/null"),
              0);
    EXPECT_FALSE(accessibility.isProcessTrusted());

    EXPECT_TRUE(accessibility.requestTrust());
    EXPECT_TRUE(accessibility.isProcessTrusted());
    EXPECT_THAT(sink.messages(LogCategory::accessibility),
                ElementsAre(testing::HasSubstr("applications started before may need a restart")));
}

// Reading the menus of an application that misbehaves over AT-SPI: replies
// out of order, floods of events, a stall part-way.
// The application (faulty_atspi_app) gives "Item m.i" of "Menu m" keys of its
// own, so that a reply matched to the wrong item shows.

using Clock = std::chrono::steady_clock;
using testing::HasSubstr;

// The keys of the item at place n (of all items, in order): the key (88 of them) and, every 88
// places, the next modifier set (Control alone first, none last).
std::string expectedKeys(int place)
{
    static const std::string punctuation = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
    const int key = place % 88, modifiers = (place / 88 + 1) % 16;
    std::string keys;
    for (int bit = 0; bit < 4; ++bit)
        if (modifiers & (1 << bit))
            keys += std::array{"⌃", "⌥", "⇧", "⌘"}[bit];
    return keys
           + (key < 26   ? std::string(1, char('A' + key))
              : key < 36 ? std::string(1, char('0' + key - 26))
              : key < 56 ? "F" + std::to_string(key - 35)
                         : std::string(1, punctuation[key - 56]));
}

std::vector<std::string> wholeMenuBar(int menus, int items)
{
    std::vector<std::string> rows;
    for (int menu = 1; menu <= menus; ++menu)
        for (int item = 1; item <= items; ++item)
            rows.push_back(
                fmt::format("Menu {0}/Item {0}.{1}={2}", menu, item, expectedKeys((menu - 1) * items + item - 1)));
    return rows;
}

class AtspiFaultsTest : public AtspiReading {
protected:
    // Starts the application and waits until it is on the bus (without asking
    // it anything, which would count among its calls).
    pid_t launch(int menus, int items, std::vector<std::string> faults = {})
    {
        std::vector<std::string> arguments{HINTBOARD_FAULTY_ATSPI_APP, "--menus", std::to_string(menus), "--items",
                                           std::to_string(items)};
        arguments.insert(arguments.end(), faults.begin(), faults.end());
        const pid_t pid = start(arguments);
        EXPECT_TRUE(DesktopSession::waitUntil([&] {
            return accessibility.presence(pid) == linux_platform::AtspiAccessibility::Presence::onBus;
        })) << "the application did not join the accessibility bus";
        return pid;
    }

    std::vector<std::string> read(pid_t pid) { return rowTexts(AtspiReading::read(pid, true)); }

    // An unanswered request may cost a read one timeout, never one per item;
    // the ceiling leaves room for a loaded machine.
    static constexpr auto oneTimeoutAtMost = 2 * MenuBarReader::messagingTimeout + 1s;
};

// Applications that answer every request, each in a test of its own: well behaved with
// every key and every modifier set, replying in reverse order, flooding events.
struct WholeRead {
    std::string name;
    int menus, items;
    std::vector<std::string> faults;
};
// Names the parameter in the test's name, which stays the same from build to build.
void PrintTo(const WholeRead& application, std::ostream* out)
{
    *out << application.name;
}
class WholeReads : public AtspiFaultsTest, public testing::WithParamInterface<WholeRead> {};

TEST_P(WholeReads, AreWholeWithEveryItemsOwnKeys)
{
    const auto& application = GetParam();
    const pid_t pid = launch(application.menus, application.items, application.faults);
    EXPECT_EQ(read(pid), wholeMenuBar(application.menus, application.items));
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), Not(Contains(HasSubstr("does not answer"))));
}

INSTANTIATE_TEST_SUITE_P(AtspiFaultsTest, WholeReads,
                         testing::Values(WholeRead{"WellBehaved", 16, 88, {}},
                                         WholeRead{"Reversed", 6, 100, {"--reverse"}},
                                         WholeRead{"Flooding", 7, 60, {"--flood"}}),
                         [](const testing::TestParamInfo<WholeRead>& info) { return info.param.name; });

TEST_F(AtspiFaultsTest, AStallEndsTheReadInOneTimeoutWithWhatWasRead)
{
    // The application stops answering half-way through what a whole read asks.
    const pid_t whole = launch(6, 40);
    const auto before = accessibility.requestCount();
    const auto rows = wholeMenuBar(6, 40);
    ASSERT_EQ(read(whole), rows);
    const auto requests = accessibility.requestCount() - before;

    const pid_t pid = launch(6, 40, {"--stall-after", std::to_string(requests / 2)});
    const auto start = Clock::now();
    const auto partial = read(pid);
    EXPECT_LT(Clock::now() - start, oneTimeoutAtMost);
    EXPECT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), rows.size());
    // Each row read is the application's, in its order: no answer given to the wrong item.
    std::size_t matched = 0;
    for (auto next = rows.begin();
         matched < partial.size() && (next = std::find(next, rows.end(), partial[matched])) != rows.end(); ++next)
        ++matched;
    EXPECT_EQ(matched, partial.size()) << partial[matched];
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper),
                Contains(HasSubstr("pid " + std::to_string(pid) + " stopped answering during the read")));
}

} // namespace
} // namespace hb::e2e
