#pragma once

// A stand-in for the desktop's notification service: owns
// org.freedesktop.Notifications on the session bus while it exists and keeps
// what each Notify call asked to show.
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _GMainContext;
struct _GMainLoop;

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
    _GMainContext* context_;
    _GMainLoop* loop_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Notification> received_;
    bool owned_ = false;
    bool settled_ = false;
};

} // namespace hb::e2e
