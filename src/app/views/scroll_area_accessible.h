#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace hb::views {

// The accessibility factory for scroll areas. Qt's own interface reads a child
// by index without checking it, and a screen reader in another process asks
// for an index it counted before a scroll bar hid: the program crashed. This
// one answers such a request with no child.
QAccessibleInterface* scrollAreaAccessible(const QString& className, QObject* object);

} // namespace hb::views
