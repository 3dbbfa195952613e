#pragma once

#include <QObject>

#include <functional>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace hb::app {

// Brings Unix signals into the event loop: the handler only writes the signal
// number to a socket pair, and `onSignal` runs on the main thread when the
// loop reads it. One instance per process.
class UnixSignals final : public QObject {
public:
    UnixSignals(std::initializer_list<int> numbers, std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~UnixSignals() override;

    // False when the socket pair or a handler could not be set up.
    bool isWatching() const { return watching_; }

private:
    void readSignals();

    std::vector<int> signals_;
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    bool watching_ = false;
};

} // namespace hb::app
