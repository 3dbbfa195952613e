#pragma once

#include <cstdint>
#include <functional>

namespace hb::platform {

// Tells when the machine has woken from sleep. Observers run on the main queue.
class SystemWake {
public:
    using ObserverId = std::uint64_t;

    virtual ~SystemWake() = default;
    virtual ObserverId addWakeObserver(std::function<void()> observer) = 0;
    virtual void removeWakeObserver(ObserverId id) = 0;
};

} // namespace hb::platform
