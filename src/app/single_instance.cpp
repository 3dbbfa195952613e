#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>

#include <dbus/dbus.h>

#include <cstdio>
#include <string>

namespace hb::app {

namespace {

constexpr char connectionName[] = "org.mirelo.Hintboard.instance";

DBusConnection* rawConnection(const QDBusConnection& bus)
{
    return static_cast<DBusConnection*>(bus.internalPointer());
}

} // namespace

SingleInstance::SingleInstance(Requests requests, QObject* parent) : QObject(parent), requests_(std::move(requests))
{
    new SingleInstanceAdaptor(this);
    connectionCheck_.setInterval(250);
    connect(&connectionCheck_, &QTimer::timeout, this, [this] { reclaimWhenDisconnected(); });
}

SingleInstance::~SingleInstance()
{
    QDBusConnection::disconnectFromBus(connectionName);
}

void SingleInstance::reclaimWhenDisconnected()
{
    auto* raw = rawConnection(QDBusConnection(connectionName));
    if (raw && dbus_connection_get_is_connected(raw))
        return;
    std::fputs("hintboard: the bus connection of org.mirelo.Hintboard was closed (a message too large for it?); "
               "claiming the name again\n",
               stderr);
    if (claim() != Claim::owned) {
        connectionCheck_.stop();
        std::fprintf(stderr, "hintboard: org.mirelo.Hintboard could not be claimed again: %s\n", qPrintable(problem_));
    }
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnection::disconnectFromBus(connectionName);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    if (!bus.isConnected()) {
        problem_ = bus.lastError().message();
        return Claim::noBus;
    }
    // libdbus checks this against each message's header, before its body is read.
    dbus_connection_set_max_message_size(rawConnection(bus), maxIncomingMessageBytes);
    // The object first, so that no call can arrive before it answers.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) {
        problem_ = "the object " + QString(objectPath) + " could not be exported";
        return Claim::noBus;
    }
    const auto reply = bus.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        bus.unregisterObject(objectPath);
        problem_ = reply.error().message();
        return Claim::noBus;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(objectPath);
        problem_ = "another process owns " + QString(busName);
        return Claim::alreadyRunning;
    }
    connectionCheck_.start();
    return Claim::owned;
}

SingleInstanceAdaptor::SingleInstanceAdaptor(SingleInstance* instance)
    : QDBusAbstractAdaptor(instance), instance_(instance)
{
}

void SingleInstanceAdaptor::Toggle()
{
    if (instance_->requests().toggle)
        instance_->requests().toggle();
}

void SingleInstanceAdaptor::Show()
{
    if (instance_->requests().show)
        instance_->requests().show();
}

void SingleInstanceAdaptor::Quit()
{
    // After the call has been answered.
    QMetaObject::invokeMethod(
        instance_,
        [instance = instance_] {
            if (instance->requests().quit)
                instance->requests().quit();
        },
        Qt::QueuedConnection);
}

int sendToRunningInstance(std::string_view method)
{
    int argc = 1;
    char name[] = "hintboard";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "hintboard: no session bus, so no running Hintboard can be reached (%s)\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    if (!bus.interface()->isServiceRegistered(busName).value()) {
        std::fputs("hintboard: Hintboard is not running in this session; start it with `hintboard`\n", stderr);
        return 1;
    }
    const auto call = QDBusMessage::createMethodCall(busName, objectPath, interfaceName,
                                                     QString::fromUtf8(method.data(), static_cast<qsizetype>(method.size())));
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        std::fprintf(stderr, "hintboard: the running Hintboard did not answer: %s\n", qPrintable(reply.errorMessage()));
        return 1;
    }
    return 0;
}

} // namespace hb::app
