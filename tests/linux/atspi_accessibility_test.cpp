#include "linux/atspi_accessibility.h"

#include "fake/fake_accessibility.h"

#include <gtest/gtest.h>

namespace hb::linux_platform {
namespace {

using platform::AttributeNumber;

// The shown bar, the one with keys and the window's own are chosen in real windows end to end
// (tests/e2e/libreoffice_test.cpp, firefox_test.cpp, atspi_menus_test.cpp).
TEST(MenuBarChoice, NotInPanesRowsOfButtonsNorTooDeepNorPastTheBound)
{
    // Object trees in the shapes that real applications show over AT-SPI.
    fake::FakeAccessibility accessibility;
    const auto object = [&](std::string_view role, std::vector<fake::FakeElement*> children = {}) -> auto&
    {
        auto& element = accessibility.newElement(1);
        element.set(atspi_attribute::role, std::string(role));
        element.set(atspi_attribute::showing, AttributeNumber{1});
        element.set(atspi_attribute::visible, AttributeNumber{1});
        for (auto* child : children)
            element.add(*child);
        return element;
    };
    // A menu bar with a File menu of one item, not showing while its menu is closed, with this key character.
    const auto menuBar = [&](std::string key) -> auto&
    {
        auto& item = object("menu item");
        item.set(atspi_attribute::showing, AttributeNumber{0}).set(platform::ax::cmdChar, std::move(key));
        return object("menu bar", {&object("menu", {&object("menu", {&item})})});
    };
    const auto chosen = [&](fake::FakeElement& window) {
        return chooseMenuBar(accessibility, window.shared_from_this());
    };

    // Not in a pane's row of buttons, nor below other objects or too deep.
    auto& inButtons = menuBar("b");
    auto& inText = menuBar("t");
    EXPECT_EQ(
        chosen(object("frame", {&object("panel", {&object("tool bar", {&inButtons})}), &object("text", {&inText})})),
        nullptr);
    auto& deep = menuBar("d");
    fake::FakeElement* nest = &deep;
    for (int i = 0; i < 6; ++i)
        nest = &object("panel", {nest});
    EXPECT_EQ(chosen(object("frame", {nest})), nullptr);

    // A viewport full of icons is looked at only so far.
    auto& late = menuBar("l");
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
