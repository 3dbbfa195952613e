#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace hb::platform {

using Seconds = std::chrono::duration<double>;
using TimePoint = std::chrono::time_point<std::chrono::system_clock, Seconds>;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

// The main thread's queue: all state of the program lives there.
class MainQueue {
public:
    using TaskId = std::uint64_t;

    virtual ~MainQueue() = default;
    // Runs the task later on the main thread; safe to call from any thread.
    virtual void post(std::function<void()> task) = 0;
    // Runs the task on the main thread after the delay, unless cancelled first.
    virtual TaskId postAfter(Seconds delay, std::function<void()> task) = 0;
    virtual void cancel(TaskId id) = 0;
};

enum class TaskPriority { userInitiated, utility };

// Work off the main thread. Tasks hand results back with MainQueue::post and
// share nothing mutable with the main thread.
class BackgroundTasks {
public:
    virtual ~BackgroundTasks() = default;
    virtual void run(TaskPriority priority, std::function<void()> work) = 0;
};

} // namespace hb::platform
