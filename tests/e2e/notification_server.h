#pragma once

// A stand-in for the desktop's notification service: owns
// org.freedesktop.Notifications on the session bus while it exists and keeps
// what each Notify call asked to show.
#include "linux/glib_loop_thread.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _GDBusConnection;

namespace hb::e2e {

class NotificationServer {
public:
    struct Notification {
        std::string application;
        std::string title;
        std::string text;
    };

    NotificationServer();
    ~NotificationServer();
    NotificationServer(const NotificationServer&) = delete;
    NotificationServer& operator=(const NotificationServer&) = delete;

    // Whether the name was given to this server.
    bool owned() const;
    std::vector<Notification> received() const;

private:
    void serve();
    void stop();

    _GDBusConnection* bus_ = nullptr;
    unsigned object_ = 0;
    unsigned name_ = 0;
    mutable std::mutex mutex_;
    std::vector<Notification> received_;
    bool owned_ = false;
    bool settled_ = false;
    std::unique_ptr<linux_platform::GlibLoopThread> thread_;  // last: ends before the rest goes
};

} // namespace hb::e2e
