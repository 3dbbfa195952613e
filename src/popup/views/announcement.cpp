#include "popup/views/announcement.h"

#include <QAccessible>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>
#include <QWidget>

namespace hb::views {
namespace {

// The (so) reference to the application's root that ends each AT-SPI event.
struct ObjectReference {
    QString service;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ObjectReference& reference)
{
    argument.beginStructure();
    argument << reference.service << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ObjectReference& reference)
{
    argument.beginStructure();
    argument >> reference.service >> reference.path;
    argument.endStructure();
    return argument;
}

constexpr char objectPathPrefix[] = "/org/a11y/atspi/accessible/";
constexpr int politely = 1;

} // namespace
} // namespace hb::views

Q_DECLARE_METATYPE(hb::views::ObjectReference)

namespace hb::views {

void announce(QWidget* source, const QString& text)
{
    if (!source || text.isEmpty() || !QAccessible::isActive())
        return;
    // The connection Qt's AT-SPI bridge opened to the accessibility bus, which
    // names its elements by their unique ids. Qt 6.4 has no announcement
    // event of its own.
    QDBusConnection bus(QStringLiteral("a11y"));
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(source);
    if (!bus.isConnected() || !element)
        return;
    [[maybe_unused]] static const QMetaType registered = qDBusRegisterMetaType<ObjectReference>();
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(objectPathPrefix) + QString::number(QAccessible::uniqueId(element)),
                                   QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("Announcement"));
    signal << QString() << politely << 0 << QVariant::fromValue(QDBusVariant(text))
           << QVariant::fromValue(ObjectReference{
                  bus.baseService(), QDBusObjectPath(QLatin1String(objectPathPrefix) + QStringLiteral("root"))});
    bus.send(signal);
}

void announceWhenSettled(QWidget* source, const QString& text, std::chrono::milliseconds settle)
{
    if (!source)
        return;
    static constexpr char timerName[] = "hintboardAnnouncement";
    auto* timer = source->findChild<QTimer*>(QLatin1String(timerName), Qt::FindDirectChildrenOnly);
    if (text.isEmpty()) {
        if (timer) {
            timer->stop();
            timer->setProperty("announced", QString());
        }
        return;
    }
    if (!timer) {
        timer = new QTimer(source);
        timer->setObjectName(QLatin1String(timerName));
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, source, [source, timer] {
            const QString pending = timer->property("pending").toString();
            if (pending == timer->property("announced").toString())
                return;
            timer->setProperty("announced", pending);
            announce(source, pending);
        });
    }
    timer->setProperty("pending", text);
    timer->start(settle);
}

} // namespace hb::views
