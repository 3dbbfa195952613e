#include "linux/qt/qt_runtime.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace hb::linux_platform {

struct QtRuntime::State {
    QObject context; // lives on the main thread; queued calls and timers belong to it
    QThread* mainThread = QThread::currentThread();
    std::atomic<TaskId> nextTaskId{1};
    std::unordered_map<TaskId, QTimer*> timers;

    // Delayed tasks posted from other threads whose timer the main thread has not started yet.
    std::mutex pendingMutex;
    std::unordered_set<TaskId> pendingStarts;

    QThreadPool userInitiated;
    QThreadPool utility;

    WatchId nextWatchId = 1;
    std::unordered_map<WatchId, QSocketNotifier*> watches;

    bool onMainThread() const { return QThread::currentThread() == mainThread; }

    void startTimer(TaskId id, platform::Seconds delay, std::function<void()> task)
    {
        auto* timer = new QTimer(&context);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, &context, [this, id, timer, task = std::move(task)] {
            timers.erase(id);
            timer->deleteLater();
            task();
        });
        timers.emplace(id, timer);
        const double milliseconds = std::ceil(std::max(0.0, delay.count()) * 1000);
        timer->start(int(std::min(milliseconds, double(std::numeric_limits<int>::max()))));
    }

    void cancelOnMainThread(TaskId id)
    {
        if (auto found = timers.find(id); found != timers.end()) {
            found->second->stop();
            found->second->deleteLater();
            timers.erase(found);
            return;
        }
        std::lock_guard lock(pendingMutex);
        pendingStarts.erase(id);
    }
};

QtRuntime::QtRuntime() : state_(std::make_unique<State>())
{
    state_->userInitiated.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    state_->utility.setMaxThreadCount(2);
    state_->utility.setThreadPriority(QThread::LowPriority);
}

QtRuntime::~QtRuntime()
{
    for (auto* pool : {&state_->utility, &state_->userInitiated}) {
        pool->clear();
        pool->waitForDone();
    }
}

platform::TimePoint QtRuntime::now() const
{
    return std::chrono::system_clock::now();
}

void QtRuntime::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(&state_->context, std::move(task), Qt::QueuedConnection);
}

platform::MainQueue::TaskId QtRuntime::postAfter(platform::Seconds delay, std::function<void()> task)
{
    const TaskId id = state_->nextTaskId++;
    if (state_->onMainThread()) {
        state_->startTimer(id, delay, std::move(task));
        return id;
    }
    {
        std::lock_guard lock(state_->pendingMutex);
        state_->pendingStarts.insert(id);
    }
    post([state = state_.get(), id, delay, task = std::move(task)]() mutable {
        {
            std::lock_guard lock(state->pendingMutex);
            if (state->pendingStarts.erase(id) == 0)
                return; // cancelled before its timer started
        }
        state->startTimer(id, delay, std::move(task));
    });
    return id;
}

void QtRuntime::cancel(TaskId id)
{
    if (state_->onMainThread())
        state_->cancelOnMainThread(id);
    else
        post([state = state_.get(), id] { state->cancelOnMainThread(id); });
}

void QtRuntime::run(platform::TaskPriority priority, std::function<void()> work)
{
    auto& pool = priority == platform::TaskPriority::userInitiated ? state_->userInitiated : state_->utility;
    pool.start(std::move(work));
}

ReadableWatches::WatchId QtRuntime::watch(int fd, std::function<void()> onReadable)
{
    const WatchId id = state_->nextWatchId++;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &state_->context);
    QObject::connect(notifier, &QSocketNotifier::activated, &state_->context,
                     [onReadable = std::move(onReadable)] { onReadable(); });
    state_->watches.emplace(id, notifier);
    return id;
}

void QtRuntime::unwatch(WatchId id)
{
    auto found = state_->watches.find(id);
    if (found == state_->watches.end())
        return;
    // It may be the watch whose handler is running.
    found->second->setEnabled(false);
    found->second->deleteLater();
    state_->watches.erase(found);
}

} // namespace hb::linux_platform
