#pragma once

#include "linux/readable_watches.h"

#include <xcb/xcb.h>

#include <deque>
#include <functional>
#include <optional>

namespace hb::linux_platform {

// Reads the events of one xcb connection on the main loop. Events that xcb
// takes in while it waits for a reply never make the socket readable again,
// so after each round trip the owner calls `collectQueued`, which keeps them
// and wakes the loop through an eventfd of its own.
class XcbEventReader {
public:
    // `onEvent` gets each event (freed afterwards); `onLost` runs once when the
    // connection breaks, after which the reader watches nothing.
    XcbEventReader(ReadableWatches& watches, xcb_connection_t* connection,
                   std::function<void(const xcb_generic_event_t&)> onEvent, std::function<void()> onLost);
    ~XcbEventReader();
    XcbEventReader(const XcbEventReader&) = delete;
    XcbEventReader& operator=(const XcbEventReader&) = delete;

    void collectQueued();
    bool isWatching() const { return socketWatch_.has_value(); }

private:
    void read();
    void stopWatching();

    ReadableWatches& watches_;
    xcb_connection_t* connection_;
    std::function<void(const xcb_generic_event_t&)> onEvent_;
    std::function<void()> onLost_;
    int wakeFd_ = -1;
    std::optional<ReadableWatches::WatchId> socketWatch_;
    std::optional<ReadableWatches::WatchId> wakeWatch_;
    std::deque<xcb_generic_event_t*> backlog_;
};

} // namespace hb::linux_platform
