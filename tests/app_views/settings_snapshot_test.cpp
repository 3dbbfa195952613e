// Renders each settings tab to PNG files for a look at them, in a light and a
// dark palette. The pictures are written when HINTBOARD_SNAPSHOT_DIR names a
// folder; without it the tabs are still rendered and checked for being drawn.
#include "settings_window_fixture.h"

#include "app/views/ignore_sheets.h"
#include "app/views/ignored_settings_page.h"
#include "settings/settings_keys.h"

#include <QDir>
#include <QImage>
#include <QSet>

namespace hb::views {
namespace {

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x37));
    p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return p;
}

int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

class SettingsSnapshots : public test::SettingsWindowFixture, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        saved_ = QApplication::palette();
        if (GetParam())
            QApplication::setPalette(darkPalette());
    }
    void TearDown() override { QApplication::setPalette(saved_); }

    void snap(QWidget& window, const QString& name)
    {
        QApplication::processEvents();
        const QImage image = window.grab().toImage();
        EXPECT_GT(colourCount(image), 8) << name.toStdString();
        const QString folder = qEnvironmentVariable("HINTBOARD_SNAPSHOT_DIR");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        const QString file = QDir(folder).filePath(name + (GetParam() ? "-dark" : "-light") + ".png");
        EXPECT_TRUE(image.save(file)) << file.toStdString();
    }

    QPalette saved_;
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
