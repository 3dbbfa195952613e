#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>

#include <cstdio>
#include <string>

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
    const bool running = bus.interface()->isServiceRegistered(busName).value();
    // Toggle and Show may have the bus start Hintboard from its service file; Quit has nothing to end.
    const bool mayStart = method != "Quit";
    if (!running && !mayStart) {
        std::fputs("hintboard: Hintboard is not running in this session\n", stderr);
        return 1;
    }
    auto call = QDBusMessage::createMethodCall(busName, objectPath, interfaceName,
                                               QString::fromUtf8(method.data(), static_cast<qsizetype>(method.size())));
    call.setAutoStartService(mayStart);
    // A started Hintboard answers once it has set up its popup.
    const QDBusMessage reply = bus.call(call, QDBus::Block, running ? 5000 : 25000);
    if (reply.type() != QDBusMessage::ErrorMessage)
        return 0;
    if (running)
        std::fprintf(stderr, "hintboard: the running Hintboard did not answer: %s\n", qPrintable(reply.errorMessage()));
    else if (reply.errorName() == "org.freedesktop.DBus.Error.ServiceUnknown")
        std::fputs("hintboard: Hintboard is not running in this session, and the session bus has no service file "
                   "that starts it; start it with `hintboard`\n", stderr);
    else
        std::fprintf(stderr, "hintboard: Hintboard is not running in this session, and the session bus could not "
                             "start it: %s\n", qPrintable(reply.errorMessage()));
    return 1;
}

} // namespace hb::app
