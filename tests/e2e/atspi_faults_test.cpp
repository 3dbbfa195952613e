// Reading the menus of an application that misbehaves over AT-SPI: replies
// out of order, requests never answered, floods of events, a stall part-way.
// The application (faulty_atspi_app) gives "Item m.i" of "Menu m" keys of its
// own, so that a reply matched to the wrong item shows.
#include "atspi_reading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace hb {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

// The keys of "Item <menu>.<item>" when every menu holds `itemsPerMenu` items:
// its place n picks the key (88 of them) and, every 88 places, the next
// modifier set (Control alone first, none last).
std::string expectedKeys(int menu, int item, int itemsPerMenu)
{
    static const char* const glyphs[] = {"⌃", "⌥", "⇧", "⌘"};
    static const std::string punctuation = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
    const int place = (menu - 1) * itemsPerMenu + (item - 1);
    const int key = place % 88;
    const int modifiers = (place / 88 + 1) % 16;
    std::string keys;
    for (int bit = 0; bit < 4; ++bit)
        if (modifiers & (1 << bit))
            keys += glyphs[bit];
    if (key < 26)
        keys += static_cast<char>('A' + key);
    else if (key < 36)
        keys += static_cast<char>('0' + key - 26);
    else if (key < 56)
        keys += "F" + std::to_string(key - 35);
    else
        keys += punctuation[key - 56];
    return keys;
}

// One row as "Menu m › title keys".
std::vector<std::string> rowsOf(const std::vector<MenuSection>& sections)
{
    std::vector<std::string> rows;
    for (const auto& section : sections)
        for (const auto& shortcut : section.allShortcuts())
            rows.push_back(section.title + " › " + (shortcut.title.empty() ? "separator" : shortcut.title) +
                           (shortcut.keys.empty() ? "" : " " + shortcut.keys));
    return rows;
}

std::vector<std::string> wholeMenuBar(int menus, int items)
{
    std::vector<std::string> rows;
    for (int menu = 1; menu <= menus; ++menu)
        for (int item = 1; item <= items; ++item)
            rows.push_back("Menu " + std::to_string(menu) + " › Item " + std::to_string(menu) + "." +
                           std::to_string(item) + " " + expectedKeys(menu, item, items));
    return rows;
}

// The rows read that the application does not have, in that menu with those
// keys (an answer given to the wrong item, an item that was never read), or
// that come out of order.
std::vector<std::string> wrongRows(const std::vector<std::string>& read, const std::vector<std::string>& whole)
{
    std::vector<std::string> wrong;
    auto next = whole.begin();
    for (const auto& row : read) {
        auto found = std::find(next, whole.end(), row);
        if (found == whole.end())
            wrong.push_back(row);
        else
            next = found + 1;
    }
    return wrong;
}

class AtspiFaultsTest : public e2e::AtspiReading {
protected:
    static void SetUpTestSuite()
    {
        AtspiReading::SetUpTestSuite();
        // The session names its logs after the program: launched by name, from PATH.
        const std::string program = HINTBOARD_FAULTY_ATSPI_APP;
        const std::string folder = program.substr(0, program.rfind('/'));
        setenv("PATH", (folder + ":" + std::getenv("PATH")).c_str(), 1);
    }

    // Starts the application and waits until it is on the bus (without asking
    // it anything, which would count among its calls).
    pid_t launch(int menus, int items, std::vector<std::string> faults = {})
    {
        std::vector<std::string> arguments{"faulty_atspi_app", "--menus", std::to_string(menus), "--items",
                                           std::to_string(items)};
        arguments.insert(arguments.end(), faults.begin(), faults.end());
        const pid_t pid = start(arguments);
        EXPECT_TRUE(e2e::DesktopSession::waitUntil(
            [&] { return accessibility.presence(pid) == linux_platform::AtspiAccessibility::Presence::onBus; }))
            << "the application did not join the accessibility bus";
        return pid;
    }

    struct Read {
        std::vector<std::string> rows;
        Clock::duration elapsed;
    };
    Read read(pid_t pid)
    {
        const auto start = Clock::now();
        auto sections = AtspiReading::read(pid, true);
        return Read{rowsOf(sections), Clock::now() - start};
    }

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
void PrintTo(const WholeRead& application, std::ostream* out) { *out << application.name; }
class WholeReads : public AtspiFaultsTest, public testing::WithParamInterface<WholeRead> {};

TEST_P(WholeReads, AreWholeWithEveryItemsOwnKeys)
{
    const auto& application = GetParam();
    const pid_t pid = launch(application.menus, application.items, application.faults);
    EXPECT_EQ(read(pid).rows, wholeMenuBar(application.menus, application.items));
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper), Not(Contains(HasSubstr("does not answer"))));
}

INSTANTIATE_TEST_SUITE_P(AtspiFaultsTest, WholeReads,
                         testing::Values(WholeRead{"WellBehaved", 16, 88, {}}, WholeRead{"Reversed", 6, 40, {"--reverse"}},
                                         WholeRead{"Flooding", 7, 60, {"--flood"}}),
                         [](const testing::TestParamInfo<WholeRead>& info) { return info.param.name; });

TEST_F(AtspiFaultsTest, AnUnansweredRequestCostsOneTimeoutAndTheNextReadWorksAgain)
{
    // Every 200th title or key binding goes unanswered: one in each read.
    const pid_t pid = launch(6, 40, {"--drop-every", "200"});
    const auto whole = wholeMenuBar(6, 40);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE("read " + std::to_string(attempt));
        const auto partial = read(pid);
        EXPECT_LT(partial.elapsed, oneTimeoutAtMost);
        EXPECT_FALSE(partial.rows.empty());
        EXPECT_LT(partial.rows.size(), whole.size());
        EXPECT_THAT(wrongRows(partial.rows, whole), IsEmpty());
    }
}

TEST_F(AtspiFaultsTest, AStallEndsTheReadInOneTimeoutWithWhatWasRead)
{
    // The application stops answering half-way through what a whole read asks.
    const pid_t whole = launch(6, 40);
    const auto before = accessibility.requestCount();
    ASSERT_EQ(read(whole).rows, wholeMenuBar(6, 40));
    const auto requests = accessibility.requestCount() - before;

    const pid_t pid = launch(6, 40, {"--stall-after", std::to_string(requests / 2)});
    const auto partial = read(pid);
    EXPECT_LT(partial.elapsed, oneTimeoutAtMost);
    EXPECT_FALSE(partial.rows.empty());
    EXPECT_LT(partial.rows.size(), 240u);
    EXPECT_THAT(wrongRows(partial.rows, wholeMenuBar(6, 40)), IsEmpty());
    EXPECT_THAT(sink.messages(platform::LogCategory::scraper),
                Contains(HasSubstr("pid " + std::to_string(pid) + " stopped answering during the read")));
}

TEST_F(AtspiFaultsTest, TheShortcutsCommandCallsASlowButWholeReadWhole)
{
    // Replies held back a little each: the read lasts longer than one timeout, yet every request is answered.
    const pid_t pid = launch(6, 100, {"--reverse"});
    std::istringstream output(e2e::DesktopSession::commandOutput(std::string(HINTBOARD_EXECUTABLE) +
                                                                 " shortcuts --pid " + std::to_string(pid) + " 2>&1"));
    int rows = 0;
    std::vector<std::string> complaints;
    for (std::string line; std::getline(output, line);) {
        rows += line.starts_with("  Item ");
        if (line.starts_with("hintboard:"))
            complaints.push_back(line);
    }
    EXPECT_EQ(rows, 600);
    EXPECT_THAT(complaints, IsEmpty());
}

} // namespace
} // namespace hb
