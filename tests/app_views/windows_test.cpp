#include "app/views/developer_settings_page.h"
#include "app/views/general_settings_page.h"
#include "app/views/hotkey_recorder_view.h"
#include "app/views/ignore_sheets.h"
#include "app/views/ignored_settings_page.h"
#include "app/views/settings_form.h"
#include "app/views/update_dialog.h"
#include "app/views/welcome_window.h"
#include "fake/fake_accessibility.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "settings_window_fixture.h"
#include "support/accessible_walk.h"
#include "support/snapshots.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

namespace hb::views {
namespace {

namespace flags = platform::modifier_flags;
using test::optionCommandK;
using test::writeFile;

// Whether a label of `page` on show reads `text`.
bool shows(QWidget* page, const QString& text)
{
    for (const auto* label : page->findChildren<QLabel*>())
        if (label->isVisible() && label->text() == text)
            return true;
    return false;
}

class SettingsWindowTest : public test::SettingsWindowFixture {
protected:
    template <typename Control = SwitchButton>
    static Control* control(QWidget& w, std::string_view key)
    {
        return w.findChild<Control*>(QString::fromUtf8(key));
    }

    // The sheet opened last, with its field filled in.
    static IgnoreRuleSheet* sheet(QWidget& window, const QString& text = {})
    {
        auto* found = window.findChildren<IgnoreRuleSheet*>().back();
        if (found->field())
            found->field()->setText(text);
        return found;
    }

