#include "linux/atspi_connection.h"

#include <algorithm>
#include <span>

namespace hb::linux_platform::atspi {

namespace {

// How long to wait before looking for the accessibility bus again.
constexpr auto busProbeInterval = std::chrono::seconds(5);

} // namespace

bool Connection::connected()
{
    if (connected_)
        return true;
    const auto now = Clock::now();
    if (now < nextProbe_)
        return false;
    nextProbe_ = now + busProbeInterval;
    // libatspi falls back on odd buses (or aborts) when there is none: look first.
    if (!switch_.busAnswers())
        return false;
    const int status = atspi_init();
    if (status != 0 && status != 1)
        return false;
    // A context of its own, so that no other thread's main loop dispatches
    // libatspi's messages; it runs under the lock (see drain()).
    context_ = g_main_context_new();
    atspi_set_main_context(context_);
    applyTimeout();
    connected_ = true;
    return true;
}

void Connection::drain()
{
    for (int i = 0; i < 1000 && g_main_context_iteration(context_, FALSE); ++i) {}
}

void Connection::setTimeout(std::chrono::milliseconds timeout)
{
    timeout_ = std::max(timeout, std::chrono::milliseconds(1));
    if (connected_)
        applyTimeout();
}

void Connection::applyTimeout()
{
    const int milliseconds = static_cast<int>(timeout_.count());
    atspi_set_timeout(milliseconds, milliseconds);
}

void Connection::markNotAnswering(pid_t pid)
{
    if (notAnswering_.insert(pid).second)
        log_.info(platform::LogCategory::scraper, "pid {} does not answer accessibility requests", pid);
}

// The requests go in slices so that a menu of a hundred thousand items does
// not flood the connection. libdbus matches replies to requests by serial,
// whatever order they come in. A slice that lets a request time out marks the
// application as not answering, as a single request does: the rest costs no
// further wait.
void Connection::exchange(const Element& ofApplication, std::vector<Exchange>& exchanges)
{
    constexpr std::size_t slice = 1024;
    const pid_t pid = ofApplication.pid;
    const AtspiApplication* application = ofApplication.accessible->parent.app;
    DBusConnection* bus = application ? application->bus : nullptr;
    for (std::size_t first = 0; first < exchanges.size(); first += slice) {
        const auto part = std::span(exchanges).subspan(first, std::min(slice, exchanges.size() - first));
        std::vector<DBusPendingCall*> calls;
        for (auto& exchange : part) {
            DBusPendingCall* call = nullptr;
            if (bus && exchange.message && answering(pid)) {
                dbus_connection_send_with_reply(bus, exchange.message, &call, static_cast<int>(timeout_.count()));
                ++requests_;
            }
            calls.push_back(call);
        }
        if (bus)
            dbus_connection_flush(bus);
        const auto start = Clock::now();
        for (std::size_t i = 0; i < part.size(); ++i) {
            DBusMessage* reply = nullptr;
            if (DBusPendingCall* call = calls[i]) {
                if (answering(pid)) {
                    dbus_pending_call_block(call);
                    if (Clock::now() - start >= timeout_ * 9 / 10)
                        markNotAnswering(pid);
                }
                // Answers that came before the application stopped answering still count.
                if (dbus_pending_call_get_completed(call))
                    reply = dbus_pending_call_steal_reply(call);
                else
                    dbus_pending_call_cancel(call);
                dbus_pending_call_unref(call);
            }
            part[i].onReply(reply);
            if (reply)
                dbus_message_unref(reply);
        }
    }
    for (auto& exchange : exchanges)
        if (exchange.message)
            dbus_message_unref(std::exchange(exchange.message, nullptr));
}

} // namespace hb::linux_platform::atspi
