#pragma once

class QAccessibleInterface;
class QObject;
class QString;
class QWidget;

namespace hb::views {

// Installs Hintboard's accessibility factories, once, after the application
// object exists: scroll areas, text fields and the roles below.
void installAccessibility();

// Roles screen readers rely on to follow the focus: a plain top-level widget
// is a frame (Qt calls it a client, which AT-SPI reads as a filler, and the
// reader then takes a box inside it for the window); a plain QFrame (a form
// box, a banner) is a grouping or a separator, not a frame; a segmented
// control's segments are radio buttons, or page tabs in a control marked
// with markAsPageTabs; a label marked with markAsHeading is a heading.
QAccessibleInterface* roleAccessible(const QString& className, QObject* object);

// Marks a segmented control as the page selector of its window.
void markAsPageTabs(QWidget* segmentedControl);

// Marks a label as a heading, before it is shown.
void markAsHeading(QWidget* label);

} // namespace hb::views
