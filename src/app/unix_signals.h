#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <thread>
#include <vector>

class QSocketNotifier;

namespace hb::app {

// Brings Unix signals into the event loop: the handler only writes the signal
// number to a socket pair, and `onSignal` runs on the main thread when the
// loop reads it. One instance per process.
//
// A watchdog thread ends the process (_exit, status 128 + the signal) when it
// is still running `grace` after a signal, or at once on a second signal: a
// main thread stuck in a loop must not make the program unkillable. Whatever
// the program writes it replaces atomically, so nothing is left half written.
class UnixSignals final : public QObject {
public:
    UnixSignals(std::initializer_list<int> numbers, std::function<void(int)> onSignal,
                std::chrono::milliseconds grace = std::chrono::seconds(2), QObject* parent = nullptr);
    ~UnixSignals() override;

    // False when the socket pair or a handler could not be set up.
    bool isWatching() const { return watching_; }

private:
    void readSignals();

    std::vector<int> signals_;
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    bool watching_ = false;
    std::thread watchdog_;
};

} // namespace hb::app
