// One keystroke in the search field over a large application: 10,000 rows in
// 40 menus, about 15 % pinned and 15 % hidden by ignore patterns. Rows come
// with their texts folded, as the menu reader gives them, unless asked not to.
#include "popup/popup_filter_model.h"

#include "fake/memory_settings_domain.h"
#include "settings/settings_keys.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

using namespace hb;

constexpr int menuCount = 40;
constexpr int groupsPerMenu = 5;
constexpr int rowsPerGroup = 50;

constexpr std::array words{"Copy",   "Paste", "Open",   "Close",  "Save",      "Export", "Zoom",
                           "Rotate", "Align", "Insert", "Delete", "Duplicate", "Format", "Select",
                           "Move",   "Show",  "Hide",   "Toggle", "Print",     "Café"};
constexpr std::array keys{"⌘C", "⇧⌘V", "⌥⌘O", "⌃⌘W", "⌘S", "⇧⌘E", "⌃Z", "⌥R", "⌃⌥⇧⌘A", "F5"};

struct Content {
    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
    std::unique_ptr<PopupFilterModel> model;

    explicit Content(bool foldedAsRead = true)
    {
        settings.set(keys::alwaysShowFavourites, true);
        settings.set(keys::showConflictIndicator, true);
        ignoreList.addGlobalRule("Hidden *");
        ignoreList.setEnabled(true);
        ignoreList.setShowWhenFiltering(true);

        AppShortcuts app;
        app.appName = "Big";
        app.bundleIdentifier = "org.example.big";
        int n = 0;
        for (int m = 0; m < menuCount; ++m) {
            MenuSection section;
            section.title = "Menu " + std::to_string(m);
            for (int g = 0; g < groupsPerMenu; ++g) {
                ShortcutGroup group;
                if (g > 0)
                    group.title = "Submenu " + std::to_string(g);
                for (int r = 0; r < rowsPerGroup; ++r, ++n) {
                    Shortcut row;
                    const bool hidden = n % 7 == 3; // about 15 %
                    row.title =
                        std::string(hidden ? "Hidden " : "") + words[n % words.size()] + " Item " + std::to_string(n);
                    row.keys = keys[n % keys.size()];
                    if (foldedAsRead)
                        row.foldTexts();
                    group.shortcuts.push_back(std::move(row));
                }
                section.groups.push_back(std::move(group));
            }
            app.sections.push_back(std::move(section));
        }
        platform::PlistArray pinned;
        int index = 0;
        for (const auto& section : app.sections)
            for (const auto& group : section.groups)
                for (const auto& row : group.shortcuts)
                    if (index++ % 7 == 5)
                        pinned.emplace_back(FavouritesStore::identity(row, *app.bundleIdentifier));
        settings.set(keys::pinnedShortcuts, std::move(pinned));
        favourites.reload();

        PopupFilterModel::Columns columns(4);
        for (std::size_t i = 0; i < app.sections.size(); ++i)
            columns[i * columns.size() / app.sections.size()].push_back(app.sections[i]);
        model = std::make_unique<PopupFilterModel>(std::move(app), std::move(columns), false, settings, favourites,
                                                   ignoreList);
    }
};

// Typing one more letter, then taking it back: each call is one keystroke.
void BM_Keystroke(benchmark::State& state)
{
    Content content;
    const std::array queries{"co", "cop"};
    std::size_t i = 0;
    for (auto _ : state) {
        content.model->setQuery(queries[i++ % queries.size()]);
        benchmark::DoNotOptimize(content.model->visibleShortcuts().data());
    }
    state.counters["visible"] = static_cast<double>(content.model->visibleShortcuts().size());
}
BENCHMARK(BM_Keystroke)->Unit(benchmark::kMicrosecond);

// Holding or releasing a modifier key.
void BM_ModifierChange(benchmark::State& state)
{
    Content content;
    std::size_t i = 0;
    for (auto _ : state) {
        content.model->setHeldModifiers(i++ % 2 ? PopupFilterModel::ModifierSet{"⌘"} : PopupFilterModel::ModifierSet{});
        benchmark::DoNotOptimize(content.model->visibleShortcuts().data());
    }
}
BENCHMARK(BM_ModifierChange)->Unit(benchmark::kMicrosecond);

// Creating the model for the content, once per showing.
void BM_Creation(benchmark::State& state)
{
    Content content(state.range(0) != 0);
    const auto& model = *content.model;
    for (auto _ : state) {
        PopupFilterModel fresh(model.app(), model.columns(), false, content.settings, content.favourites,
                               content.ignoreList);
        benchmark::DoNotOptimize(fresh.visibleShortcuts().data());
    }
}
BENCHMARK(BM_Creation)->Arg(1)->Arg(0)->ArgNames({"foldedAsRead"})->Unit(benchmark::kMillisecond);

// What the menu reader adds to a read of the same rows by folding them.
void BM_FoldingRowsOnRead(benchmark::State& state)
{
    Content content(false);
    auto sections = content.model->app().sections;
    for (auto _ : state) {
        for (auto& section : sections)
            for (auto& group : section.groups)
                for (auto& row : group.shortcuts)
                    row.foldTexts();
        benchmark::DoNotOptimize(sections.data());
    }
}
BENCHMARK(BM_FoldingRowsOnRead)->Unit(benchmark::kMillisecond);

} // namespace
