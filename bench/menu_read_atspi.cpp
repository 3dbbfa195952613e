// Reading mousepad's whole menu bar over AT-SPI in a private desktop session:
// the menu reader against a naive walk that asks for every attribute of every
// node with one request each and keeps nothing, as a simple script would.
#include "../tests/e2e/desktop_session.h"

#include "menus/menu_bar_reader.h"
#include "platform/fake/memory_log.h"
#include "platform/linux/atspi_accessibility.h"

#include <atspi/atspi.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

pid_t mousepad = 0;
hb::fake::MemoryLogSink sink;
hb::platform::Log logger(sink, [] { return false; });
hb::linux_platform::AtspiAccessibility accessibility(logger);

struct NaiveCounts {
    int nodes = 0;
    int bindings = 0;
};

void walk(AtspiAccessible* node, NaiveCounts& counts)
{
    ++counts.nodes;
    g_free(atspi_accessible_get_name(node, nullptr));
    atspi_accessible_get_role(node, nullptr);
    if (AtspiAction* action = atspi_accessible_get_action_iface(node)) {
        if (gchar* binding = atspi_action_get_key_binding(action, 0, nullptr)) {
            counts.bindings += *binding != 0;
            g_free(binding);
        }
        g_object_unref(action);
    }
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        if (AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr)) {
            walk(child, counts);
            g_object_unref(child);
        }
    }
}

// Finds the application by process id and its menu bar by searching the windows, then walks it.
NaiveCounts naiveWalk(pid_t pid)
{
    NaiveCounts counts;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const int applications = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < applications; ++i) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (!application)
            continue;
        if (static_cast<pid_t>(atspi_accessible_get_process_id(application, nullptr)) == pid) {
            std::vector<AtspiAccessible*> queue{application};
            for (std::size_t next = 0; next < queue.size(); ++next) {
                AtspiAccessible* node = queue[next];
                if (atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_MENU_BAR) {
                    walk(node, counts);
                    break;
                }
                const int count = atspi_accessible_get_child_count(node, nullptr);
                for (int c = 0; c < count && queue.size() < 200; ++c)
                    if (AtspiAccessible* child = atspi_accessible_get_child_at_index(node, c, nullptr))
                        queue.push_back(child);
            }
            for (std::size_t n = 1; n < queue.size(); ++n)
                g_object_unref(queue[n]);
        }
        g_object_unref(application);
    }
    g_object_unref(desktop);
    return counts;
}

void BM_ReadMenuBar(benchmark::State& state)
{
    hb::MenuBarReader reader(accessibility, logger);
    std::size_t rows = 0;
    for (auto _ : state) {
        auto sections = reader.readMenuBar(hb::MenuReadOptions{.pid = mousepad});
        rows = 0;
        for (const auto& section : sections)
            rows += section.allShortcuts().size();
        benchmark::DoNotOptimize(sections);
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ReadMenuBar)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_NaiveWalk(benchmark::State& state)
{
    NaiveCounts counts;
    for (auto _ : state)
        counts = naiveWalk(mousepad);
    state.counters["nodes"] = counts.nodes;
    state.counters["bindings"] = counts.bindings;
}
BENCHMARK(BM_NaiveWalk)->Unit(benchmark::kMillisecond)->MinTime(3);

// Keeps each benchmark's time per read for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration)
                milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> milliseconds;
};

} // namespace

int main(int argc, char** argv)
{
    auto& session = hb::e2e::DesktopSession::shared();
    mousepad = session.launch({"mousepad"});
    if (!hb::e2e::DesktopSession::waitForMenuBar(accessibility, mousepad)) {
        std::fprintf(stderr, "mousepad shows no menu bar over AT-SPI\n");
        return EXIT_FAILURE;
    }

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double reader = reporter.milliseconds["BM_ReadMenuBar"];
    const double naive = reporter.milliseconds["BM_NaiveWalk"];
    if (reader > 0 && naive > 0)
        std::printf("menu reader %.2f ms, naive walk %.2f ms, reader/naive %.2f\n", reader, naive, reader / naive);
    session.stopApplication(mousepad);
    return EXIT_SUCCESS;
}
