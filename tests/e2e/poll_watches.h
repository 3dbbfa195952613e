#pragma once

// The main loop's watch over file descriptors for tests: a poll() loop that
// the test runs for as long as it waits.

#include "linux/readable_watches.h"

#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <vector>

namespace hb::e2e {

class PollWatches : public linux_platform::ReadableWatches {
public:
    WatchId watch(int fd, std::function<void()> onReadable) override
    {
        const WatchId id = nextId_++;
        watches_.emplace(id, Watch{fd, std::move(onReadable)});
        return id;
    }
    void unwatch(WatchId id) override { watches_.erase(id); }
    std::size_t count() const { return watches_.size(); }
    // The watched descriptors, in the order of their watches.
    std::vector<int> descriptors() const
    {
        std::vector<int> fds;
        for (const auto& entry : watches_)
            fds.push_back(entry.second.fd);
        return fds;
    }

    // Runs the callbacks of readable descriptors, and `afterEach` after each
    // round, until `condition` holds or `timeout` passes.
    bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                  const std::function<void()>& afterEach = {})
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            std::vector<pollfd> fds;
            std::vector<WatchId> ids;
            for (const auto& [id, watch] : watches_) {
                fds.push_back({watch.fd, POLLIN, 0});
                ids.push_back(id);
            }
            if (::poll(fds.data(), fds.size(), int(left.count())) > 0)
                for (std::size_t i = 0; i < fds.size(); ++i)
                    if (auto found = watches_.find(ids[i]); fds[i].revents && found != watches_.end())
                        std::function(found->second.onReadable)(); // a copy: a callback may remove its own watch
            if (afterEach)
                afterEach();
        }
        return true;
    }

private:
    struct Watch {
        int fd;
        std::function<void()> onReadable;
    };

    WatchId nextId_ = 1;
    std::map<WatchId, Watch> watches_;
};

} // namespace hb::e2e
