// Renders each settings tab to PNG files for a look at them, in a light and a
// dark palette. The pictures are written when HINTBOARD_SNAPSHOT_DIR names a
// folder; without it the tabs are still rendered and checked for being drawn.
#include "settings_window_fixture.h"

#include "app/views/ignore_sheets.h"
#include "app/views/ignored_settings_page.h"
#include "settings/settings_keys.h"
#include "support/snapshots.h"

#include <QImage>

namespace hb::views {
namespace {

class SettingsSnapshots : public test::SettingsWindowFixture, public testing::WithParamInterface<bool> {
protected:
    void snap(QWidget& window, const QString& name) { palette.snap(window, name); }

    test::PaletteSnapshots palette{GetParam()};
};

TEST_P(SettingsSnapshots, EveryTab)
{
    useHotkey(test::optionCommandK);
    settings.set(keys::doubleTapEnabled, true);
    settings.set(keys::showAllMenuItems, true);
    settings.set(keys::iCloudSyncEnabled, true);
    settings.set(keys::syncFolderPath, QDir::homePath().toStdString() + "/Sync/Hintboard");
    ignoreList.addIgnoredApp("org.gnome.Terminal", "Terminal");
    ignoreList.addAppRule("Print…", "org.mozilla.firefox", "Firefox");
    ignoreList.addAppRule("*Bookmark*", "org.mozilla.firefox", "Firefox");

    SettingsWindow window(services());
    window.show();
    const char* names[] = {"general", "popup", "ignored", "developer"};
    for (int tab = 0; tab < 4; ++tab) {
        window.selectTab(SettingsWindow::Tab(tab));
        window.finishResize();
        snap(window, QStringLiteral("settings-%1").arg(names[tab]));
    }
    auto* page = window.findChild<IgnoredSettingsPage*>();
    ASSERT_TRUE(page);
    page->setCommandScope(IgnoredSettingsPage::CommandScope::appSpecific);
    window.selectTab(SettingsWindow::Tab::ignored);
    QApplication::processEvents();
    window.finishResize();
    snap(window, "settings-ignored-per-app");

    workspace.launch(fake::application(11, "Firefox", "org.mozilla.firefox"));
    auto* sheet = page->openAppRuleSheet();
    sheet->adjustSize();
    snap(*sheet, "settings-sheet-app-rule");
    sheet->reject();

    window.selectTab(SettingsWindow::Tab::general);
    window.finishResize();
    window.model().startRecording();
    snap(window, "settings-general-recording");
    hotkeyService.holdElsewhere(3, 0x1100);
    monitors.pressKey({3, platform::modifier_flags::control | platform::modifier_flags::command, "f"});
    snap(window, "settings-general-refused");
}

INSTANTIATE_TEST_SUITE_P(Palettes, SettingsSnapshots, testing::Bool(),
                         [](const auto& info) { return info.param ? "dark" : "light"; });

} // namespace
} // namespace hb::views
