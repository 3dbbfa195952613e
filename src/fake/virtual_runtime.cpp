#include "fake/virtual_runtime.h"

namespace hb::fake {

VirtualRuntime::VirtualRuntime() : now_(platform::Seconds(1'800'000'000)) {}

platform::TimePoint VirtualRuntime::now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualRuntime::post(std::function<void()> task)
{
    postAfter(platform::Seconds(0), std::move(task));
}

platform::MainQueue::TaskId VirtualRuntime::postAfter(platform::Seconds delay, std::function<void()> task)
{
    std::lock_guard lock(mutex_);
    TaskId id = nextId_++;
    mainTasks_.emplace(Timed{now_ + delay, id}, std::move(task));
    return id;
}

void VirtualRuntime::cancel(TaskId id)
{
    std::lock_guard lock(mutex_);
    std::erase_if(mainTasks_, [id](const auto& entry) { return entry.first.id == id; });
}

void VirtualRuntime::run(platform::TaskPriority priority, std::function<void()> work)
{
    std::lock_guard lock(mutex_);
    lastPriority_ = priority;
    background_.push_back(std::move(work));
}

std::pair<platform::MainQueue::TaskId, std::function<void()>> VirtualRuntime::takeDue()
{
    std::lock_guard lock(mutex_);
    if (mainTasks_.empty() || mainTasks_.begin()->first.due > now_)
        return {0, nullptr};
    auto node = mainTasks_.extract(mainTasks_.begin());
    return {node.key().id, std::move(node.mapped())};
}

void VirtualRuntime::runMainQueue()
{
    while (true) {
        auto [id, task] = takeDue();
        if (!task)
            return;
        task();
    }
}

void VirtualRuntime::advance(platform::Seconds duration)
{
    platform::TimePoint end;
    {
        std::lock_guard lock(mutex_);
        end = now_ + duration;
    }
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (mainTasks_.empty() || mainTasks_.begin()->first.due > end) {
                now_ = end;
                break;
            }
            if (mainTasks_.begin()->first.due > now_)
                now_ = mainTasks_.begin()->first.due;
        }
        runMainQueue();
    }
    runMainQueue();
}

bool VirtualRuntime::runBackground()
{
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        if (background_.empty())
            return false;
        work = std::move(background_.front());
        background_.pop_front();
    }
    work();
    runMainQueue();
    return true;
}

void VirtualRuntime::runUntilIdle()
{
    runMainQueue();
    while (runBackground()) {}
}

std::size_t VirtualRuntime::pendingBackgroundTasks() const
{
    std::lock_guard lock(mutex_);
    return background_.size();
}

} // namespace hb::fake
