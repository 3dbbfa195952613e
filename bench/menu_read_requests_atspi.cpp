// Where a menu read's time goes: the menu reader against a naive walk over
// mousepad (GTK 3), FeatherPad (Qt 5), LibreOffice Writer (GTK 3 with two
// menu bars), kwrite with a document open (Qt 5 with KDE Frameworks) and
// Qt 6 Designer, each already running, with the accessibility requests per
// read and per row beside the time.
//
//   build/bench/bench_menu_read_requests_atspi [--benchmark_filter=…]
#include "../tests/e2e/desktop_session.h"

#include "fake/memory_log.h"
#include "linux/atspi_accessibility.h"
#include "menus/menu_bar_reader.h"

#include <atspi/atspi.h>
#include <benchmark/benchmark.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

hb::fake::MemoryLogSink sink;
hb::platform::Log logger(sink, [] { return false; });
hb::linux_platform::AtspiAccessibility accessibility(logger);

struct Application {
    std::string name;
    pid_t pid = -1;      // the process whose menus are read
    pid_t launched = -1; // the process the session started
};

// Requests of the naive walk: every libatspi call that asks the application.
struct NaiveCounts {
    long requests = 0;
    long nodes = 0;
};

void walk(AtspiAccessible* node, NaiveCounts& counts)
{
    ++counts.nodes;
    g_free(atspi_accessible_get_name(node, nullptr));
    atspi_accessible_get_role(node, nullptr);
    counts.requests += 2;
    if (AtspiAction* action = atspi_accessible_get_action_iface(node)) {
        g_free(atspi_action_get_key_binding(action, 0, nullptr));
        ++counts.requests;
        g_object_unref(action);
    }
    const int count = atspi_accessible_get_child_count(node, nullptr);
    ++counts.requests;
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        ++counts.requests;
        if (child) {
            walk(child, counts);
            g_object_unref(child);
        }
    }
}

// The application by process id, then the first menu bar breadth first, walked whole.
NaiveCounts naiveWalk(pid_t pid)
{
    NaiveCounts counts;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const int applications = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < applications; ++i) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (!application)
            continue;
        counts.requests += 2;
        if (static_cast<pid_t>(atspi_accessible_get_process_id(application, nullptr)) == pid) {
            std::vector<AtspiAccessible*> queue{application};
            for (std::size_t next = 0; next < queue.size(); ++next) {
                AtspiAccessible* node = queue[next];
                ++counts.requests;
                if (atspi_accessible_get_role(node, nullptr) == ATSPI_ROLE_MENU_BAR) {
                    walk(node, counts);
                    break;
                }
                const int count = atspi_accessible_get_child_count(node, nullptr);
                ++counts.requests;
                for (int c = 0; c < count && queue.size() < 200; ++c, ++counts.requests)
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

std::size_t rowCount(const std::vector<hb::MenuSection>& sections)
{
    std::size_t rows = 0;
    for (const auto& section : sections)
        rows += section.allShortcuts().size();
    return rows;
}

struct Result {
    double readerMs = 0, naiveMs = 0;
    double readerRequests = 0, naiveRequests = 0, rows = 0, nodes = 0;
};
std::map<std::string, Result> results;

void readWithReader(benchmark::State& state, const Application& app)
{
    hb::MenuBarReader reader(accessibility, logger);
    std::size_t rows = 0;
    const auto before = accessibility.requestCount();
    for (auto _ : state) {
        auto sections = reader.readMenuBar(hb::MenuReadOptions{.pid = app.pid, .includeAll = true});
        rows = rowCount(sections);
        benchmark::DoNotOptimize(sections);
    }
    const double requests = static_cast<double>(accessibility.requestCount() - before) / state.iterations();
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["requests"] = requests;
    state.counters["requests/row"] = rows ? requests / rows : 0;
    results[app.name].readerRequests = requests;
    results[app.name].rows = static_cast<double>(rows);
}

void readWithNaiveWalk(benchmark::State& state, const Application& app)
{
    NaiveCounts counts;
    for (auto _ : state)
        counts = naiveWalk(app.pid);
    state.counters["nodes"] = static_cast<double>(counts.nodes);
    state.counters["requests"] = static_cast<double>(counts.requests);
    results[app.name].naiveRequests = static_cast<double>(counts.requests);
    results[app.name].nodes = static_cast<double>(counts.nodes);
}

class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const auto& name = run.run_name.function_name; // "reader/mousepad"
            const auto slash = name.find('/');
            auto& result = results[name.substr(slash + 1)];
            (name.starts_with("reader") ? result.readerMs : result.naiveMs) = run.GetAdjustedRealTime();
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    using hb::e2e::DesktopSession;
    auto& session = DesktopSession::shared();
    std::vector<Application> apps;
    auto start = [&](std::string name, std::vector<std::string> arguments, std::map<std::string, std::string> env,
                     const char* child) {
        Application app{std::move(name)};
        app.launched = session.launch(arguments, env);
        if (app.launched <= 0)
            return; // not installed
        DesktopSession::waitUntil(
            [&] {
                app.pid = child ? DesktopSession::childOf(app.launched, child) : app.launched;
                const auto element = accessibility.applicationElement(app.pid);
                accessibility.setMessagingTimeout(element, std::chrono::seconds(1));
                return app.pid > 0 && DesktopSession::waitForMenuBar(accessibility, app.pid, {});
            },
            std::chrono::seconds(60));
        apps.push_back(app);
    };
    start("mousepad", {"mousepad", "--disable-server"}, {}, nullptr);
    start("featherpad", {"featherpad"}, {}, nullptr);
    start("libreoffice-writer",
          {"libreoffice", "-env:UserInstallation=file://" + session.folder() + "/libreoffice-profile", "--norestore",
           "--nologo", "--writer"},
          {{"SAL_USE_VCLPLUGIN", "gtk3"}}, "soffice.bin");
    const std::string document = session.folder() + "/bench-notes.txt";
    std::FILE* file = std::fopen(document.c_str(), "w");
    if (file) {
        std::fputs("first line\nsecond line\n", file);
        std::fclose(file);
    }
    start("kwrite", {"kwrite", document}, {}, nullptr);
    start("designer", {"/usr/lib/qt6/bin/designer"}, {}, nullptr);

    for (const auto& app : apps) {
        benchmark::RegisterBenchmark(("reader/" + app.name).c_str(), readWithReader, app)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2);
        benchmark::RegisterBenchmark(("naive/" + app.name).c_str(), readWithNaiveWalk, app)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2);
    }
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-20s %6s %10s %9s %8s %10s %9s\n", "application", "rows", "reader ms", "requests", "naive ms",
                "requests", "speed-up");
    for (const auto& [name, r] : results)
        std::printf("%-20s %6.0f %10.2f %9.0f %8.2f %10.0f %8.1fx\n", name.c_str(), r.rows, r.readerMs,
                    r.readerRequests, r.naiveMs, r.naiveRequests, r.readerMs > 0 ? r.naiveMs / r.readerMs : 0);

    for (const auto& app : apps) {
        if (app.pid != app.launched && app.pid > 0)
            kill(app.pid, SIGTERM);
        DesktopSession::waitUntil([&] { return kill(app.pid, 0) != 0; }, std::chrono::seconds(10));
        session.stopApplication(app.launched);
    }
    return EXIT_SUCCESS;
}
