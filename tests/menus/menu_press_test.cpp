// What a press checks and logs; pressing real applications' items is checked end to end
// (tests/e2e/atspi_menus_test.cpp).
#include "menus/menu_press.h"

#include "platform/fake/fake_accessibility.h"
#include "platform/fake/memory_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using fake::item;
using fake::menu;
using platform::LogCategory;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr pid_t pid = 7;

class MenuPressTest : public testing::Test {
protected:
    MenuPressTest() { accessibility.addApplication(pid, {menu("File", {item("Save", "s"), item("Show Sidebar", "s", 4)})}); }

    fake::FakeElement& element(const std::string& title) { return *accessibility.find(pid, {"File", title}); }

    // The row the reader would have made for the item.
    Shortcut rowFor(const std::string& title)
    {
        return Shortcut{.title = title, .keys = "⌘S", .axElement = element(title).shared_from_this()};
    }

    bool press(const Shortcut& row) { return hb::press(accessibility, log, row); }
    std::vector<std::string> lines() const { return sink.messages(LogCategory::accessibility); }

    fake::FakeAccessibility accessibility;
    fake::MemoryLogSink sink;
    bool debugLogging = true;
    platform::Log log{sink, [this] { return debugLogging; }};
};

TEST_F(MenuPressTest, EnabledOrUnreadableItemsArePressedQuietlyAndDisabledOnesSkipped)
{
    EXPECT_TRUE(press(rowFor("Save")));
    element("Save").fail(platform::ax::enabled);
    EXPECT_TRUE(press(rowFor("Save")));
    element("Save").set(platform::ax::enabled, std::string("no"));
    EXPECT_TRUE(press(rowFor("Save")));
    EXPECT_EQ(element("Save").pressCount(), 3);
    const int reads = accessibility.attributeReads();
    EXPECT_FALSE(press(Shortcut{.title = "Mission Control", .keys = "⌃↑"}));
    EXPECT_FALSE(press(Shortcut::separator()));
    EXPECT_EQ(accessibility.attributeReads(), reads) << "rows without an element do nothing";
    EXPECT_THAT(sink.records(), IsEmpty());

    element("Save").setEnabled(false);
    EXPECT_FALSE(press(rowFor("Save")));
    EXPECT_EQ(element("Save").pressCount(), 3);
    debugLogging = false;  // titles are private unless debug logging is on
    press(rowFor("Save"));
    EXPECT_THAT(lines(), ElementsAre("Skipping press — item 'Save' is now disabled",
                                     "Skipping press — item '<private>' is now disabled"));
}

TEST_F(MenuPressTest, AChangedTitleIsLoggedAndAFailedPressGivesFalse)
{
    auto row = rowFor("Show Sidebar");
    auto& sidebar = element("Show Sidebar");
    sidebar.setTitle("Hide Sidebar");
    EXPECT_TRUE(press(row));
    EXPECT_EQ(sidebar.pressCount(), 1);
    EXPECT_THAT(lines(), ElementsAre("Title mismatch at press: displayed 'Show Sidebar' but live element is "
                                     "'Hide Sidebar'"));
    // The live title is sanitised before the comparison; an unreadable or non-text title skips it.
    sink.clear();
    sidebar.setTitle("Show Sidebar\x07");
    EXPECT_TRUE(press(row));
    sidebar.fail(platform::ax::title);
    EXPECT_TRUE(press(row));
    sidebar.set(platform::ax::title, platform::AXNumber{3});
    EXPECT_TRUE(press(row));
    EXPECT_THAT(lines(), IsEmpty());

    sidebar.refusePress();
    EXPECT_FALSE(press(row));
    auto save = rowFor("Save");
    accessibility.quit(pid);
    EXPECT_FALSE(press(save));
    EXPECT_THAT(lines(), ElementsAre("AX press failed for 'Show Sidebar'", "AX press failed for 'Save'"));
}

} // namespace
