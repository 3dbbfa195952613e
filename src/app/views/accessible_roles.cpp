#include "app/views/accessible_roles.h"

#include "app/views/scroll_area_accessible.h"
#include "app/views/settings_form.h"
#include "app/views/text_field_accessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>

namespace hb::views {
namespace {

constexpr char pageTabsProperty[] = "hintboardPageTabs";
constexpr char headingProperty[] = "hintboardHeading";

bool isPageTabs(const QObject* control)
{
    return control && control->property(pageTabsProperty).toBool();
}

// A segment of a SegmentedControl: one of several exclusive choices.
class SegmentAccessible : public QAccessibleWidget {
public:
    explicit SegmentAccessible(QAbstractButton* button) : QAccessibleWidget(button) {}

    QAccessible::Role role() const override
    {
        return isPageTabs(button()->parent()) ? QAccessible::PageTab : QAccessible::RadioButton;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const bool chosen = button()->isChecked();
        if (role() == QAccessible::PageTab) {
            state.selectable = true;
            state.selected = chosen;
        } else {
            state.checkable = true;
            state.checked = chosen;
        }
        return state;
    }
    QString text(QAccessible::Text type) const override
    {
        QString text = QAccessibleWidget::text(type);
        if (text.isEmpty() && type == QAccessible::Name)
            text = button()->text();
        return text;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& action) override
    {
        if (action == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A widget of no class with an interface of its own. Its role follows what it
// is when asked: Qt may make the interface before the widget has a parent.
class PlainWidgetAccessible : public QAccessibleWidget {
public:
    explicit PlainWidgetAccessible(QWidget* widget) : QAccessibleWidget(widget) {}

    QAccessible::Role role() const override
    {
        if (widget()->isWindow())
            return QAccessible::Window;
        auto* frame = qobject_cast<QFrame*>(widget());
        if (!frame)
            return QAccessible::Client;
        // Qt makes every plain frame a border, which AT-SPI reads as a frame, like a window.
        const auto shape = frame->frameShape();
        return shape == QFrame::HLine || shape == QFrame::VLine ? QAccessible::Separator : QAccessible::Grouping;
    }
};

// A label that titles what follows it, so that screen readers announce it and
// move by it.
class HeadingAccessible : public QAccessibleWidget {
public:
    explicit HeadingAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Heading) {}

    QString text(QAccessible::Text type) const override
    {
        QString text = QAccessibleWidget::text(type);
        if (text.isEmpty() && type == QAccessible::Name)
            text = static_cast<QLabel*>(widget())->text();
        return text;
    }
};

} // namespace

QAccessibleInterface* roleAccessible(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    // Asked with the most derived class name first; "QWidget" comes only when
    // no class below it has an interface of its own (dialogs and menus do).
    if (className == QLatin1String("QWidget") || className == QLatin1String("QFrame"))
        return new PlainWidgetAccessible(widget);
    if (className == QLatin1String("QLabel") && object->property(headingProperty).toBool())
        return new HeadingAccessible(static_cast<QLabel*>(object));
    if (className == QLatin1String(SegmentedControl::staticMetaObject.className()))
        return new QAccessibleWidget(widget, isPageTabs(widget) ? QAccessible::PageTabList : QAccessible::Grouping);
    if (auto* button = qobject_cast<QAbstractButton*>(object);
        button && qobject_cast<SegmentedControl*>(button->parent()))
        return new SegmentAccessible(button);
    return nullptr;
}

void markAsPageTabs(QWidget* segmentedControl)
{
    segmentedControl->setProperty(pageTabsProperty, true);
}

void markAsHeading(QWidget* label)
{
    label->setProperty(headingProperty, true);
}

void installAccessibility()
{
    QAccessible::installFactory(scrollAreaAccessible);
    QAccessible::installFactory(textFieldAccessible);
    QAccessible::installFactory(roleAccessible);
}

} // namespace hb::views
