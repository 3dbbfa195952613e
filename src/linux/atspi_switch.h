#pragma once

#include <chrono>
#include <optional>

typedef struct _GDBusConnection GDBusConnection;

namespace hb::linux_platform {

// The session's accessibility switch: property IsEnabled of org.a11y.Status
// on the service org.a11y.Bus of the session bus. Calls give up after the
// timeout; without a session bus everything reads as absent or false.
class AccessibilitySwitch {
public:
    explicit AccessibilitySwitch(std::chrono::milliseconds timeout = std::chrono::seconds(1));
    ~AccessibilitySwitch();
    AccessibilitySwitch(const AccessibilitySwitch&) = delete;
    AccessibilitySwitch& operator=(const AccessibilitySwitch&) = delete;

    // Whether org.a11y.Bus answers (it tells where the accessibility bus is).
    bool busAnswers();
    // The switch, or absent when it cannot be read.
    std::optional<bool> isEnabled();
    // Turns the switch on; false when that fails.
    bool enable();

private:
    GDBusConnection* connection();

    std::chrono::milliseconds timeout_;
    GDBusConnection* connection_ = nullptr;
};

} // namespace hb::linux_platform
