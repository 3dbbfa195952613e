// Reading gnome-text-editor's shortcuts window from its executable: the
// first read of a program (ELF sections, GResource bundle, the definition,
// the message catalogue) must stay under 10 ms; later reads hit the cache.
#include "fake/memory_log.h"
#include "linux/shortcuts_window_source.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

constexpr const char* editor = "/usr/bin/gnome-text-editor";

void BM_FirstReadOfGnomeTextEditor(benchmark::State& state)
{
    if (!std::filesystem::exists(editor)) {
        state.SkipWithError("gnome-text-editor is not installed (scripts/setup)");
        return;
    }
    hb::fake::MemoryLogSink sink;
    hb::platform::Log log(sink, [] { return false; });
    std::size_t rows = 0;
    for (auto _ : state) {
        hb::linux_platform::ShortcutsWindowSource source(log);
        auto listed = source.readProgram(editor, editor, {});
        rows = 0;
        for (const auto& group : listed ? listed->groups : decltype(listed->groups){})
            rows += group.shortcuts.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_FirstReadOfGnomeTextEditor)->Unit(benchmark::kMillisecond);

void BM_CachedReadOfGnomeTextEditor(benchmark::State& state)
{
    hb::fake::MemoryLogSink sink;
    hb::platform::Log log(sink, [] { return false; });
    hb::linux_platform::ShortcutsWindowSource source(log);
    for (auto _ : state)
        benchmark::DoNotOptimize(source.readProgram(editor, editor, {}));
}
BENCHMARK(BM_CachedReadOfGnomeTextEditor)->Unit(benchmark::kMicrosecond);

} // namespace
