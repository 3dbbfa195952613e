// From a trigger to the first content in the panel, over a scripted
// application whose menus are not cached: the read, the layout, the filter
// model and the panel's frame. The panel only records; drawing is the views'.
#include "fake/fake_accessibility.h"
#include "fake/fake_event_monitors.h"
#include "fake/fake_screens.h"
#include "fake/fake_workspace.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "menus/menu_bar_reader.h"
#include "popup/popup_controller.h"
#include "settings/settings_keys.h"

#include <benchmark/benchmark.h>

#include <array>
#include <stdexcept>
#include <string>

namespace {

using namespace hb;

class CountingPanel : public PopupPanel {
public:
    explicit CountingPanel(int& shown) : shown_(shown) {}
    void showPermissionRequest() override {}
    void showNoApp() override {}
    void showNoShortcuts(const std::string&) override {}
    void showNotAnswering(const std::string&) override {}
    void showShortcuts(std::shared_ptr<PopupFilterModel> model) override { rows_ = model->visibleShortcuts().size(); }
    // About what the list needs: one row height per visible row, over four columns.
    double fittingHeight(double) override { return 120 + 21.0 * double(rows_) / 4; }
    void setFrame(const platform::Rect&) override {}
    bool isVisible() const override { return visible_; }
    bool hasKeyboard() const override { return visible_; }
    void fadeIn(platform::Seconds) override
    {
        visible_ = true;
        ++shown_;
    }
    void fadeOut(platform::Seconds) override {}
    void orderOut() override { visible_ = false; }

private:
    int& shown_;
    std::size_t rows_ = 0;
    bool visible_ = false;
};

constexpr std::array letters{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                             "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z"};

// `menus` menus of `items` items, every third without a key equivalent and a
// submenu of ten in each menu.
std::vector<fake::FakeItem> menuBar(int menus, int items)
{
    std::vector<fake::FakeItem> bar;
    for (int m = 0; m < menus; ++m) {
        std::vector<fake::FakeItem> entries;
        for (int i = 0; i < items; ++i) {
            const auto title = "Command " + std::to_string(m) + "." + std::to_string(i);
            if (i % 3 == 2)
                entries.push_back(fake::item(title));
            else
                entries.push_back(fake::item(title, letters[std::size_t(i) % letters.size()], i % 4));
            if (i % 10 == 9)
                entries.push_back(fake::separator());
        }
        std::vector<fake::FakeItem> submenu;
        for (int i = 0; i < 10; ++i)
            submenu.push_back(fake::item("Nested " + std::to_string(i), letters[std::size_t(i)], 1));
        entries.push_back(fake::submenu("More", std::move(submenu)));
        bar.push_back(fake::menu("Menu " + std::to_string(m), std::move(entries)));
    }
    return bar;
}

struct Desktop {
    fake::VirtualRuntime runtime;
    fake::FakeAccessibility accessibility;
    fake::FakeWorkspace workspace;
    fake::FakeScreens screens;
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    FrontmostAppMonitor frontmost{workspace, 1};
    IgnoreListStore ignoreList{settings};
    FavouritesStore favourites{settings};
    MenuBarReader reader{accessibility, log};
    CachedMenuReader menuReader{
        CachedMenuReader::menuBarReads(reader), runtime, runtime, runtime, accessibility, settings, ignoreList};
    int shown = 0;
    PopupController popup{PopupDependencies{
        .accessibility = accessibility,
        .workspace = workspace,
        .screens = screens,
        .eventMonitors = monitors,
        .clock = runtime,
        .mainQueue = runtime,
        .background = runtime,
        .settings = settings,
        .log = log,
        .frontmostMonitor = frontmost,
        .menuReader = menuReader,
        .favourites = favourites,
        .ignoreList = ignoreList,
        .extraSections = [](bool, bool) { return std::vector<MenuSection>{}; },
        .makePanel = [this](PopupPanelEvents) { return std::make_unique<CountingPanel>(shown); },
    }};

    Desktop(int menus, int items)
    {
        screens.addScreen({{0, 0}, {1920, 1080}}, 25);
        accessibility.addApplication(100, menuBar(menus, items));
        workspace.activate(fake::application(100, "Editor", "org.example.editor"));
    }
};

void showPopup(benchmark::State& state, bool allItems)
{
    Desktop desktop(int(state.range(0)), int(state.range(1)));
    desktop.settings.set(keys::showAllMenuItems, allItems);
    for (auto _ : state) {
        const int before = desktop.shown;
        desktop.popup.togglePopup();
        desktop.runtime.runUntilIdle();
        if (desktop.shown != before + 1)
            throw std::logic_error("the popup did not show");

        state.PauseTiming();
        desktop.popup.hide();
        desktop.runtime.advance(CachedMenuReader::freshness + platform::Seconds(1)); // the entry goes stale
        state.ResumeTiming();
    }
    state.counters["rows"] = double(desktop.popup.filterModel()->totalCount());
}

void BM_TriggerToShownContent(benchmark::State& state)
{
    showPopup(state, false);
}
void BM_TriggerToShownContentAllItems(benchmark::State& state)
{
    showPopup(state, true);
}

// The share of the popup after the read: layout, filter model, panel frame.
void BM_ShowReadContent(benchmark::State& state)
{
    Desktop desktop(int(state.range(0)), int(state.range(1)));
    desktop.popup.showPopup();
    desktop.runtime.runUntilIdle();
    const AppShortcuts app = desktop.popup.filterModel()->app();
    for (auto _ : state) {
        desktop.popup.show(app);
        benchmark::DoNotOptimize(desktop.popup.filterModel());
    }
}

// A typical editor (10 menus of 30) and a large application (40 menus of 250).
BENCHMARK(BM_TriggerToShownContent)->Args({10, 30})->Args({40, 250})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TriggerToShownContentAllItems)->Args({10, 30})->Args({40, 250})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowReadContent)->Args({10, 30})->Args({40, 250})->Unit(benchmark::kMillisecond);

} // namespace
