#pragma once

// The shortcut columns as assistive technologies read them: a list of menus,
// each a group of its submenu titles, separators and rows. A row is named by
// its command, described by its keys, and can be pressed like a click.
// Children are made when asked for and dropped when the drawn lines change.
class QAccessibleInterface;
class QObject;
class QString;

namespace hb::views {

class ShortcutColumnsView;

// The accessibility factory that serves the columns view.
QAccessibleInterface* columnsAccessible(const QString& className, QObject* object);

// After the view laid out its lines: tells assistive technologies when the
// lines changed, and moves their focus to the selected row (or back to the
// keyboard's focus when the selection went). Does nothing while none listens.
void announceLines(ShortcutColumnsView& view);

} // namespace hb::views
