#pragma once

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QString>

#include <functional>
#include <string_view>

namespace hb::app {

inline constexpr char busName[] = "org.mirelo.Hintboard";
inline constexpr char objectPath[] = "/org/mirelo/Hintboard";
inline constexpr char interfaceName[] = "org.mirelo.Hintboard";

// One Hintboard per session: the name org.mirelo.Hintboard on the session
// bus, with the object that answers Toggle, Show and Quit. Main thread only.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        owned,           // this process is the one instance
        alreadyRunning,  // another process owns the name
        noBus,           // no session bus (or the bus refused): the program runs without the name
    };

    struct Requests {
        std::function<void()> toggle;
        std::function<void()> show;
        std::function<void()> quit;
    };

    explicit SingleInstance(Requests requests, QObject* parent = nullptr);

    // Exports the object and asks for the name; acts on what the bus answers.
    Claim claim();
    // Why the last claim did not give the name.
    const QString& problem() const { return problem_; }

    const Requests& requests() const { return requests_; }

private:
    Requests requests_;
    QString problem_;
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
    void Quit();

private:
    SingleInstance* instance_;
};

// `hintboard toggle|show|quit`: calls the running instance; for toggle and
// show the session bus starts one from its service file when none runs.
// Gives the exit status: 0 when it was called, 1 when nothing answered.
int sendToRunningInstance(std::string_view method);

} // namespace hb::app
