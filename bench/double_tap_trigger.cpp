// The double tap's handler runs for every modifier change on the desktop.
// One iteration is one modifier event; with debug logging off it must not
// allocate (counted by the global operator new below).
#include "triggers/double_tap_trigger.h"

#include "fake/fake_event_monitors.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

using namespace hb;
namespace flags = platform::modifier_flags;

// A clock that moves `step` seconds each time it is read: with a step of
// 0 every second tap fires, with 1 s none does.
class SteppingClock : public platform::Clock {
public:
    explicit SteppingClock(double step) : step_(step) {}
    platform::TimePoint now() const override { return platform::TimePoint(platform::Seconds(seconds_ += step_)); }

private:
    double step_;
    mutable double seconds_ = 1'800'000'000;
};

void modifierEvents(benchmark::State& state, bool debugLogging, bool firing)
{
    SteppingClock clock(firing ? 0 : 1);
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    settings.set(keys::doubleTapEnabled, true);
    settings.set(keys::doubleTapModifier, "command");
    settings.set(keys::debugLoggingEnabled, debugLogging);
    DoubleTapTrigger trigger{monitors, clock, settings, log};
    long fired = 0;
    trigger.onActivate = [&fired] { ++fired; };
    trigger.applySettings();

    // Press, release, Shift alone, press (fires), release, a chord.
    constexpr std::uint64_t sequence[] = {
        flags::command, 0, flags::shift, 0, flags::command, 0, flags::command, flags::command | flags::option, 0};
    std::size_t next = 0;
    const long before = allocations.load();
    for (auto _ : state) {
        trigger.flagsChanged(sequence[next]);
        next = next + 1 == std::size(sequence) ? 0 : next + 1;
        if (debugLogging && state.iterations() % 4096 == 0)
            sink.clear();
    }
    const long allocated = allocations.load() - before;
    state.counters["allocations_per_event"] =
        benchmark::Counter(static_cast<double>(allocated) / static_cast<double>(state.iterations()));
    state.counters["fired"] = static_cast<double>(fired);
    // Firing writes its info line; every other event must not allocate.
    if (!debugLogging && !firing && allocated != 0)
        state.SkipWithError("the handler allocated with debug logging off");
}

void BM_ModifierEvent(benchmark::State& state)
{
    modifierEvents(state, false, false);
}
void BM_ModifierEventFiring(benchmark::State& state)
{
    modifierEvents(state, false, true);
}
void BM_ModifierEventDebugLogging(benchmark::State& state)
{
    modifierEvents(state, true, true);
}

BENCHMARK(BM_ModifierEvent);
BENCHMARK(BM_ModifierEventFiring);
BENCHMARK(BM_ModifierEventDebugLogging);

} // namespace
