// From a trigger to the first painted frame of the popup over mousepad in a
// private desktop session: the popup controller with the real accessibility
// layer, the Qt runtime and the popup window. Once with the menus cached (the
// application was pre-read on activation), once reading them anew.
#include "../tests/e2e/desktop_session.h"

#include "fake/fake_event_monitors.h"
#include "fake/fake_workspace.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "linux/atspi_accessibility.h"
#include "linux/qt/qt_runtime.h"
#include "linux/qt/qt_screens.h"
#include "menus/menu_bar_reader.h"
#include "menus/menu_cache.h"
#include "popup/popup_controller.h"
#include "popup/views/popup_window.h"

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace hb;

pid_t mousepad = 0;

struct Popup {
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    linux_platform::AtspiAccessibility accessibility{log};
    linux_platform::QtRuntime runtime;
    linux_platform::QtScreens screens;
    fake::FakeWorkspace workspace;
    fake::FakeEventMonitors monitors;
    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
    MenuBarReader reader{accessibility, log};
    std::unique_ptr<CachedMenuReader> menus;
    std::unique_ptr<FrontmostAppMonitor> frontmost;
    std::unique_ptr<PopupController> controller;
    QWidget* window = nullptr;

    Popup()
    {
        workspace.setFrontmost(fake::application(mousepad, "Mousepad", "org.xfce.mousepad"));
        frontmost = std::make_unique<FrontmostAppMonitor>(workspace);
        menus = std::make_unique<CachedMenuReader>(CachedMenuReader::menuBarReads(reader), runtime, runtime, runtime,
                                                   accessibility, settings, ignoreList);
        auto makeWindow = views::PopupWindow::factory(settings);
        controller =
            std::make_unique<PopupController>(PopupDependencies{.accessibility = accessibility,
                                                                .workspace = workspace,
                                                                .screens = screens,
                                                                .eventMonitors = monitors,
                                                                .clock = runtime,
                                                                .mainQueue = runtime,
                                                                .background = runtime,
                                                                .settings = settings,
                                                                .log = log,
                                                                .frontmostMonitor = *frontmost,
                                                                .menuReader = *menus,
                                                                .favourites = favourites,
                                                                .ignoreList = ignoreList,
                                                                .extraSections = {},
                                                                .makePanel =
                                                                    [this, makeWindow](PopupPanelEvents events) {
                                                                        auto panel = makeWindow(std::move(events));
                                                                        window = dynamic_cast<QWidget*>(panel.get());
                                                                        return panel;
                                                                    },
                                                                .openAddress = {},
                                                                .quit = {}});
    }

    // The trigger, then the main loop until the popup is on screen, then its first frame.
    void showAndPaint()
    {
        controller->togglePopup();
        while (!controller->isVisible())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        window->repaint();
    }

    void hide()
    {
        controller->hide();
        while (controller->hasPanel())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

std::unique_ptr<Popup> popup;

void BM_TriggerToFrameWithCachedMenus(benchmark::State& state)
{
    popup->menus->precache(*popup->frontmost->frontmostApp());
    popup->showAndPaint(); // waits for the pre-read
    popup->hide();
    for (auto _ : state) {
        popup->showAndPaint();
        state.PauseTiming();
        popup->hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TriggerToFrameWithCachedMenus)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_TriggerToFrameReadingTheMenus(benchmark::State& state)
{
    for (auto _ : state) {
        // A popup of its own, whose cache is empty.
        state.PauseTiming();
        auto fresh = std::make_unique<Popup>();
        state.ResumeTiming();
        fresh->showAndPaint();
        state.PauseTiming();
        fresh->hide();
        fresh.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TriggerToFrameReadingTheMenus)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    auto& session = hb::e2e::DesktopSession::shared();
    mousepad = session.launch({"mousepad"});
    // As the application does: the Qt loop leaves GLib's context to libatspi.
    qputenv("QT_NO_GLIB", "1");
    QApplication application(argc, argv);
    popup = std::make_unique<Popup>();
    if (!hb::e2e::DesktopSession::waitForMenuBar(popup->accessibility, mousepad)) {
        std::fprintf(stderr, "mousepad shows no menu bar over AT-SPI\n");
        return EXIT_FAILURE;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    popup.reset();
    return 0;
}
