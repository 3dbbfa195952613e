#pragma once

#include "app/bus_name.h"

#include <QDBusAbstractAdaptor>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

#include <functional>

namespace hb::app {

// One Hintboard per session: the name org.mirelo.Hintboard on the session
// bus, with the object that answers Toggle, Show, Settings, Quiz and Quit. The name lives on
// a connection of its own that refuses any message bigger than
// maxIncomingMessageBytes from its header on (the methods take no
// arguments), so that no call is read whole into memory; the bus then drops
// that connection, and the name is claimed again on a new one once the bus
// says, on the ordinary session connection, that the name is free. Main
// thread only.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        owned,          // this process is the one instance
        alreadyRunning, // another process owns the name
        noBus,          // no session bus (or the bus refused): the program runs without the name
    };

    struct Requests {
        std::function<void()> toggle;
        std::function<void()> show;
        std::function<void()> settings;
        std::function<void()> quiz;
        std::function<void()> quit;
    };

    static constexpr long maxIncomingMessageBytes = 4096;

    explicit SingleInstance(Requests requests, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Exports the object and asks for the name; acts on what the bus answers.
    // Once owned, a lost connection claims the name again.
    Claim claim();
    // Why the last claim did not give the name.
    const QString& problem() const { return problem_; }

    const Requests& requests() const { return requests_; }

private:
    void reclaim();

    Requests requests_;
    QString problem_;
    QDBusServiceWatcher nameWatcher_;
};

// Forwards the bus methods to the instance's requests.
class SingleInstanceAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mirelo.Hintboard")

public:
    explicit SingleInstanceAdaptor(SingleInstance* instance);

public slots:
    void Toggle();
    void Show();
    void Settings();
    void Quiz();
    void Quit();

private:
    SingleInstance* instance_;
};

} // namespace hb::app
