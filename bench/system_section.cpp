// Building the "System" section from the preference files, as every popup
// opening with system shortcuts on does: the real files of ../shared/testdata
// when present, in a temporary home folder.
#include "fake/memory_log.h"
#include "fake/scripted_symbolic_hotkeys.h"
#include "sources/desktop_shortcuts.h"
#include "sources/system_shortcuts.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Home {
    fs::path path;
    bool ready = false;

    Home()
    {
        const fs::path testdata = HINTBOARD_SOURCE_DIR "/../shared/testdata/preferences";
        std::string pattern = (fs::temp_directory_path() / "hintboard-bench-XXXXXX").string();
        if (!fs::is_directory(testdata) || !mkdtemp(pattern.data()))
            return;
        path = pattern;
        const auto preferences = path / "Library/Preferences";
        fs::create_directories(preferences);
        fs::copy_file(testdata / "symbolichotkeys-binary.plist", preferences / "com.apple.symbolichotkeys.plist");
        fs::copy_file(testdata / "globalpreferences-key-equivalents.plist", preferences / ".GlobalPreferences.plist");
        ready = true;
    }
    ~Home()
    {
        std::error_code ignored;
        if (!path.empty())
            fs::remove_all(path, ignored);
    }
};

void BM_SystemSectionFromRealFiles(benchmark::State& state)
{
    static Home home;
    if (!home.ready) {
        state.SkipWithError("no real preference files in ../shared/testdata");
        return;
    }
    hb::fake::ScriptedSymbolicHotKeys noDesktop;
    const hb::UserFolders folders{home.path, {}};
    for (auto _ : state)
        benchmark::DoNotOptimize(hb::systemShortcutSection(noDesktop, folders));
}
BENCHMARK(BM_SystemSectionFromRealFiles)->Unit(benchmark::kMicrosecond);

// The desktops' configuration files, parsed on every popup opening.
void BM_KdeGlobalShortcuts(benchmark::State& state)
{
    // About as many actions as a Plasma session registers.
    std::string file;
    for (int component = 0; component < 20; ++component) {
        file += "[component" + std::to_string(component) + "]\n_k_friendly_name=Component " + std::to_string(component)
                + "\n";
        for (int action = 0; action < 15; ++action)
            file += "Action " + std::to_string(action) + "=Meta+Ctrl+" + std::to_string(action % 10) + "\\tAlt+F"
                    + std::to_string(action + 1) + ",none,Do thing " + std::to_string(action) + "\n";
    }
    hb::fake::MemoryLogSink sink;
    hb::platform::Log log(sink, [] { return false; });
    for (auto _ : state)
        benchmark::DoNotOptimize(hb::desktop_config::kdeGlobalShortcuts(file, log));
}
BENCHMARK(BM_KdeGlobalShortcuts)->Unit(benchmark::kMicrosecond);

void BM_OpenboxKeybindings(benchmark::State& state)
{
    std::ifstream stream("/etc/xdg/openbox/rc.xml", std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(stream), {}};
    if (file.empty()) {
        state.SkipWithError("no /etc/xdg/openbox/rc.xml");
        return;
    }
    hb::fake::MemoryLogSink sink;
    hb::platform::Log log(sink, [] { return false; });
    for (auto _ : state)
        benchmark::DoNotOptimize(hb::desktop_config::openboxKeybindings(file, log));
}
BENCHMARK(BM_OpenboxKeybindings)->Unit(benchmark::kMicrosecond);

} // namespace
