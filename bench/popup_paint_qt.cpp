// The popup's list at 10,000 rows, drawn offscreen: from the read shortcuts to
// the first painted frame, and from one keystroke in the search field to the
// repainted frame.
#include "fake/memory_settings_domain.h"
#include "popup/popup_filter_model.h"
#include "popup/popup_layout.h"
#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/popup_window.h"
#include "popup/views/shortcut_columns_view.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_keys.h"

#include <benchmark/benchmark.h>

#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleFactory>

#include <algorithm>
#include <memory>
#include <string>

namespace {

QApplication& application()
{
    static int argc = 1;
    static char name[] = "bench_popup_paint_qt";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: destroyed among the static objects it would outlive Qt's own.
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* created = new QApplication(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        // On a desktop with the accessibility bus, the bridge connects once the event loop runs.
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
            QDeadlineTimer connected(3000);
            while (!QAccessible::isActive() && !connected.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return created;
    }();
    return *app;
}

// Menus of 250 rows: 150 own items with a separator every 10, four submenus of 25.
hb::AppShortcuts largeApplication(int rows)
{
    hb::AppShortcuts app;
    app.appName = "Large";
    int made = 0;
    for (int m = 0; made < rows; ++m) {
        hb::MenuSection menu;
        menu.title = "Menu " + std::to_string(m);
        hb::ShortcutGroup own;
        for (int r = 0; r < 150 && made < rows; ++r, ++made) {
            hb::Shortcut row = r % 10 == 9 ? hb::Shortcut::separator() : hb::Shortcut{};
            row.title = "Command " + std::to_string(made);
            row.keys = row.isSeparator ? "" : std::string(r % 3 ? "⌥⌘" : "⌘") + std::to_string(r % 10);
            own.shortcuts.push_back(std::move(row));
        }
        menu.groups.push_back(std::move(own));
        for (int g = 0; g < 4 && made < rows; ++g) {
            hb::ShortcutGroup submenu;
            submenu.title = "Submenu " + std::to_string(g);
            for (int r = 0; r < 25 && made < rows; ++r, ++made)
                submenu.shortcuts.push_back(
                    hb::Shortcut{.title = "Item " + std::to_string(made), .keys = "⌃⇧" + std::to_string(r % 10)});
            menu.groups.push_back(std::move(submenu));
        }
        app.sections.push_back(std::move(menu));
    }
    return app;
}

const hb::platform::Rect screen{{0, 0}, {2560, 1415}};

struct Showing {
    hb::fake::MemorySettingsDomain settings;
    hb::FavouritesStore favourites{settings};
    hb::IgnoreListStore ignoreList{settings};
    std::shared_ptr<hb::PopupFilterModel> model;
    std::unique_ptr<hb::views::PopupWindow> window{
        std::make_unique<hb::views::PopupWindow>(hb::PopupPanelEvents{}, settings)};
    QImage frame;

    Showing() { settings.set(hb::keys::showConflictIndicator, true); }

    // What the controller does before the panel is on screen, and the first frame.
    void show(const hb::AppShortcuts& app)
    {
        auto layout = hb::layout::layoutColumns(app, screen, true);
        model = std::make_shared<hb::PopupFilterModel>(app, layout.columns, false, settings, favourites, ignoreList);
        window->showShortcuts(model);
        const auto placed = hb::layout::panelFrame(layout, window->fittingHeight(layout.width));
        window->resize(int(placed.frame.size.width), int(placed.frame.size.height));
        paint();
    }

    void paint()
    {
        const qreal ratio = window->devicePixelRatioF();
        if (frame.size() != window->size() * ratio) {
            frame = QImage(window->size() * ratio, QImage::Format_ARGB32_Premultiplied);
            frame.setDevicePixelRatio(ratio);
        }
        frame.fill(Qt::transparent);
        window->render(&frame);
    }

    void type(int key, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(window->shortcutsView()->searchField(), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(window->shortcutsView()->searchField(), &release);
        paint();
    }
};

void firstFrame(benchmark::State& state)
{
    application();
    const auto app = largeApplication(int(state.range(0)));
    for (auto _ : state) {
        Showing showing;
        showing.show(app);
        benchmark::DoNotOptimize(showing.frame.constBits());
        state.PauseTiming();
        showing.window.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(firstFrame)->Arg(10000)->ArgNames({"rows"})->Unit(benchmark::kMillisecond)->Iterations(20);

// What a screen reader asks after a keystroke: the menus, and the first rows
// of the first one with their keys.
void readLikeAScreenReader(hb::views::ShortcutColumnsView* columns)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(columns);
    if (list->childCount() == 0)
        return;
    QAccessibleInterface* menu = list->child(0);
    for (int i = 0; i < std::min(20, menu->childCount()); ++i) {
        QAccessibleInterface* row = menu->child(i);
        benchmark::DoNotOptimize(row->text(QAccessible::Name));
        benchmark::DoNotOptimize(row->text(QAccessible::Description));
        benchmark::DoNotOptimize(row->state());
    }
}

// With `reader` 1, an assistive technology reads the list after each
// keystroke; run in a session with the accessibility bus on
// (QT_QPA_PLATFORM=xcb under scripts/session) for the bridge's part too.
void keystrokeToFrame(benchmark::State& state)
{
    application();
    const bool reader = state.range(1) != 0;
    Showing showing;
    showing.show(largeApplication(int(state.range(0))));
    showing.type(Qt::Key_I, "I");
    bool add = true;
    for (auto _ : state) {
        // "I" ⇄ "It": each keystroke changes the query and the drawn rows.
        if (add)
            showing.type(Qt::Key_T, "t");
        else
            showing.type(Qt::Key_Backspace, {});
        if (reader)
            readLikeAScreenReader(showing.window->shortcutsView()->columnsView());
        add = !add;
    }
    state.counters["drawnAfterLast"] = double(showing.model->visibleShortcuts().size());
    state.counters["accessibilityActive"] = QAccessible::isActive() ? 1 : 0;
}
BENCHMARK(keystrokeToFrame)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->ArgNames({"rows", "reader"})
    ->Unit(benchmark::kMillisecond);

} // namespace
