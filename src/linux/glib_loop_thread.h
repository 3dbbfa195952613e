#pragma once

#include <functional>
#include <thread>

typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;

namespace hb::linux_platform {

// A thread running a GLib main loop on a context of its own, for D-Bus
// connections whose signals must be dispatched while the Qt loop (which never
// iterates GLib's default context) runs. Work given to `invoke` runs on that
// thread, in order; the loop ends with the object, after `atEnd`.
class GlibLoopThread {
public:
    // `atStart` runs first on the thread, with the context as its default,
    // so that what it creates dispatches there; `atEnd` runs last there.
    GlibLoopThread(std::function<void()> atStart, std::function<void()> atEnd);
    ~GlibLoopThread();
    GlibLoopThread(const GlibLoopThread&) = delete;
    GlibLoopThread& operator=(const GlibLoopThread&) = delete;

    GMainContext* context() const { return context_; }
    // Runs `work` on the thread; safe from any thread.
    void invoke(std::function<void()> work);
    // Runs `work` on the thread and waits until it has run; not from the thread itself.
    void invokeAndWait(std::function<void()> work);

private:
    GMainContext* context_;
    GMainLoop* loop_;
    std::function<void()> atEnd_;
    std::thread thread_;
};

} // namespace hb::linux_platform
