#include "triggers/double_tap_trigger.h"

#include "platform/fake/fake_event_monitors.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::LogCategory;
using platform::LogLevel;
using platform::Seconds;
using ::testing::ElementsAre;
using Phase = TapState::Phase;
namespace flags = platform::modifier_flags;

constexpr std::uint64_t leftCommandDeviceBit = 0x8;
constexpr std::uint64_t capsLock = 0x10000;

class DoubleTapTriggerTest : public ::testing::Test {
protected:
    fake::VirtualRuntime runtime;
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    DoubleTapTrigger trigger{monitors, runtime, settings, log};
    int fired = 0;

    void SetUp() override
    {
        trigger.onActivate = [this] { ++fired; };
        settings.set(keys::doubleTapEnabled, true);
        settings.set(keys::doubleTapModifier, "command");
        trigger.applySettings();
    }

    void flagsTo(std::uint64_t value) { monitors.changeFlags(value); }
    void tap(std::uint64_t flag = flags::command)
    {
        flagsTo(flag);
        flagsTo(0);
    }
    void wait(double seconds) { runtime.advance(Seconds(seconds)); }
    Phase phase() const { return trigger.tapState().phase; }
};

TEST_F(DoubleTapTriggerTest, SecondPressMustComeStrictlyWithinHalfASecondOfTheFirstRelease)
{
    tap();
    EXPECT_EQ(phase(), Phase::firstUp);
    wait(0.3);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(phase(), Phase::idle);
    flagsTo(0);
    EXPECT_EQ(phase(), Phase::idle) << "the release after firing starts nothing";

    tap();
    wait(0.6);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(phase(), Phase::firstDown) << "a late press is a new first tap";
    flagsTo(0);
    wait(0.49);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 2);
    flagsTo(0);

    tap();
    wait(0.5);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 2) << "exactly half a second is too late";
    EXPECT_EQ(phase(), Phase::firstDown);
}

TEST_F(DoubleTapTriggerTest, HoldTimeIsNotLimitedAndOtherBitsDoNotCount)
{
    flagsTo(flags::command | leftCommandDeviceBit);
    wait(3);
    flagsTo(capsLock);
    EXPECT_EQ(phase(), Phase::firstUp) << "Caps Lock is outside the four modifiers";
    wait(0.2);
    flagsTo(flags::command | capsLock);
    EXPECT_EQ(fired, 1);
}

TEST_F(DoubleTapTriggerTest, ChordsReset)
{
    tap();
    wait(0.1);
    flagsTo(flags::command | flags::shift);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(phase(), Phase::idle);

    // Command pressed while Shift is held, then released while Shift is still held.
    flagsTo(flags::shift);
    flagsTo(0);
    flagsTo(flags::shift);
    flagsTo(flags::shift | flags::command);
    EXPECT_EQ(phase(), Phase::idle);
    flagsTo(flags::shift);
    flagsTo(0);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(phase(), Phase::firstDown);

    // Released while another modifier is held (R1) from firstDown.
    flagsTo(flags::command | flags::option);
    flagsTo(flags::option);
    EXPECT_EQ(phase(), Phase::idle);
    flagsTo(0);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 0);
}

TEST_F(DoubleTapTriggerTest, KeysBetweenTapsResetButOtherModifiersAloneDoNot)
{
    tap();
    monitors.pressKey({8, flags::command, "c"});
    EXPECT_EQ(phase(), Phase::idle);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 0);
    flagsTo(0);

    // Command-C as the first tap: the key resets, the release finds idle.
    wait(1);
    flagsTo(flags::command);
    monitors.pressKey({8, flags::command, "c"});
    flagsTo(0);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 0);
    flagsTo(0);

    wait(1);
    tap();
    wait(0.1);
    tap(flags::shift);
    EXPECT_EQ(phase(), Phase::firstUp);
    wait(0.1);
    flagsTo(flags::command);
    EXPECT_EQ(fired, 1) << "within half a second of the first release";
}

