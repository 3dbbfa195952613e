#include "app/views/developer_settings_page.h"
#include "app/views/general_settings_page.h"
#include "app/views/hotkey_recorder_view.h"
#include "app/views/ignore_sheets.h"
#include "app/views/ignored_settings_page.h"
#include "app/views/settings_form.h"
#include "settings/settings_keys.h"
#include "settings_window_fixture.h"
#include "support/temporary_folder.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace hb::views {
namespace {

using test::optionCommandK;
using test::writeFile;

class SettingsWindowTest : public test::SettingsWindowFixture {
protected:
    SwitchButton* switchFor(QWidget& window, std::string_view key)
    {
        auto* found = window.findChild<SwitchButton*>(QString::fromUtf8(key.data(), qsizetype(key.size())));
        EXPECT_TRUE(found) << key;
        return found;
    }

    // The sheet opened last, with its field filled in.
    IgnoreRuleSheet* sheet(QWidget& window, const QString& text = {})
    {
        auto sheets = window.findChildren<IgnoreRuleSheet*>();
        EXPECT_FALSE(sheets.isEmpty());
        if (sheets.isEmpty())
            return nullptr;
        auto* found = sheets.back();
        if (found->field())
            found->field()->setText(text);
        return found;
    }

    void closeSheets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

// What each setting does once written is the settings model's test; each
// switch writes its own key, and the window shows what is written elsewhere.
TEST_F(SettingsWindowTest, SwitchesWriteTheirKeysAndShowTheRealState)
{
    SettingsWindow window(services());
    for (std::string_view key :
         {keys::doubleTapEnabled, keys::matchAppIconToTrigger, keys::automaticUpdateChecks, keys::showAllMenuItems,
          keys::requireFilterForAllMenuItems, keys::hideLargeSubmenus, keys::showSystemShortcuts,
          keys::showDeactivatedSystemShortcuts, keys::showThirdPartyShortcuts, keys::alwaysShowFavourites,
          keys::wrapLongSections, keys::receiveBetaUpdates, keys::receiveAlphaUpdates, keys::debugLoggingEnabled,
          keys::showConflictIndicator, keys::ignoreListEnabled, keys::ignoreListShowWhenFiltering}) {
        auto* control = switchFor(window, key);
        const bool was = control->isChecked();
        control->click();
        EXPECT_EQ(settings.boolean(key), !was) << key;
        EXPECT_EQ(control->isChecked(), !was) << key;
    }
    EXPECT_TRUE(doubleTap.isStarted()) << "through the model";
    EXPECT_TRUE(ignoreList.isEnabled());

    auto* login = switchFor(window, "launchAtLogin");
    loginService.failure = "denied";
    login->click();
    EXPECT_FALSE(login->isChecked()) << "refused: shows the real state";

    auto* labels = window.findChild<QComboBox*>(QString::fromUtf8(keys::keyLabels.data()));
    const int words = labels->currentIndex();
    labels->activated(labels->findData(int(notation::KeyLabels::symbols)));
    EXPECT_EQ(settings.object(keys::keyLabels), platform::PlistValue("symbols"));

    auto* feed = window.findChild<QLineEdit*>(QString::fromUtf8(keys::updateFeedAddress.data()));
    feed->setText(" http://127.0.0.1:8000/appcast.xml ");
    emit feed->editingFinished();
    EXPECT_EQ(settings.object(keys::updateFeedAddress), platform::PlistValue("http://127.0.0.1:8000/appcast.xml"));

    // What an import or synchronisation writes shows at once.
    settings.set(keys::keyLabels, "words");
    settings.set(keys::showAllMenuItems, false);
    EXPECT_EQ(labels->currentIndex(), words);
    EXPECT_FALSE(switchFor(window, keys::showAllMenuItems)->isChecked());
}

TEST_F(SettingsWindowTest, WithoutGlobalShortcutsTheHotKeySectionOffersTheCommandToBind)
{
    useHotkey(test::optionCommandK); // stored from an earlier session, but nothing delivers it here
    auto withoutPortal = services();
    withoutPortal.model.triggers = triggerAvailability(SessionKind::wayland, false);
    SettingsWindow window(std::move(withoutPortal));
    EXPECT_FALSE(switchFor(window, keys::doubleTapEnabled)->isEnabled());
    auto* recorder = window.findChild<HotkeyRecorderView*>();
    EXPECT_FALSE(recorder->recordButton()->isVisibleTo(&window));
    ASSERT_TRUE(recorder->commandField());
    recorder->copyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "hintboard toggle");
    EXPECT_FALSE(SettingsWindow(services()).findChild<HotkeyRecorderView*>()->commandField());
}

TEST_F(SettingsWindowTest, OneWindowWhileOpenAndClosingWhileRecordingRestoresTheHotkey)
{
    useHotkey(optionCommandK);
    SettingsWindowController controller(services());
    controller.show();
    SettingsWindow* window = controller.window();
    controller.show();
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(dockIcon.openCount(), 1);
    // Opened in the middle of the pointer's screen, inside its available area.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(area.contains(window->frameGeometry().topLeft())) << window->frameGeometry().x();
    EXPECT_LE(std::abs(window->frameGeometry().center().x() - area.center().x()), 2);

    auto* recorder = window->findChild<HotkeyRecorderView*>();
    recorder->recordButton()->click();
    EXPECT_FALSE(hotkeyService.registration());
    const QPointer<SettingsWindow> closed(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(closed);
    EXPECT_EQ(dockIcon.openCount(), 0);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(optionCommandK));
}

TEST_F(SettingsWindowTest, IgnoreSheetsAddRulesAndListsRemoveThem)
{
    workspace.launch(fake::application(10, "Terminal", "org.gnome.Terminal"));
    workspace.launch(fake::application(11, "Firefox", "org.mozilla.firefox"));
    ignoreList.addIgnoredApp("org.gnome.Terminal", "Terminal");
    SettingsWindow window(services());
    window.selectTab(SettingsWindow::Tab::ignored);

    button(window, "Ignore App…")->click();
    auto* apps = sheet(window);
    ASSERT_EQ(apps->appPicker()->count(), 1) << "only applications not ignored yet";
    apps->addButton()->click();
    EXPECT_EQ(ignoreList.ignoredApps().at("org.mozilla.firefox"), "Firefox");
    closeSheets();
    button(window, "Remove “Terminal”")->click();
    EXPECT_FALSE(ignoreList.ignoredApps().contains("org.gnome.Terminal"));

    // Per application: the picker starts at "Select an app…", which adds nothing.
    window.findChild<IgnoredSettingsPage*>()->setCommandScope(IgnoredSettingsPage::CommandScope::appSpecific);
    button(window, "Add App-Specific Rule…")->click();
    auto* appRule = sheet(window, "Print…");
    EXPECT_FALSE(appRule->addButton()->isEnabled());
    appRule->appPicker()->setCurrentIndex(appRule->appPicker()->findText("Firefox"));
    appRule->addButton()->click();
    EXPECT_EQ(ignoreList.patterns("org.mozilla.firefox").back(), "Print…");
    closeSheets();

    // Return adds, Escape cancels, blanks add nothing.
    window.findChild<IgnoredSettingsPage*>()->setCommandScope(IgnoredSettingsPage::CommandScope::allApps);
    button(window, "Add Global Rule…")->click();
    auto* typed = sheet(window, "   ");
    EXPECT_FALSE(typed->addButton()->isEnabled());
    QTest::keyClicks(typed->field(), "Typed");
    QTest::keyClick(typed->field(), Qt::Key_Return);
    closeSheets();
    button(window, "Add Global Rule…")->click();
    QTest::keyClicks(sheet(window)->field(), "Dropped");
    QTest::keyClick(sheet(window)->field(), Qt::Key_Escape);
    closeSheets();
    EXPECT_EQ(ignoreList.globalTitles(), std::vector<std::string>{"Typed"});
}

// Which files fail is the backup's test; here the window reports failures.
TEST_F(SettingsWindowTest, BackupsThatFailAreReportedAndChangeNothing)
{
    test::TemporaryFolder folder;
    settings.set(keys::showAllMenuItems, true);
    const auto before = settings.allValues();
    writeFile(folder.path() / "text.hintboardsettings", "not a property list");
    SettingsWindow window(services());
    dialogs->importFile = folder.path() / "text.hintboardsettings";
    button(window, "Import Settings…")->click();
    // Below a regular file nothing can be created, even as root.
    dialogs->exportFile = folder.path() / "text.hintboardsettings" / "Hintboard Settings.hintboardsettings";
    button(window, "Export Settings…")->click();
    EXPECT_EQ(dialogs->alertMessages(), (std::vector<QString>{"Import Failed", "Export Failed"}));
    EXPECT_EQ(settings.allValues(), before);
    // The good path, export, import and relaunch, is the end-to-end backup test's.
}

TEST_F(SettingsWindowTest, SyncNeedsAFolderAndAsksWhenTheFolderIsNewer)
{
    SettingsWindow window(services());
    auto* sync = switchFor(window, keys::iCloudSyncEnabled);
    sync->click(); // the folder chooser is cancelled
    EXPECT_FALSE(sync->isChecked());
    EXPECT_TRUE(syncCalls.empty());

    dialogs->syncFolder = "/tmp/sync-a";
    sync->click();
    EXPECT_EQ(settings.object(keys::syncFolderPath), platform::PlistValue(std::string("/tmp/sync-a")));
    EXPECT_EQ(syncCalls, std::vector<bool>{true});

    // Another folder holding newer settings: the user keeps the local ones.
    remoteIsNewer = true;
    dialogs->syncFolder = "/tmp/sync-b";
    dialogs->answers = {"Keep Local Settings"};
    button(window, "Change…")->click();
    EXPECT_EQ(syncCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(syncActions, std::vector<std::string>{"keep local"});
    EXPECT_TRUE(sync->isChecked());

    window.selectTab(SettingsWindow::Tab::developer);
    dialogs->answers = {"Clear Synced Settings"};
    button(window, "Clear Synced Settings…")->click();
    EXPECT_EQ(syncActions.back(), "clear");
}

} // namespace
} // namespace hb::views
