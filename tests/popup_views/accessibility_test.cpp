// The popup as assistive technologies read it through Qt: the rows grouped
// by menu with their keys, states and actions, and a name on every control.
#include "panel_fixture.h"

#include "popup/views/chip_button.h"
#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/shortcut_columns_view.h"
#include "support/accessible_walk.h"

#include <gmock/gmock.h>

#include <QAccessible>

using namespace hb;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

struct ReadRow {
    std::string menu;
    std::string title;
    std::string keys;
    QAccessibleInterface* element;
};

// The list items of the columns, each with the menu it is grouped under.
std::vector<ReadRow> readRows(views::ShortcutColumnsView& columns)
{
    std::vector<ReadRow> rows;
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&columns);
    for (int s = 0; s < list->childCount(); ++s) {
        QAccessibleInterface* section = list->child(s);
        EXPECT_EQ(section->parent(), list);
        for (int i = 0; i < section->childCount(); ++i) {
            QAccessibleInterface* line = section->child(i);
            EXPECT_EQ(section->indexOfChild(line), i);
            if (line->role() == QAccessible::ListItem)
                rows.push_back({section->text(QAccessible::Name).toStdString(), line->text(QAccessible::Name).toStdString(),
                                line->text(QAccessible::Description).toStdString(), line});
        }
    }
    return rows;
}

const ReadRow& rowTitled(const std::vector<ReadRow>& rows, std::string_view title)
{
    const auto found = std::ranges::find(rows, title, &ReadRow::title);
    EXPECT_NE(found, rows.end()) << title;
    return *found;
}

class PopupAccessibility : public testing::Test {
protected:
    views::ShortcutColumnsView& columns() { return *harness.view().columnsView(); }
    test::PanelHarness harness;
};

TEST_F(PopupAccessibility, RowsAreReadUnderTheirMenuWithKeysStatesAndActionsAndFollowTheFilter)
{
    harness.settings.set(keys::showDeactivatedSystemShortcuts, true);
    auto app = test::editorApplication();
    app.sections[0].groups[0].shortcuts.push_back(Shortcut{
        .title = "Deactivated", .keys = "⌃⌥⇧K", .axElement = std::make_shared<platform::AXElement>(), .isDisabled = true});
    app.sections[0].groups[0].shortcuts.push_back(Shortcut{.title = "Select Line", .keys = "⌃L", .cannotRunHere = true});
    harness.show(std::move(app));

    auto rows = readRows(columns());
    ASSERT_EQ(rows.size(), columns().drawnRowCount());
    const auto& save = rowTitled(rows, "Save");
    EXPECT_EQ(save.menu, "File");
    EXPECT_EQ(save.keys, "Ctrl+S") << "the keys as the row draws them";
    EXPECT_TRUE(rowTitled(rows, "Deactivated").element->state().disabled);
    EXPECT_FALSE(save.element->state().disabled);
    EXPECT_EQ(rowTitled(rows, "Select Line").keys, "Press Ctrl+L yourself: this desktop lets no program run it.");

    // Pressing does what a click does: a dimmed row does not run.
    auto* press = save.element->actionInterface();
    ASSERT_TRUE(press);
    press->doAction(QAccessibleActionInterface::pressAction());
    rowTitled(rows, "Deactivated").element->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_THAT(harness.activated, ElementsAre("Save"));

    // The star is the second action, and the row says whether it is pinned.
    const QString star = press->actionNames().at(1);
    const QString add = press->localizedActionName(star);
    press->doAction(star);
    EXPECT_TRUE(harness.model().isFavourite(harness.row("Save")));
    rows = readRows(columns());
    EXPECT_TRUE(rowTitled(rows, "Save").element->state().checked);
    EXPECT_NE(rowTitled(rows, "Save").element->actionInterface()->localizedActionName(star), add);

    harness.model().setQuery("save");
    harness.model().selectNext();
    rows = readRows(columns());
    ASSERT_EQ(rows.size(), 2u) << "Save, Save As…";
    EXPECT_TRUE(rows[0].element->state().selected);
    EXPECT_FALSE(rows[1].element->state().selected);
}

TEST_F(PopupAccessibility, EveryControlOfThePopupAndItsOverlayHasAName)
{
    harness.show(test::editorApplication());
    harness.model().setTipIndex(0);
    EXPECT_THAT(test::unnamedControls(harness.window()), IsEmpty());
    harness.model().toggleModifier("⇧");
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(harness.view().modifierToggle(2))->state().checked);
    harness.model().setDisambiguation(DisambiguationState{.shortcuts = {harness.row("Save")}, .appName = "Mousepad"});
    EXPECT_THAT(test::unnamedControls(harness.window()), IsEmpty());
}

} // namespace
