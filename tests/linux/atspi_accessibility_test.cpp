#include "linux/atspi_accessibility.h"

#include "fake/fake_accessibility.h"

#include <gtest/gtest.h>

namespace hb::linux_platform {
namespace {

using platform::AttributeNumber;

// Object trees in the shapes that real applications show over AT-SPI.
class MenuBarChoice : public ::testing::Test {
protected:
    fake::FakeElement& object(std::string_view role, std::vector<fake::FakeElement*> children = {}, bool shown = true)
    {
        auto& element = accessibility.newElement(1);
        element.set(atspi_attribute::role, std::string(role));
        element.set(atspi_attribute::showing, AttributeNumber{shown ? 1.0 : 0.0});
        element.set(atspi_attribute::visible, AttributeNumber{shown ? 1.0 : 0.0});
        for (auto* child : children)
            element.add(*child);
        return element;
    }
    // A menu bar with a File menu whose items are visible or not, with these key characters.
    fake::FakeElement& menuBar(bool itemsVisible, std::vector<std::optional<std::string>> keys, bool shown = true)
    {
        auto& menu = object("menu");
        for (const auto& key : keys) {
            auto& item = object("menu item", {}, itemsVisible);
            item.set(atspi_attribute::showing, AttributeNumber{0});
            if (key)
                item.set(platform::ax::cmdChar, *key);
            menu.add(item);
        }
        return object("menu bar", {&object("menu", {&menu})}, shown);
    }
    platform::ElementRef chosen(fake::FakeElement& window)
    {
        return chooseMenuBar(accessibility, window.shared_from_this());
    }

    fake::FakeAccessibility accessibility;
};

// The shown bar, the one with keys and the window's own are chosen in real windows end to end
// (tests/e2e/libreoffice_test.cpp, firefox_test.cpp, atspi_menus_test.cpp).
TEST_F(MenuBarChoice, NotInPanesRowsOfButtonsNorTooDeepNorPastTheBound)
{
    // Not in a pane's row of buttons, nor below other objects or too deep.
    auto& inButtons = menuBar(true, {"b"});
    auto& inText = menuBar(true, {"t"});
    EXPECT_EQ(
        chosen(object("frame", {&object("panel", {&object("tool bar", {&inButtons})}), &object("text", {&inText})})),
        nullptr);
    auto& deep = menuBar(true, {"d"});
    fake::FakeElement* nest = &deep;
    for (int i = 0; i < 6; ++i)
        nest = &object("panel", {nest});
    EXPECT_EQ(chosen(object("frame", {nest})), nullptr);

    // A viewport full of icons is looked at only so far.
    auto& late = menuBar(true, {"l"});
    auto& icons = object("viewport");
    for (int i = 0; i < 1000; ++i)
        icons.add(object("icon"));
    const int readsBefore = accessibility.attributeReads();
    EXPECT_EQ(
        chosen(object("frame", {&object("scroll pane", {&icons}), &object("panel", {&object("panel", {&late})})})),
        nullptr);
    EXPECT_LT(accessibility.attributeReads() - readsBefore, 1000);
}

} // namespace
} // namespace hb::linux_platform
