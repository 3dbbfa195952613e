#include "app/unix_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hb::app {
namespace {

int signalSockets[2] = {-1, -1};

void writeSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] auto written = ::write(signalSockets[0], &byte, 1);
    errno = saved;
}

} // namespace

UnixSignals::UnixSignals(std::initializer_list<int> numbers, std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), signals_(numbers), onSignal_(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0)
        return;
    notifier_ = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &UnixSignals::readSignals);
    watching_ = true;
    for (int number : numbers) {
        struct sigaction action = {};
        action.sa_handler = writeSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        watching_ = ::sigaction(number, &action, nullptr) == 0 && watching_;
    }
}

UnixSignals::~UnixSignals()
{
    if (signalSockets[0] < 0)
        return;
    for (int number : signals_)
        std::signal(number, SIG_DFL);
    delete notifier_;
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

void UnixSignals::readSignals()
{
    unsigned char numbers[16];
    ssize_t count;
    while ((count = ::read(signalSockets[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            if (onSignal_)
                onSignal_(numbers[i]);
    }
}

} // namespace hb::app
