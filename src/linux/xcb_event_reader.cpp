#include "linux/xcb_event_reader.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace hb::linux_platform {

XcbEventReader::XcbEventReader(ReadableWatches& watches, xcb_connection_t* connection,
                               std::function<void(const xcb_generic_event_t&)> onEvent, std::function<void()> onLost)
    : watches_(watches), connection_(connection), onEvent_(std::move(onEvent)), onLost_(std::move(onLost))
{
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    socketWatch_ = watches_.watch(xcb_get_file_descriptor(connection_), [this] { read(); });
    if (wakeFd_ >= 0)
        wakeWatch_ = watches_.watch(wakeFd_, [this] {
            std::uint64_t count = 0;
            [[maybe_unused]] auto ignored = ::read(wakeFd_, &count, sizeof count);
            read();
        });
}

XcbEventReader::~XcbEventReader()
{
    stopWatching();
    for (auto* event : backlog_)
        std::free(event);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void XcbEventReader::stopWatching()
{
    if (socketWatch_)
        watches_.unwatch(*socketWatch_);
    if (wakeWatch_)
        watches_.unwatch(*wakeWatch_);
    socketWatch_.reset();
    wakeWatch_.reset();
}

void XcbEventReader::collectQueued()
{
    const bool wasEmpty = backlog_.empty();
    while (auto* event = xcb_poll_for_queued_event(connection_))
        backlog_.push_back(event);
    if (wasEmpty && !backlog_.empty() && wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(wakeFd_, &one, sizeof one);
    }
}

void XcbEventReader::read()
{
    if (!socketWatch_)
        return;
    for (;;) {
        xcb_generic_event_t* event = nullptr;
        if (!backlog_.empty()) {
            event = backlog_.front();
            backlog_.pop_front();
        } else {
            event = xcb_poll_for_event(connection_);
        }
        if (!event)
            break;
        onEvent_(*event);
        std::free(event);
    }
    if (xcb_connection_has_error(connection_)) {
        stopWatching();
        onLost_();
    }
}

} // namespace hb::linux_platform