    void closeSheets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

// What each setting does once written is the settings model's test; each
// switch writes its own key, and the window shows what is written elsewhere.
TEST_F(SettingsWindowTest, ControlsWriteTheirKeysAndShowTheRealState)
{
    SettingsWindow window(services());
    for (std::string_view key :
         {keys::doubleTapEnabled, keys::matchAppIconToTrigger, keys::automaticUpdateChecks, keys::showAllMenuItems,
          keys::requireFilterForAllMenuItems, keys::hideLargeSubmenus, keys::showSystemShortcuts,
          keys::showDeactivatedSystemShortcuts, keys::showThirdPartyShortcuts, keys::alwaysShowFavourites,
          keys::wrapLongSections, keys::receiveBetaUpdates, keys::receiveAlphaUpdates, keys::debugLoggingEnabled,
          keys::showConflictIndicator, keys::ignoreListEnabled, keys::ignoreListShowWhenFiltering}) {
        auto* toggle = control(window, key);
        const bool was = toggle->isChecked();
        toggle->click();
        EXPECT_EQ(settings.boolean(key), !was) << key;
        EXPECT_EQ(toggle->isChecked(), !was) << key;
    }
    EXPECT_TRUE(doubleTap.isStarted()) << "through the model";
    EXPECT_TRUE(ignoreList.isEnabled());

    auto* login = control(window, "launchAtLogin");
    loginService.failure = "denied";
    login->click();
    EXPECT_FALSE(login->isChecked()) << "refused: shows the real state";

    auto* labels = control<QComboBox>(window, keys::keyLabels);
    const int words = labels->currentIndex();
    labels->activated(labels->findData(int(notation::KeyLabels::symbols)));
    EXPECT_EQ(settings.object(keys::keyLabels), platform::PlistValue("symbols"));
    auto* display = control<QComboBox>(window, keys::popupDisplayMode);
    display->activated(display->findData(int(PopupDisplayMode::mainDisplay)));
    EXPECT_EQ(Settings(settings).popupDisplayMode(), PopupDisplayMode::mainDisplay);

    auto* feed = control<QLineEdit>(window, keys::updateFeedAddress);
    feed->setText(" http://127.0.0.1:8000/appcast.xml ");
    emit feed->editingFinished();
    EXPECT_EQ(settings.object(keys::updateFeedAddress), platform::PlistValue("http://127.0.0.1:8000/appcast.xml"));

    // What an import or synchronisation writes shows at once.
    settings.set(keys::keyLabels, "words");
    settings.set(keys::showAllMenuItems, false);
    EXPECT_EQ(labels->currentIndex(), words);
    EXPECT_FALSE(control(window, keys::showAllMenuItems)->isChecked());

    // The key colour: chosen, reset, or the system accent followed; the swatch drawn anew in a new palette.
    auto* well = button<QToolButton>(window, "Key colour");
    dialogs->color = QColor(Qt::red);
    well->click();
    ASSERT_TRUE(theme.customColor());
    EXPECT_EQ(theme.customColor()->red, 1.0);
    auto* follow = control(window, "followSystemAccentColour");
    EXPECT_FALSE(follow->isChecked());
    button(window, "Reset")->click();
    EXPECT_FALSE(theme.customColor());
    EXPECT_TRUE(follow->isChecked());
    follow->click(); // off: the colour shown so far is kept as the own one
    EXPECT_TRUE(theme.customColor());
    follow->click();
    EXPECT_FALSE(theme.customColor());
    const auto swatch = well->icon().cacheKey();
    window.setPalette(test::darkPalette());
    EXPECT_NE(well->icon().cacheKey(), swatch);
}

TEST_F(SettingsWindowTest, WithoutGlobalShortcutsTheHotKeySectionOffersTheCommandToBind)
{
    useHotkey(test::optionCommandK); // stored from an earlier session, but nothing delivers it here
    auto withoutPortal = services();
    withoutPortal.model.triggers = triggerAvailability(SessionKind::wayland, false);
    SettingsWindow window(std::move(withoutPortal));
    EXPECT_FALSE(control(window, keys::doubleTapEnabled)->isEnabled());
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

// Which files fail is the backup's test; here the window reports failures,
// names the values it skipped and offers the relaunch.
TEST_F(SettingsWindowTest, BackupsReportFailuresAndSkippedValuesAndOfferTheRelaunch)
{
    test::TemporaryFolder folder;
    settings.set(keys::showAllMenuItems, true);
    const auto before = settings.allValues();
    writeFile(folder.path() / "text.hintboardsettings", "not a property list");
    SettingsWindow window(services());
    button(window, "Import Settings…")->click(); // both choosers cancelled
    button(window, "Export Settings…")->click();
    dialogs->importFile = folder.path() / "text.hintboardsettings";
    button(window, "Import Settings…")->click();
    // Below a regular file nothing can be created, even as root.
    dialogs->exportFile = folder.path() / "text.hintboardsettings" / "Hintboard Settings.hintboardsettings";
    button(window, "Export Settings…")->click();
    ASSERT_EQ(dialogs->alerts.size(), 2u);
    EXPECT_EQ(dialogs->alerts[0].message + dialogs->alerts[1].message, "Import FailedExport Failed");
    EXPECT_EQ(settings.allValues(), before);

    writeFile(folder.path() / "mixed.hintboardsettings", "<plist><dict><key>showAllMenuItems</key><string>yes</string>"
                                                         "<key>keyLabels</key><string>symbols</string></dict></plist>");
    dialogs->importFile = folder.path() / "mixed.hintboardsettings";
    dialogs->answers = {"Relaunch Now"};
    button(window, "Import Settings…")->click();
    EXPECT_EQ(settings.object(keys::keyLabels), platform::PlistValue("symbols"));
    EXPECT_TRUE(settings.boolean(keys::showAllMenuItems)) << "skipped: keeps its value";
    EXPECT_TRUE(dialogs->alerts.back().informativeText.contains("showAllMenuItems"));
    EXPECT_EQ(actions, std::vector<std::string>{"relaunch"});
    // The good path of a whole backup, export, import and relaunch, is the end-to-end backup test's.
}

TEST_F(SettingsWindowTest, SyncNeedsAFolderAndAsksWhenTheFolderIsNewer)
{
    SettingsWindow window(services());
    auto* sync = control(window, keys::iCloudSyncEnabled);
    sync->click(); // the folder chooser is cancelled
    EXPECT_FALSE(sync->isChecked());
    EXPECT_TRUE(syncCalls.empty());

    dialogs->syncFolder = "/tmp/sync-a";
    sync->click();
    EXPECT_EQ(settings.object(keys::syncFolderPath), platform::PlistValue(std::string("/tmp/sync-a")));
    EXPECT_EQ(syncCalls, std::vector<bool>{true});

    button(window, "Change…")->click(); // the same folder again: nothing changes
    EXPECT_EQ(syncCalls, std::vector<bool>{true});

    // Other folders holding newer settings: each answer of the alert.
    remoteIsNewer = true;
    for (const char* answer : {"Keep Local Settings", "Use Synced Settings"}) {
        dialogs->syncFolder = std::string("/tmp/") + answer;
        dialogs->answers = {answer};
        button(window, "Change…")->click();
        EXPECT_TRUE(sync->isChecked()) << answer;
    }
    EXPECT_EQ(actions, (std::vector<std::string>{"keep local", "use synced"}));
    sync->click();
    EXPECT_FALSE(syncCalls.back());
    dialogs->answers = {"Cancel"};
    sync->click();
    EXPECT_FALSE(sync->isChecked());
    EXPECT_FALSE(settings.boolean(keys::iCloudSyncEnabled));

    window.selectTab(SettingsWindow::Tab::developer);
    dialogs->answers = {"Clear Synced Settings"};
    button(window, "Clear Synced Settings…")->click();
    EXPECT_EQ(actions.back(), "clear");
}

// What the model does with each key is the settings model's test; here the
// recorder's badge and buttons follow it. Keys typed into this program's
// windows while recording never reach them; without the desktop's key monitor
// (Wayland) the recording takes them itself.
TEST_F(SettingsWindowTest, RecorderFollowsTheModelAndTakesKeysIntoOwnWindowsOnlyWhileRecording)
{
    useHotkey(optionCommandK);
    SettingsModel model(modelServices());
    QLineEdit field;
    field.show();
    QApplication::setActiveWindow(&field);
    field.setFocus();
    {
        HotkeyRecorderView view(model);
        EXPECT_EQ(view.badgeText(), "Alt+Super+K");
        hotkeyService.holdElsewhere(3, 0x1100);
        view.recordButton()->click();
        QTest::keyClicks(&field, "ab");
        EXPECT_EQ(field.text(), "");
        EXPECT_NE(view.badgeText(), "Alt+Super+K");
        EXPECT_FALSE(view.clearButton()->isEnabled());
        monitors.pressKey({3, flags::control | flags::command, "f"});
        EXPECT_EQ(view.badgeText(), "Alt+Super+K");
        EXPECT_FALSE(view.failureLine()->isHidden());
        view.recordButton()->click();
        EXPECT_TRUE(view.failureLine()->isHidden());
        monitors.pressKey({96, flags::command | flags::shift, std::nullopt});
        model.setKeyLabels(notation::KeyLabels::symbols);
        EXPECT_EQ(view.badgeText(), "⇧⌘F5");
        QTest::keyClicks(&field, "ab");
        EXPECT_EQ(field.text(), "ab");
        view.clearButton()->click();
        EXPECT_FALSE(loadHotkey(settings));
        view.recordButton()->click();
    }
    EXPECT_FALSE(model.isRecording()) << "destroying the view ends the recording";
    EXPECT_EQ(monitors.monitorCount(), 0u);

    monitors.setAvailable(false);
    HotkeyRecorderView view(model);
    view.recordButton()->click();
    QTest::keyClick(&field, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(loadHotkey(settings));
    EXPECT_EQ(loadHotkey(settings)->displayString, "⌃⌥J");
    EXPECT_EQ(field.text(), "ab");

    DoubleTapModifierPicker picker(model);
    picker.activated(picker.findText("Super"));
    EXPECT_EQ(model.doubleTapModifier(), DoubleTapModifier::command);
}

// The wizard's steps, the permission poll and the trigger check are the
// wizard's tests; here the window shows them, and closing early quits.
class WelcomeWindowTest : public test::SettingsWindowFixture {
protected:
    // The window resumed at `step`.
    std::unique_ptr<WelcomeWindow> open(int step, SettingsModelServices model, bool trayIconShown = true)
    {
        settings.set(keys::onboardingResumeStep, std::int64_t(step));
        auto window = std::make_unique<WelcomeWindow>(WelcomeWindowServices{
            std::move(model), accessibility, runtime, WizardHandlers{}, [this] { ++quits; }, trayIconShown});
        window->present();
        return window;
    }

    fake::FakeAccessibility accessibility;
    int quits = 0;
};

// Every step fits and names its controls; closing before the end quits.
TEST_F(WelcomeWindowTest, StepsFitAreNamedShowThePermissionAndClosingEarlyQuits)
{
    accessibility.setTrusted(false);
    for (int step = 0; step < 4; ++step) {
        auto window = open(step, modelServices());
        auto* stack = window->findChild<QStackedWidget*>();
        EXPECT_LE(window->currentPage()->minimumSizeHint().width(), stack->width()) << step;
        EXPECT_LE(window->currentPage()->layout()->totalHeightForWidth(stack->width()), stack->height()) << step;
        EXPECT_THAT(test::unnamedControls(*window), testing::IsEmpty()) << step;
        window->close();
        EXPECT_EQ(quits, step + 1);
    }
    // The grant as the wizard sees it; keys and buttons are the end-to-end test's.
    auto window = open(1, modelServices());
    EXPECT_TRUE(shows(window->currentPage(), "Waiting for permission…"));
    accessibility.setTrusted(true);
    runtime.advance(platform::Seconds(0.5));
    EXPECT_TRUE(shows(window->currentPage(), "Access granted"));
}

// The trigger step's check names the triggers that reach the program here;
// without a tray the last step says how to reach it.
TEST_F(WelcomeWindowTest, TriggerAndLastStepsFollowTheModelWithoutATray)
{
    useHotkey(optionCommandK);
    auto window = open(2, modelServices(), false);
    button(*window, "Enable")->click();
    EXPECT_TRUE(window->model().doubleTapEnabled());
    button(*window, "Try")->click();
    EXPECT_TRUE(shows(window->currentPage(), "Press Alt+Super+K, double-tap Alt or run “hintboard toggle”."));
    window->wizard().triggerArrived();
    EXPECT_TRUE(shows(window->currentPage(), "Shortcut works!"));
    // Symbols are drawn anew in a new palette.
    const auto labels = window->currentPage()->findChildren<QLabel*>();
    const auto symbol = std::ranges::find_if(labels, [](QLabel* label) { return !label->pixmap().isNull(); });
    ASSERT_NE(symbol, labels.end());
    const auto light = (*symbol)->pixmap().cacheKey();
    window->setPalette(test::darkPalette());
    EXPECT_NE((*symbol)->pixmap().cacheKey(), light);

    window->primaryButton()->click();
    ASSERT_EQ(window->wizard().step(), WelcomeStep::loginItem);
    button(*window, "Launch at Login")->click();
    button(*window, "Check for Updates Automatically")->click();
    EXPECT_TRUE(window->model().launchAtLogin());
    EXPECT_FALSE(window->model().automaticUpdatesEnabled());
    auto* notice = window->findChild<QWidget*>("noTrayNotice");
    ASSERT_TRUE(notice && notice->isVisible());
    EXPECT_FALSE(notice->findChild<QLabel*>()->text().isEmpty());

    // Wayland without the shortcuts portal: the key bound in the desktop's settings, no double tap.
    auto wayland = modelServices();
    wayland.triggers = triggerAvailability(SessionKind::wayland, false);
    window = open(2, wayland);
    EXPECT_FALSE(button(*window, "Enable")->isEnabled());
    window->wizard().tryItNow();
    EXPECT_TRUE(shows(window->currentPage(), "Press the key you bound to “hintboard toggle”."));
}

// A result from the feed, shown; links open only when they are web addresses,
// and notes from the network load nothing.
TEST_F(SettingsWindowTest, UpdateDialogShowsEachOutcomeAndOpensOnlyWebAddresses)
{
    QTextBrowser opened, openedFile; // their setSource records what the desktop was asked to open
    QDesktopServices::setUrlHandler("https", &opened, "setSource");
    QDesktopServices::setUrlHandler("file", &openedFile, "setSource");
    UpdateDialog dialog("1.0");
    const AppcastItem item{.displayVersion = "1.2",
                           .releaseNotesLink = "https://example.org/notes",
                           .notes = "<p>Fixes</p><a href=\"file:///etc/passwd\">local</a>",
                           .downloadLink = "https://example.org/download"};
    dialog.showResult({UpdateCheckResult::Outcome::updateAvailable, item, {}});
    auto* notes = dialog.findChild<QTextBrowser*>();
    auto* download = button(dialog, "Open Download Page");
    EXPECT_TRUE(notes->isVisible());
    EXPECT_TRUE(notes->toPlainText().contains("Fixes"));
    EXPECT_FALSE(notes->loadResource(QTextDocument::ImageResource, QUrl("file:///etc/passwd")).isValid());
    emit notes->anchorClicked(QUrl("file:///etc/passwd"));
    EXPECT_TRUE(openedFile.source().isEmpty());
    download->click();
    EXPECT_EQ(opened.source(), QUrl("https://example.org/download"));
    EXPECT_FALSE(dialog.isVisible());
    dialog.showChecking();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(notes->isVisible() || download->isVisible());

    for (auto outcome : {UpdateCheckResult::Outcome::upToDate, UpdateCheckResult::Outcome::fromPackageManager,
                         UpdateCheckResult::Outcome::failed}) {
        dialog.showResult({outcome, std::nullopt, "Host not found"});
        EXPECT_FALSE(notes->isVisible() || download->isVisible());
    }
    EXPECT_TRUE(shows(&dialog, "Host not found"));
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
}

} // namespace
} // namespace hb::views
