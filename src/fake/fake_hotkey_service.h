#pragma once

#include "platform/hotkey_service.h"

#include <cstdint>
#include <optional>
#include <set>
#include <utility>

namespace hb::fake {

// A desktop with one hot-key slot. Combinations that "another program" holds
// are refused; presses are injected by the test and told at once.
class FakeHotkeyService : public platform::HotkeyService {
public:
    static constexpr int refusedStatus = -9878; // the status of a combination held elsewhere

    struct Registration {
        std::uint32_t keyCode = 0;
        std::uint32_t carbonModifiers = 0;
        platform::HotkeyId id;
        friend bool operator==(const Registration&, const Registration&) = default;
    };

    int registerHotkey(std::uint32_t keyCode, std::uint32_t carbonModifiers, platform::HotkeyId id) override;
    void unregisterHotkey() override;
    void setPressHandler(std::function<void(platform::HotkeyId)> handler) override { handler_ = std::move(handler); }
    void setLossHandler(std::function<void()> handler) override { lossHandler_ = std::move(handler); }

    // Another program holds this combination from now on.
    void holdElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers);
    // Presses the registered combination; false when nothing is registered.
    bool pressRegistered();
    // Delivers a press with any identifier, as the desktop would.
    void press(platform::HotkeyId id);
    // The desktop takes the registered combination back.
    void loseRegistration();

    const std::optional<Registration>& registration() const { return registration_; }
    int unregisterCount() const { return unregisterCount_; }
    bool hasPressHandler() const { return static_cast<bool>(handler_); }

private:
    std::optional<Registration> registration_;
    std::set<std::pair<std::uint32_t, std::uint32_t>> heldElsewhere_;
    std::function<void(platform::HotkeyId)> handler_;
    std::function<void()> lossHandler_;
    int unregisterCount_ = 0;
};

} // namespace hb::fake
