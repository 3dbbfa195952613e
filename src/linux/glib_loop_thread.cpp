#include "linux/glib_loop_thread.h"

#include <glib.h>

#include <future>

namespace hb::linux_platform {

GlibLoopThread::GlibLoopThread(std::function<void()> atStart, std::function<void()> atEnd)
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)), atEnd_(std::move(atEnd))
{
    thread_ = std::thread([this, atStart = std::move(atStart)] {
        g_main_context_push_thread_default(context_);
        if (atStart)
            atStart();
        g_main_loop_run(loop_);
        if (atEnd_)
            atEnd_();
        // Sources that the end left behind (closing connections) are released here.
        while (g_main_context_iteration(context_, FALSE)) {}
        g_main_context_pop_thread_default(context_);
    });
}

GlibLoopThread::~GlibLoopThread()
{
    // Through the context, so that it also ends a loop that has not started yet.
    invoke([loop = loop_] { g_main_loop_quit(loop); });
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void GlibLoopThread::invoke(std::function<void()> work)
{
    auto* task = new std::function<void()>(std::move(work));
    g_main_context_invoke_full(
        context_, G_PRIORITY_DEFAULT,
        [](gpointer data) {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        task, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void GlibLoopThread::invokeAndWait(std::function<void()> work)
{
    std::promise<void> done;
    invoke([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

} // namespace hb::linux_platform
