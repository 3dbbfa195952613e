#include "triggers/double_tap_trigger.h"
#include "triggers/trigger_availability.h"

#include "fake/fake_event_monitors.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace hb {
namespace {

using platform::LogCategory;
using Phase = TapState::Phase;
namespace flags = platform::modifier_flags;

class DoubleTapTriggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        trigger.onActivate = [this] { ++fired; };
        settings.set(keys::doubleTapEnabled, true);
        settings.set(keys::doubleTapModifier, "command");
        trigger.applySettings();
    }
    // Plays space-separated events: the modifiers now held (C command, S shift, O option, T control,
    // K Caps Lock, D a device bit; "-" none), "k" a key press, "w0.3" a wait in seconds.
    void play(const std::string& events)
    {
        std::istringstream words(events);
        for (std::string word; words >> word;) {
            if (word == "k") {
                monitors.pressKey({8, flags::command, "c"});
            } else if (word[0] == 'w') {
                runtime.advance(platform::Seconds(std::stod(word.substr(1))));
            } else {
                static const std::map<char, std::uint64_t> bits{{'C', flags::command}, {'S', flags::shift},
                                                                {'O', flags::option},  {'T', flags::control},
                                                                {'K', 0x10000},        {'D', 0x8}};
                std::uint64_t held = 0;
                for (char c : word)
                    held |= bits.contains(c) ? bits.at(c) : 0;
                monitors.changeFlags(held);
            }
        }
    }
    Phase phase() const { return trigger.tapState().phase; }

    fake::VirtualRuntime runtime;
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    DoubleTapTrigger trigger{monitors, runtime, settings, log};
    int fired = 0;
};

TEST_F(DoubleTapTriggerTest, FiresOnASecondPressStrictlyWithinHalfASecondOfTheFirstRelease)
{
    struct Case {
        const char* modifier;
        const char* events;
        int fired;
        Phase phase;
    };
    for (const auto& c : {
             Case{"command", "C - w0.3 C", 1, Phase::idle},
             Case{"command", "C - w0.3 C -", 1, Phase::idle},    // the release after firing starts nothing
             Case{"command", "C - w0.5 C", 0, Phase::firstDown}, // too late: a new first tap
             Case{"command", "C - w0.6 C - w0.49 C", 1, Phase::idle},
             Case{"command", "CD w3 K w0.2 CK", 1, Phase::idle},     // any hold; Caps Lock and device bits do not count
             Case{"command", "C - w0.1 CS", 0, Phase::idle},         // a chord resets
             Case{"command", "S - S SC S - C", 0, Phase::firstDown}, // pressed and released under Shift
             Case{"command", "C CO O - C", 0, Phase::firstDown},     // released while Option is held
             Case{"command", "C - k C", 0, Phase::firstDown},        // a key between the taps
             Case{"command", "C k - C", 0, Phase::firstDown},        // Command-C as the first tap
             Case{"command", "C - w0.1 S - w0.1 C", 1, Phase::idle}, // another modifier alone does not reset
             Case{"control", "C - C - T - T", 1, Phase::idle},
             Case{"Command", "C - C - O - O", 1, Phase::idle}, // unknown names and numbers read as Option
             Case{"2", "O - O", 1, Phase::idle},
         }) {
        settings.set(keys::doubleTapModifier,
                     c.modifier == std::string("2") ? platform::PlistValue(2) : platform::PlistValue(c.modifier));
        trigger.applySettings();
        fired = 0;
        play(c.events);
        EXPECT_EQ(fired, c.fired) << c.modifier << ": " << c.events;
        EXPECT_EQ(phase(), c.phase) << c.modifier << ": " << c.events;
        play("- w1");
    }
}

TEST_F(DoubleTapTriggerTest, StopsWhenOffAndWithoutMonitorsLogsWhy)
{
    EXPECT_EQ(monitors.monitorCount(), 2u);
    play("C");
    trigger.stop();
    EXPECT_EQ(monitors.monitorCount(), 0u);
    play("- C");
    EXPECT_EQ(phase(), Phase::idle);
    settings.set(keys::doubleTapEnabled, false);
    trigger.applySettings();
    EXPECT_FALSE(trigger.isStarted());
    settings.set(keys::doubleTapEnabled, true);
    trigger.applySettings();
    trigger.applySettings();
    EXPECT_EQ(monitors.monitorCount(), 2u) << "reconfiguring replaces the monitors";
    DoubleTapTrigger(monitors, runtime, settings, log).applySettings();
    EXPECT_EQ(monitors.monitorCount(), 2u) << "a trigger removes only its own";

    trigger.stop();
    monitors.setAvailable(false);
    trigger.applySettings();
    EXPECT_TRUE(sink.contains(
        LogCategory::hotkey, platform::LogLevel::error,
        "DoubleTapTrigger: flagsMonitor is nil — no global input monitors (no X display, or no XInput 2)"));
}

TEST(TriggerAvailabilityTest, WaylandHasNoDoubleTapAndNeedsThePortalOrADesktopBinding)
{
    struct Case {
        const char* display;
        const char* type;
        SessionKind kind;
    };
    for (const auto& c :
         {Case{"wayland-0", "", SessionKind::wayland}, Case{"", "wayland", SessionKind::wayland},
          Case{"", "x11", SessionKind::x11}, Case{"", "tty", SessionKind::x11}, Case{"", "", SessionKind::x11}})
        EXPECT_EQ(sessionKind(c.display, c.type), c.kind) << c.display << "/" << c.type;

    EXPECT_EQ(triggerAvailability(SessionKind::x11, false), TriggerAvailability{});
    const auto portal = triggerAvailability(SessionKind::wayland, true);
    EXPECT_FALSE(portal.doubleTapAvailable);
    EXPECT_EQ(portal.hotkeyRoute, HotkeyRoute::portal);
    EXPECT_TRUE(portal.bindingPlaces.empty());
    const auto none = triggerAvailability(SessionKind::wayland, false);
    EXPECT_FALSE(none.doubleTapAvailable);
    EXPECT_EQ(none.hotkeyRoute, HotkeyRoute::desktopBinding);
}

} // namespace
} // namespace hb
