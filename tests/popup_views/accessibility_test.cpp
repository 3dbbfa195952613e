// The popup as assistive technologies read it through Qt: the rows grouped
// by menu with their keys, states and actions, and a name on every control.
#include "panel_fixture.h"

#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/shortcut_columns_view.h"
#include "support/accessible_walk.h"

#include <gmock/gmock.h>

#include <QAccessible>

using namespace hb;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// The list item titled `title`; names and keys of the rows under their menus are read end to end.
QAccessibleInterface* readRow(views::ShortcutColumnsView& columns, const QString& title)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&columns);
    for (int s = 0; s < list->childCount(); ++s) {
        QAccessibleInterface* section = list->child(s);
        for (int i = 0; i < section->childCount(); ++i)
            if (section->child(i)->text(QAccessible::Name) == title)
                return section->child(i);
    }
    ADD_FAILURE() << title.toStdString();
    return nullptr;
}

TEST(PopupAccessibility, RowsAreReadUnderTheirMenuWithKeysStatesAndActions)
{
    test::PanelHarness harness;
    harness.settings.set(keys::showDeactivatedSystemShortcuts, true);
    auto app = test::editorApplication();
    app.sections[0].groups[0].shortcuts.push_back(Shortcut{.title = "Deactivated",
                                                           .keys = "⌃⌥⇧K",
                                                           .axElement = std::make_shared<platform::AccessibleElement>(),
                                                           .isDisabled = true});
    app.sections[0].groups[0].shortcuts.push_back(
        Shortcut{.title = "Select Line", .keys = "⌃L", .cannotRunHere = true});
    harness.show(std::move(app));
    auto& columns = *harness.view().columnsView();

    QAccessibleInterface* save = readRow(columns, "Save");
    ASSERT_TRUE(save);
    EXPECT_EQ(readRow(columns, "Select Line")->text(QAccessible::Description),
              "Press Ctrl+L yourself: this desktop lets no program run it.");
    QAccessibleInterface* deactivated = readRow(columns, "Deactivated");
    EXPECT_TRUE(deactivated->state().disabled);

    // Pressing does what a click does: a dimmed row does not run.
    save->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    deactivated->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_THAT(harness.activated, ElementsAre("Save"));
    // The star is the second action, and the row says whether it is pinned.
    save->actionInterface()->doAction(save->actionInterface()->actionNames().at(1));
    EXPECT_TRUE(harness.model().isFavourite(harness.row("Save")));
    EXPECT_TRUE(readRow(columns, "Save")->state().checked);

    harness.model().setTipIndex(0);
    EXPECT_THAT(test::unnamedControls(harness.window()), IsEmpty());
    harness.model().setDisambiguation(DisambiguationState{.shortcuts = {harness.row("Save")}, .appName = "Mousepad"});
    EXPECT_THAT(test::unnamedControls(harness.window()), IsEmpty());
}

} // namespace
