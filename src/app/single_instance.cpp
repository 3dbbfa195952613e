#include "app/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
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
    nameWatcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&nameWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { reclaim(); });
}

SingleInstance::~SingleInstance()
{
    QDBusConnection::disconnectFromBus(connectionName);
}

void SingleInstance::reclaim()
{
    std::fputs("hintboard: the bus connection of org.mirelo.Hintboard was closed (a message too large for it?); "
               "claiming the name again\n",
               stderr);
    if (claim() != Claim::owned)
        std::fprintf(stderr, "hintboard: org.mirelo.Hintboard could not be claimed again: %s\n", qPrintable(problem_));
}

SingleInstance::Claim SingleInstance::claim()
{
    nameWatcher_.setWatchedServices({});
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
    nameWatcher_.setConnection(QDBusConnection::sessionBus());
    nameWatcher_.setWatchedServices({busName});
    return Claim::owned;
}

SingleInstanceAdaptor::SingleInstanceAdaptor(SingleInstance* instance)
    : QDBusAbstractAdaptor(instance), instance_(instance)
{}

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

void SingleInstanceAdaptor::Settings()
{
    if (instance_->requests().settings)
        instance_->requests().settings();
}

void SingleInstanceAdaptor::Quiz()
{
    if (instance_->requests().quiz)
        instance_->requests().quiz();
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

} // namespace hb::app
