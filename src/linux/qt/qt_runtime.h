#pragma once

#include "linux/readable_watches.h"
#include "platform/runtime.h"

#include <memory>

namespace hb::linux_platform {

// The program's clock, main queue, background threads and descriptor watches
// over the Qt event loop. Create it on the main thread once the Qt application
// object exists, and destroy it before that object: destruction drops the
// background work not yet started and waits for the work that has.
class QtRuntime final : public platform::Clock,
                        public platform::MainQueue,
                        public platform::BackgroundTasks,
                        public ReadableWatches {
public:
    QtRuntime();
    ~QtRuntime() override;
    QtRuntime(const QtRuntime&) = delete;
    QtRuntime& operator=(const QtRuntime&) = delete;

    platform::TimePoint now() const override;

    // Both may be called from any thread; `cancel` from the main thread stops
    // a task that has not run yet, also one posted from another thread.
    void post(std::function<void()> task) override;
    TaskId postAfter(platform::Seconds delay, std::function<void()> task) override;
    void cancel(TaskId id) override;

    // User-initiated work has a pool of its own, so that pre-reads at utility
    // priority never hold back a read the user waits for.
    void run(platform::TaskPriority priority, std::function<void()> work) override;

    // Main thread only.
    WatchId watch(int fd, std::function<void()> onReadable) override;
    void unwatch(WatchId id) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace hb::linux_platform
