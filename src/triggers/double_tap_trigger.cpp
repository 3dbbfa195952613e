#include "triggers/double_tap_trigger.h"

#include "settings/settings_keys.h"

#include <fmt/format.h>

namespace hb {
namespace {

using platform::LogCategory;
using Phase = TapState::Phase;

} // namespace

std::string_view logName(const TapState& state)
{
    switch (state.phase) {
    case Phase::firstDown:
        return "firstDown";
    case Phase::firstUp:
        return "firstUp";
    case Phase::idle:
        break;
    }
    return "idle";
}

std::uint64_t modifierFlag(DoubleTapModifier modifier)
{
    switch (modifier) {
    case DoubleTapModifier::command:
        return platform::modifier_flags::command;
    case DoubleTapModifier::control:
        return platform::modifier_flags::control;
    case DoubleTapModifier::option:
        break;
    }
    return platform::modifier_flags::option;
}

DoubleTapTrigger::DoubleTapTrigger(platform::EventMonitors& monitors, platform::Clock& clock,
                                   platform::SettingsDomain& settings, platform::Log& log)
    : monitors_(monitors), clock_(clock), settings_(settings), log_(log),
      self_(std::make_shared<DoubleTapTrigger*>(this))
{}

DoubleTapTrigger::~DoubleTapTrigger()
{
    stop();
}

void DoubleTapTrigger::start()
{
    std::weak_ptr<DoubleTapTrigger*> weak = self_;
    flagsMonitor_ = monitors_.addFlagsChangedMonitor([weak](std::uint64_t flags) {
        if (auto self = weak.lock())
            (*self)->flagsChanged(flags);
    });
    keyDownMonitor_ = monitors_.addKeyDownMonitor([weak](const platform::KeyEvent&) {
        if (auto self = weak.lock())
            (*self)->keyDown();
    });
    if (!flagsMonitor_)
        log_.error(LogCategory::hotkey,
                   "DoubleTapTrigger: flagsMonitor is nil — no global input monitors (no X display, or no XInput 2)");
    log_.info(LogCategory::hotkey, "DoubleTapTrigger: watching {}", storedName(watched_));
}

void DoubleTapTrigger::stop()
{
    if (flagsMonitor_)
        monitors_.removeMonitor(*flagsMonitor_);
    if (keyDownMonitor_)
        monitors_.removeMonitor(*keyDownMonitor_);
    flagsMonitor_.reset();
    keyDownMonitor_.reset();
    tapState_ = TapState::idle();
}

void DoubleTapTrigger::applySettings()
{
    if (!settings_.boolean(keys::doubleTapEnabled))
        return;
    restart(Settings(settings_).doubleTapModifier());
}

void DoubleTapTrigger::restart(DoubleTapModifier modifier)
{
    stop();
    watched_ = modifier;
    prevFlags_ = 0;
    tapState_ = TapState::idle();
    start();
}

bool DoubleTapTrigger::debugLogging() const
{
    return settings_.boolean(keys::debugLoggingEnabled);
}

void DoubleTapTrigger::flagsChanged(std::uint64_t flags)
{
    const std::uint64_t mask = modifierFlag(watched_);
    const std::uint64_t masked = flags & platform::modifier_flags::all;
    const bool isDown = (masked & mask) != 0;
    const bool wasDown = (prevFlags_ & mask) != 0;
    const bool debug = debugLogging();
    if (debug)
        log_.debug(LogCategory::hotkey, "DoubleTapTrigger: flags 0x{:X} isDown={} wasDown={} state={}", flags, isDown,
                   wasDown, logName(tapState_));
    prevFlags_ = flags;
    if (isDown == wasDown)
        return;

    if (isDown) {
        if (masked != mask) {
            if (debug)
                log_.debug(LogCategory::hotkey, "DoubleTapTrigger: chord — reset");
            tapState_ = TapState::idle();
            return;
        }
        switch (tapState_.phase) {
        case Phase::idle:
        case Phase::firstDown:
            tapState_ = TapState::firstDown();
            break;
        case Phase::firstUp:
            if (clock_.now() - tapState_.releasedAt < window) {
                tapState_ = TapState::idle();
                log_.info(LogCategory::hotkey, "DoubleTapTrigger: FIRED");
                if (onActivate)
                    onActivate();
                break;
            }
            tapState_ = TapState::firstDown();
            break;
        }
    } else {
        tapState_ =
            tapState_.phase == Phase::firstDown && masked == 0 ? TapState::firstUp(clock_.now()) : TapState::idle();
    }
    if (debug)
        log_.debug(LogCategory::hotkey, "DoubleTapTrigger: → {}", logName(tapState_));
}

void DoubleTapTrigger::keyDown()
{
    if (debugLogging())
        log_.debug(LogCategory::hotkey, "DoubleTapTrigger: keyDown reset (was {})", logName(tapState_));
    tapState_ = TapState::idle();
}

} // namespace hb
