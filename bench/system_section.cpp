// Building the "System" section from the preference files, as every popup
// opening with system shortcuts on does: the real files of ../shared/testdata
// when present, in a temporary home folder.
#include "platform/fake/scripted_symbolic_hotkeys.h"
#include "sources/system_shortcuts.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

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

} // namespace
