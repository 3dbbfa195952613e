#pragma once

#include "platform/runtime.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace hb::platform {

// Named notifications without object or payload. Observers run on the main
// queue, each in its own task, and not after they were removed.
class NotificationCenter {
public:
    using ObserverId = std::uint64_t;

    explicit NotificationCenter(MainQueue& mainQueue);
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    ObserverId addObserver(std::string_view name, std::function<void()> observer);
    void removeObserver(ObserverId id);
    // Safe to call from any thread.
    void post(std::string_view name);

private:
    struct State;
    MainQueue& mainQueue_;
    std::shared_ptr<State> state_;
};

} // namespace hb::platform
