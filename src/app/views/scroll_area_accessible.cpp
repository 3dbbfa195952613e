#include "app/views/scroll_area_accessible.h"

#include <QAbstractScrollArea>
#include <QAccessibleWidget>
#include <QScrollBar>

namespace hb::views {
namespace {

// A scroll area's children as Qt presents them: its viewport, then the scroll
// bars shown.
class ScrollAreaAccessible : public QAccessibleWidget {
public:
    explicit ScrollAreaAccessible(QAbstractScrollArea* area) : QAccessibleWidget(area, QAccessible::Client) {}

    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const auto widgets = children();
        return index >= 0 && index < widgets.size() ? QAccessible::queryAccessibleInterface(widgets[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() ? int(children().indexOf(child->object())) : -1;
    }

private:
    QList<QObject*> children() const
    {
        const auto* area = static_cast<const QAbstractScrollArea*>(widget());
        QList<QObject*> widgets{area->viewport()};
        for (QScrollBar* bar : {area->horizontalScrollBar(), area->verticalScrollBar()})
            if (bar->isVisible())
                widgets.append(bar);
        return widgets;
    }
};

} // namespace

QAccessibleInterface* scrollAreaAccessible(const QString& className, QObject* object)
{
    // Only the plain scroll areas: text editors and item views derive from
    // QAbstractScrollArea too and keep their own interfaces.
    if (className != QLatin1String("QScrollArea") && className != QLatin1String("QAbstractScrollArea"))
        return nullptr;
    auto* area = qobject_cast<QAbstractScrollArea*>(object);
    return area ? new ScrollAreaAccessible(area) : nullptr;
}

} // namespace hb::views
