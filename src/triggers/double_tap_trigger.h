#pragma once

#include "base/log.h"
#include "platform/event_monitors.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "settings/settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace hb {

// Where the tap pattern stands; `firstUp` carries the release time of the first tap.
struct TapState {
    enum class Phase { idle, firstDown, firstUp };
    Phase phase = Phase::idle;
    platform::TimePoint releasedAt{};

    static TapState idle() { return {}; }
    static TapState firstDown() { return {Phase::firstDown, {}}; }
    static TapState firstUp(platform::TimePoint at) { return {Phase::firstUp, at}; }

    friend bool operator==(const TapState&, const TapState&) = default;
};

// "idle", "firstDown" or "firstUp".
std::string_view logName(const TapState& state);
// The event modifier flag of a watched modifier.
std::uint64_t modifierFlag(DoubleTapModifier modifier);

// Opens the popup when one modifier key is tapped twice within half a second,
// with no other key involved. The monitors outlive the trigger. Main thread
// only.
class DoubleTapTrigger {
public:
    static constexpr platform::Seconds window{0.5};

    DoubleTapTrigger(platform::EventMonitors& monitors, platform::Clock& clock, platform::SettingsDomain& settings,
                     platform::Log& log);
    ~DoubleTapTrigger();
    DoubleTapTrigger(const DoubleTapTrigger&) = delete;
    DoubleTapTrigger& operator=(const DoubleTapTrigger&) = delete;

    // Installs the flags and key-down monitors; call stop() first.
    void start();
    // Removes the monitors and returns to idle.
    void stop();
    bool isStarted() const { return flagsMonitor_ || keyDownMonitor_; }
    // Stops, then starts afresh watching `modifier`.
    void restart(DoubleTapModifier modifier);
    // The settings' path: when the double tap is on, restarts watching the
    // configured modifier; otherwise leaves the trigger as it is.
    void applySettings();

    // What the monitors deliver; public for the monitors' handlers and tests.
    void flagsChanged(std::uint64_t flags);
    void keyDown();

    const TapState& tapState() const { return tapState_; }
    DoubleTapModifier watched() const { return watched_; }
    void setWatched(DoubleTapModifier modifier) { watched_ = modifier; }

    std::function<void()> onActivate;

private:
    bool debugLogging() const;

    platform::EventMonitors& monitors_;
    platform::Clock& clock_;
    platform::SettingsDomain& settings_;
    platform::Log& log_;
    std::optional<platform::EventMonitors::Token> flagsMonitor_;
    std::optional<platform::EventMonitors::Token> keyDownMonitor_;
    std::uint64_t prevFlags_ = 0;
    TapState tapState_;
    DoubleTapModifier watched_ = DoubleTapModifier::command;
    // Monitor handlers hold this weakly.
    std::shared_ptr<DoubleTapTrigger*> self_;
};

} // namespace hb