TEST_F(DoubleTapTriggerTest, WatchesOnlyTheConfiguredModifier)
{
    settings.set(keys::doubleTapModifier, "control");
    trigger.applySettings();
    tap(flags::command);
    tap(flags::command);
    EXPECT_EQ(fired, 0);
    tap(flags::control);
    tap(flags::control);
    EXPECT_EQ(fired, 1);

    for (const platform::PlistValue& stored : {platform::PlistValue("Command"), platform::PlistValue(2)}) {
        settings.set(keys::doubleTapModifier, stored);
        trigger.applySettings();
        EXPECT_EQ(trigger.watched(), DoubleTapModifier::option);
    }
    settings.remove(keys::doubleTapModifier);
    trigger.applySettings();
    EXPECT_EQ(trigger.watched(), DoubleTapModifier::option);
    tap(flags::option);
    tap(flags::option);
    EXPECT_EQ(fired, 2);
}

TEST_F(DoubleTapTriggerTest, StartStopAndSettings)
{
    EXPECT_EQ(monitors.monitorCount(), 2u);
    flagsTo(flags::command);
    trigger.stop();
    EXPECT_EQ(monitors.monitorCount(), 0u);
    EXPECT_EQ(phase(), Phase::idle);
    flagsTo(0);
    flagsTo(flags::command);
    EXPECT_EQ(phase(), Phase::idle) << "stopped";

    settings.set(keys::doubleTapEnabled, false);
    trigger.applySettings();
    EXPECT_FALSE(trigger.isStarted());

    settings.set(keys::doubleTapEnabled, true);
    trigger.applySettings();
    trigger.applySettings();
    EXPECT_EQ(monitors.monitorCount(), 2u) << "reconfiguring replaces the monitors";
}

TEST(DoubleTapTriggerStart, WithoutMonitorsLogsAndNeverFires)
{
    fake::VirtualRuntime runtime;
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    monitors.setAvailable(false);
    DoubleTapTrigger trigger{monitors, runtime, settings, log};
    settings.set(keys::doubleTapEnabled, true);
    trigger.applySettings();
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error,
                              "DoubleTapTrigger: flagsMonitor is nil — no global input monitors (no X display, or no XInput 2)"));
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::info, "DoubleTapTrigger: watching option"));

    auto gone = std::make_unique<DoubleTapTrigger>(monitors, runtime, settings, log);
    monitors.setAvailable(true);
    gone->applySettings();
    gone.reset();
    EXPECT_EQ(monitors.monitorCount(), 0u) << "removed with the trigger";
}

TEST_F(DoubleTapTriggerTest, LogsTheEdgesOnlyWithDebugLogging)
{
    tap();
    tap();
    EXPECT_THAT(sink.messages(LogCategory::hotkey), ElementsAre("DoubleTapTrigger: watching command", "DoubleTapTrigger: FIRED"));

    // With debug logging every edge and transition is logged, device bits included.
    sink.clear();
    settings.set(keys::debugLoggingEnabled, true);
    flagsTo(flags::command | leftCommandDeviceBit);
    monitors.pressKey({0, 0, "a"});
    flagsTo(flags::option);
    flagsTo(flags::option | flags::command);
    EXPECT_THAT(sink.messages(LogCategory::hotkey),
                ElementsAre("DoubleTapTrigger: flags 0x100008 isDown=true wasDown=false state=idle",
                            "DoubleTapTrigger: → firstDown",
                            "DoubleTapTrigger: keyDown reset (was firstDown)",
                            "DoubleTapTrigger: flags 0x80000 isDown=false wasDown=true state=idle",
                            "DoubleTapTrigger: → idle",
                            "DoubleTapTrigger: flags 0x180000 isDown=true wasDown=false state=idle",
                            "DoubleTapTrigger: chord — reset"));
}

} // namespace
} // namespace hb
