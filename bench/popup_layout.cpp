#include "popup/popup_layout.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// 40 menus of 250 rows each: 150 own items with a separator every 10 rows,
// and four submenus of 25.
hb::AppShortcuts largeApplication()
{
    hb::AppShortcuts app;
    app.appName = "Large";
    for (int m = 0; m < 40; ++m) {
        hb::MenuSection section;
        section.title = "Menu " + std::to_string(m);
        hb::ShortcutGroup own;
        for (int r = 0; r < 150; ++r) {
            hb::Shortcut row = r % 10 == 9 ? hb::Shortcut::separator() : hb::Shortcut{};
            row.title = "Command " + std::to_string(r);
            row.keys = row.isSeparator ? "" : "⌘" + std::to_string(r % 10);
            own.shortcuts.push_back(std::move(row));
        }
        section.groups.push_back(std::move(own));
        for (int g = 0; g < 4; ++g) {
            hb::ShortcutGroup submenu;
            submenu.title = "Submenu " + std::to_string(g);
            for (int r = 0; r < 25; ++r) {
                hb::Shortcut row;
                row.title = "Item " + std::to_string(r);
                row.keys = "⌥⌘" + std::to_string(r % 10);
                submenu.shortcuts.push_back(std::move(row));
            }
            section.groups.push_back(std::move(submenu));
        }
        app.sections.push_back(std::move(section));
    }
    return app;
}

void layoutWithWrapping(benchmark::State& state)
{
    auto app = largeApplication();
    app.includesItemsWithoutShortcuts = state.range(0) != 0;
    const hb::platform::Rect screen{{0, 0}, {2560, 1415}};
    std::size_t columns = 0;
    for (auto _ : state) {
        auto layout = hb::layout::layoutColumns(app, screen, true);
        columns = layout.columns.size();
        benchmark::DoNotOptimize(layout);
    }
    state.counters["columns"] = double(columns);
}
BENCHMARK(layoutWithWrapping)
    ->Arg(0)
    ->Arg(1)
    ->ArgNames({"includesItemsWithoutShortcuts"})
    ->Unit(benchmark::kMillisecond);

} // namespace
