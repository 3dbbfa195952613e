#include "app/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMetaObject>

namespace hb::app {

SingleInstance::SingleInstance(Requests requests, QObject* parent) : QObject(parent), requests_(std::move(requests))
{
    new SingleInstanceAdaptor(this);
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        problem_ = bus.lastError().message();
        return Claim::noBus;
    }
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

} // namespace hb::app
