#include "app/unix_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hb::app {
namespace {

int signalSockets[2] = {-1, -1};
// The watchdog's pipe: signal numbers, and 0 when the program ends by itself.
int watchdogPipe[2] = {-1, -1};

void writeByte(int fd, unsigned char byte)
{
    if (fd >= 0) [[maybe_unused]]
        auto written = ::write(fd, &byte, 1);
}

void writeSignal(int number)
{
    const int saved = errno;
    writeByte(signalSockets[0], static_cast<unsigned char>(number));
    writeByte(watchdogPipe[1], static_cast<unsigned char>(number));
    errno = saved;
}

// The next byte of the pipe, waiting at most `timeoutMilliseconds` (-1: no limit); -2 when none came.
int readByte(int fd, int timeoutMilliseconds)
{
    pollfd waiting{.fd = fd, .events = POLLIN, .revents = 0};
    int ready;
    while ((ready = ::poll(&waiting, 1, timeoutMilliseconds)) < 0 && errno == EINTR) {}
    if (ready <= 0)
        return -2;
    unsigned char byte = 0;
    ssize_t count;
    while ((count = ::read(fd, &byte, 1)) < 0 && errno == EINTR) {}
    return count == 1 ? byte : 0; // a closed pipe ends the watch
}

void watch(int fd, std::chrono::milliseconds grace)
{
    const int number = readByte(fd, -1);
    if (number <= 0)
        return;
    // The loop now has `grace` to end the program; a second signal ends it at once.
    if (readByte(fd, int(grace.count())) == 0)
        return;
    static constexpr char message[] = "hintboard: still running after a termination signal; ending now\n";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(128 + number);
}

} // namespace

UnixSignals::UnixSignals(std::initializer_list<int> numbers, std::function<void(int)> onSignal,
                         std::chrono::milliseconds grace, QObject* parent)
    : QObject(parent), signals_(numbers), onSignal_(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0)
        return;
    if (::pipe2(watchdogPipe, O_CLOEXEC) == 0) {
        ::fcntl(watchdogPipe[1], F_SETFL, O_NONBLOCK);
        watchdog_ = std::thread(watch, watchdogPipe[0], grace);
    }
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
    if (watchdog_.joinable()) {
        writeByte(watchdogPipe[1], 0);
        watchdog_.join();
    }
    for (int& fd : watchdogPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
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
