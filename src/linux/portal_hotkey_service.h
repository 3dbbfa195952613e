#pragma once

#include "base/log.h"
#include "platform/hotkey_service.h"
#include "platform/runtime.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace hb::linux_platform {

class GlibLoopThread;

// The trigger text of the desktop portal's shortcuts ("CTRL+ALT+SHIFT+LOGO+k":
// modifiers, then the key's symbol in the default keyboard layout); none for
// a key code without a key.
std::optional<std::string> portalTrigger(std::uint32_t keyCode, std::uint32_t carbonModifiers);

// The global hot key through the desktop portal's global shortcuts
// (org.freedesktop.portal.GlobalShortcuts), for Wayland sessions, where
// applications cannot grab keys: one session with one shortcut, "Show
// Shortcuts", the stored combination as its preferred trigger. The desktop
// decides the real trigger, may ask the user, and tells of presses with
// Activated.
//
// A registration waits a moment for the desktop's answer: a refusal or
// cancellation then fails it; a later one (the user took longer to answer a
// dialog) is logged and ends the hot key. Without the portal the registration
// fails with a log line that names the command to bind in the desktop's
// keyboard settings. A connection of its own to the session bus, dispatched on
// a thread of its own; presses reach the handler through the main queue.
class PortalHotkeyService : public platform::HotkeyService {
public:
    static constexpr int noPortalStatus = -1; // no portal or no global shortcuts in it
    static constexpr int noAnswerStatus = -2; // the portal did not answer or failed the call
    static constexpr int noKeyStatus = -3;    // the key code names no key
    // Refusals give the portal's response: 1 cancelled by the user, 2 otherwise ended.

    static constexpr std::string_view shortcutID = "show-shortcuts";

    // An empty address means the session bus. `answerWait`: how long a
    // registration waits for the desktop's answer to the binding.
    PortalHotkeyService(platform::MainQueue& mainQueue, platform::Log& log, std::string busAddress = {},
                        std::chrono::milliseconds answerWait = std::chrono::seconds(1));
    ~PortalHotkeyService() override;
    PortalHotkeyService(const PortalHotkeyService&) = delete;
    PortalHotkeyService& operator=(const PortalHotkeyService&) = delete;

    // Whether the session's portal offers global shortcuts.
    bool isOffered();

    int registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, platform::HotkeyId id) override;
    void unregisterHotkey() override;
    void setPressHandler(std::function<void(platform::HotkeyId)> handler) override;
    void setLossHandler(std::function<void()> handler) override;

private:
    struct Shared;
    // The desktop's answer to a request: 0 granted, 1 cancelled by the user, 2 otherwise ended.
    struct Response {
        std::uint32_t code = 2;
        std::string sessionHandle; // of CreateSession
    };
    struct Outcome {
        enum class Kind { answered, failed, waiting } kind = Kind::failed;
        Response response;
    };

    // On the listening thread.
    void start();
    void stop();
    void answered(const std::string& path, const Response& response);
    void activated(const std::string& session, const std::string& shortcut);
    void sessionEnded(const char* reason);

    GVariant* call(const char* path, const char* interface, const char* method, GVariant* parameters,
                   const char* replyType, int timeoutMs);
    // Calls a portal method that answers through the request object named by
    // `token`, and waits at most `wait` for that answer.
    Outcome request(const char* method, const std::string& token, GVariant* parameters, std::chrono::milliseconds wait,
                    std::uint64_t lateAnswerGeneration = 0);
    void closeSession();
    std::string nextToken();

    platform::MainQueue& mainQueue_;
    platform::Log& log_;
    std::string busAddress_;
    std::chrono::milliseconds answerWait_;
    std::shared_ptr<Shared> shared_; // with the listening thread and posted tasks
    std::uint64_t tokens_ = 0;
    std::uint64_t generation_ = 0;           // of registrations; a late answer acts only on its own
    std::vector<unsigned> subscriptions_;    // listening thread only
    std::unique_ptr<GlibLoopThread> thread_; // last: ends before the rest goes
};

} // namespace hb::linux_platform
