#pragma once

#include "base/log.h"
#include "linux/atspi_element.h"
#include "linux/atspi_switch.h"

#include <atspi/atspi.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace hb::linux_platform::atspi {

// The connection to the accessibility bus, and the time requests may take.
// Requests wait at most the messaging timeout; an application that lets one
// time out counts as not answering until its next read or press, and is asked
// nothing meanwhile. Used under atspiLock().
class Connection {
public:
    using Clock = std::chrono::steady_clock;

    explicit Connection(platform::Log& log) : log_(log) {}

    platform::Log& log() { return log_; }
    AccessibilitySwitch& accessibilitySwitch() { return switch_; }

    // Connects to the accessibility bus on first use; false while there is none.
    bool connected();
    // Lets libatspi handle the signals that arrived since the last request
    // (applications coming and going, tree changes).
    void drain();
    void setTimeout(std::chrono::milliseconds timeout);

    std::uint64_t requests() const { return requests_; }
    bool answering(pid_t pid) const { return !notAnswering_.contains(pid); }
    // A new read or press of the application may wait again.
    void expectAnswers(pid_t pid)
    {
        notAnswering_.erase(pid);
        ++readNumber_;
    }
    // Counts reads and presses, which begin with expectAnswers.
    std::uint64_t readNumber() const { return readNumber_; }

    // A value asked for ahead in this read, taken once.
    template <typename Value>
    std::optional<Value> takePrefetched(const Element& element, std::optional<Value>& value) const
    {
        if (element.prefetchedIn != readNumber_)
            return std::nullopt;
        return std::exchange(value, std::nullopt);
    }

    // Runs one request to the application `pid`, unless it does not answer.
    // A request that lasts about the whole timeout marks the application as
    // not answering until its next read, so that the rest of this read, however
    // long, does not wait again.
    template <typename Call>
    auto request(pid_t pid, Call&& call) -> std::optional<decltype(call())>
    {
        if (!answering(pid))
            return std::nullopt;
        ++requests_;
        const auto start = Clock::now();
        auto result = call();
        if (Clock::now() - start >= timeout_ * 9 / 10)
            markNotAnswering(pid);
        return result;
    }

    void markNotAnswering(pid_t pid);

    // What to do with the reply of one request; the reply is null when none came.
    using ReplyHandler = std::function<void(DBusMessage* reply)>;
    struct Exchange {
        DBusMessage* message; // owned; null when it could not be made
        ReplyHandler onReply;
    };
    // Sends the requests to the application of `ofApplication` together and
    // hands each reply to its handler, in the order of the requests.
    void exchange(const Element& ofApplication, std::vector<Exchange>& exchanges);

private:
    void applyTimeout();

    platform::Log& log_;
    AccessibilitySwitch switch_;
    bool connected_ = false;
    Clock::time_point nextProbe_{};
    GMainContext* context_ = nullptr;
    std::chrono::milliseconds timeout_ = std::chrono::seconds(1);
    std::set<pid_t> notAnswering_;
    std::uint64_t requests_ = 0;
    std::uint64_t readNumber_ = 0;
};

} // namespace hb::linux_platform::atspi
