#include "menus/menu_press.h"

#include "fake/fake_accessibility.h"
#include "fake/memory_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using fake::item;
using fake::menu;
using platform::LogCategory;
using platform::LogLevel;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr pid_t pid = 7;

class MenuPressTest : public testing::Test {
protected:
    MenuPressTest()
    {
        accessibility.addApplication(pid, {menu("File", {item("Save", "s"), item("Show Sidebar", "s", 4)})});
    }

    fake::FakeElement& element(const std::string& title) { return *accessibility.find(pid, {"File", title}); }

    // The row the reader would have made for the item.
    Shortcut rowFor(const std::string& title)
    {
        Shortcut row;
        row.title = title;
        row.keys = "⌘S";
        row.axElement = element(title).shared_from_this();
        return row;
    }

    bool press(const Shortcut& row) { return hb::press(accessibility, log, row); }
    std::vector<std::string> lines() const { return sink.messages(LogCategory::accessibility); }

    fake::FakeAccessibility accessibility;
    fake::MemoryLogSink sink;
    bool debugLogging = true;
    platform::Log log{sink, [this] { return debugLogging; }};
};

TEST_F(MenuPressTest, PressesAnEnabledItemWithoutLoggingAndRowsWithoutAnElementDoNothing)
{
    EXPECT_TRUE(press(rowFor("Save")));
    EXPECT_EQ(element("Save").pressCount(), 1);
    const int reads = accessibility.attributeReads();
    EXPECT_FALSE(press(Shortcut{.title = "Mission Control", .keys = "⌃↑"}));
    EXPECT_FALSE(press(Shortcut::separator()));
    EXPECT_EQ(accessibility.attributeReads(), reads);
    EXPECT_THAT(sink.records(), IsEmpty());
}

TEST_F(MenuPressTest, ADisabledItemIsSkipped)
{
    auto row = rowFor("Save");
    element("Save").setEnabled(false);
    EXPECT_FALSE(press(row));
    EXPECT_EQ(element("Save").pressCount(), 0);
    EXPECT_TRUE(sink.contains(LogCategory::accessibility, LogLevel::info, "Skipping press — item 'Save' is now disabled"));
    EXPECT_EQ(lines().size(), 1u);

    // Titles are private unless debug logging is on.
    debugLogging = false;
    sink.clear();
    press(row);
    EXPECT_THAT(lines(), ElementsAre("Skipping press — item '<private>' is now disabled"));
}

TEST_F(MenuPressTest, AnEnablementThatCannotBeReadDoesNotStopThePress)
{
    element("Save").fail(platform::ax::enabled);
    EXPECT_TRUE(press(rowFor("Save")));
    element("Save").set(platform::ax::enabled, std::string("no"));
    EXPECT_TRUE(press(rowFor("Save")));
    EXPECT_EQ(element("Save").pressCount(), 2);
    EXPECT_THAT(lines(), IsEmpty());
}

TEST_F(MenuPressTest, AChangedTitleIsLoggedAndTheLiveItemPressed)
{
    auto row = rowFor("Show Sidebar");
    auto& sidebar = element("Show Sidebar");
    sidebar.setTitle("Hide Sidebar");
    EXPECT_TRUE(press(row));
    EXPECT_EQ(sidebar.pressCount(), 1);
    EXPECT_THAT(sink.records(), ElementsAre(testing::Field(&platform::LogRecord::level, LogLevel::error)));
    EXPECT_THAT(lines(), ElementsAre("Title mismatch at press: displayed 'Show Sidebar' but live element is "
                                     "'Hide Sidebar'"));

    // The live title is sanitised before the comparison; an unreadable or
    // non-text title skips it.
    sink.clear();
    sidebar.setTitle("Show Sidebar\x07");
    EXPECT_TRUE(press(row));
    sidebar.fail(platform::ax::title);
    EXPECT_TRUE(press(row));
    sidebar.set(platform::ax::title, platform::AttributeNumber{3});
    EXPECT_TRUE(press(row));
    EXPECT_THAT(lines(), IsEmpty());
}

TEST_F(MenuPressTest, AFailedPressIsLoggedAndGivesFalse)
{
    auto refused = rowFor("Show Sidebar");
    element("Show Sidebar").refusePress();
    EXPECT_FALSE(press(refused));

    auto save = rowFor("Save");
    accessibility.quit(pid);
    EXPECT_FALSE(press(save));
    EXPECT_THAT(lines(), ElementsAre("AX press failed for 'Show Sidebar'", "AX press failed for 'Save'"));
    EXPECT_TRUE(sink.contains(LogCategory::accessibility, LogLevel::error, "AX press failed for 'Save'"));
}

} // namespace
