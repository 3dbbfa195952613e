#pragma once

#include "platform/runtime.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace hb::fake {

// Clock, main queue and background tasks in virtual time. Nothing runs until
// the test says so: `advance` moves the clock and runs the main-queue tasks that
// come due; background work waits in a queue until `runBackground`.
class VirtualRuntime : public platform::Clock, public platform::MainQueue, public platform::BackgroundTasks {
public:
    VirtualRuntime();

    platform::TimePoint now() const override;
    void post(std::function<void()> task) override;
    TaskId postAfter(platform::Seconds delay, std::function<void()> task) override;
    void cancel(TaskId id) override;
    void run(platform::TaskPriority priority, std::function<void()> work) override;

    // Runs every main-queue task due now, including those they post.
    void runMainQueue();
    // Moves the clock forward, running main-queue tasks as they come due.
    void advance(platform::Seconds duration);
    // Runs the oldest background task (then the main queue); false when none waits.
    bool runBackground();
    // Runs background and main-queue work until nothing is left to do now.
    void runUntilIdle();

    std::size_t pendingBackgroundTasks() const;
    platform::TaskPriority lastBackgroundPriority() const { return lastPriority_; }

private:
    struct Timed {
        platform::TimePoint due;
        TaskId id;
        auto operator<=>(const Timed&) const = default;
    };
    std::pair<TaskId, std::function<void()>> takeDue();

    mutable std::mutex mutex_;
    platform::TimePoint now_;
    TaskId nextId_ = 1;
    std::map<Timed, std::function<void()>> mainTasks_;
    std::deque<std::function<void()>> background_;
    platform::TaskPriority lastPriority_ = platform::TaskPriority::userInitiated;
};

} // namespace hb::fake
