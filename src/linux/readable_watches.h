#pragma once

#include <cstdint>
#include <functional>

namespace hb::linux_platform {

// The main loop's watch over file descriptors: the X connection, inotify and
// signal pipes are read on the main thread when they have data, without a
// thread or polling of their own.
class ReadableWatches {
public:
    using WatchId = std::uint64_t;

    virtual ~ReadableWatches() = default;
    // `onReadable` runs on the main thread each time the descriptor has data.
    virtual WatchId watch(int fd, std::function<void()> onReadable) = 0;
    virtual void unwatch(WatchId id) = 0;
};

} // namespace hb::linux_platform
