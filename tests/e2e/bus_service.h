#pragma once

// A stand-in for a desktop service on the session bus: on a connection and a
// GLib loop thread of its own, it owns `name` and serves the first interface
// of `xml` (when given) at `path`, handing each method call, and each property
// read as "Get <property>", to `onCall` there. Its answer is the reply (none
// gives an empty one).
#include "linux/glib_loop_thread.h"

#include <atomic>
#include <functional>
#include <string>

struct _GDBusConnection;
struct _GVariant;

namespace hb::e2e {

class BusService {
public:
    using Handler =
        std::function<_GVariant*(const std::string& sender, const std::string& method, _GVariant* parameters)>;

    BusService(std::string name, std::string path, std::string xml = {}, Handler onCall = {});
    BusService(const BusService&) = delete;
    BusService& operator=(const BusService&) = delete;

    // Whether the name was given to this service.
    bool owned() const { return owned_; }
    // Emits a signal from `from` (its own path when empty), sent before this returns.
    void emit(const std::string& interface, const std::string& member, _GVariant* parameters,
              const std::string& from = {});
    // Runs `work` on its thread after what runs there now (a reply being sent).
    void later(std::function<void()> work) { thread_.invoke(std::move(work)); }
    // Leaves the bus, as a service that ends.
    void leave();
    _GDBusConnection* connection() const { return bus_; }

private:
    void serve();

    std::string name_, path_, xml_;
    Handler onCall_;
    _GDBusConnection* bus_ = nullptr;
    std::atomic<bool> owned_ = false;
    linux_platform::GlibLoopThread thread_; // last: ends before the rest goes
};

} // namespace hb::e2e
