#include "app/application.h"

#include "app/single_instance.h"
#include "app/unix_signals.h"
#include "app/views/accessible_roles.h"
#include "app/views/settings_window.h"
#include "app/views/tray_icon.h"
#include "app/views/update_dialog.h"
#include "app/views/welcome_window.h"
#include "linux/desktop_accessibility.h"
#include "linux/directory_sync_folder.h"
#include "linux/glib_loop_thread.h"
#include "linux/journal_log.h"
#include "linux/linux_desktop_shortcuts.h"
#include "linux/logind_system_wake.h"
#include "linux/package_manager.h"
#include "linux/plist_file_settings_domain.h"
#include "linux/qt/feed_downloader.h"
#include "linux/qt/qt_app_presence.h"
#include "linux/qt/qt_runtime.h"
#include "linux/qt/qt_screens.h"
#include "linux/session_services.h"
#include "linux/xdg_autostart_login_item.h"
#include "menus/menu_bar_reader.h"
#include "menus/menu_cache.h"
#include "platform/notification_center.h"
#include "popup/extra_sections.h"
#include "popup/popup_controller.h"
#include "popup/views/panel_style.h"
#include "popup/views/popup_window.h"
#include "quiz/views/quiz_window.h"
#include "settings/app_icon.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/login_item_manager.h"
#include "settings/settings_backup.h"
#include "settings/settings_keys.h"
#include "settings/settings_sync.h"
#include "settings/theme_settings.h"
#include "settings_window/settings_model.h"
#include "sources/user_folders.h"
#include "tray/app_delegate.h"
#include "triggers/double_tap_trigger.h"
#include "triggers/frontmost_app_monitor.h"
#include "triggers/global_hotkey.h"
#include "triggers/trigger_availability.h"
#include "updates/updates.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace hb::app {
namespace {

using platform::LogCategory;

// GLib work of our own (the wake signal) on a thread and context of its own.
// The monitors as the core expects them: input that goes to other
// applications. The desktop's raw input reports every click, also those on
// this program's own windows; a click on the tray icon must not count as a
// click elsewhere (it would close the popup that the same click then opens
// again).
class OtherApplicationsMonitors final : public platform::EventMonitors {
public:
    explicit OtherApplicationsMonitors(platform::EventMonitors& monitors) : monitors_(monitors) {}

    std::optional<Token> addFlagsChangedMonitor(std::function<void(std::uint64_t flags)> handler) override
    {
        return monitors_.addFlagsChangedMonitor(std::move(handler));
    }
    std::optional<Token> addKeyDownMonitor(std::function<void(const platform::KeyEvent&)> handler) override
    {
        return monitors_.addKeyDownMonitor(std::move(handler));
    }
    std::optional<Token> addMouseDownMonitor(std::function<void(platform::MouseButton)> handler) override
    {
        return monitors_.addMouseDownMonitor([handler = std::move(handler)](platform::MouseButton button) {
            if (!QApplication::widgetAt(QCursor::pos()))
                handler(button);
        });
    }
    void removeMonitor(Token token) override { monitors_.removeMonitor(token); }
    std::uint64_t currentModifierFlags() override { return monitors_.currentModifierFlags(); }

private:
    platform::EventMonitors& monitors_;
};

// Test builds only: with HINTBOARD_TEST_STALL_ON_TOGGLE naming a file, a
// toggle request creates that file and blocks the main thread for good, as a
// hang inside Qt would.
void stallWhenTestsAsk()
{
#ifdef HINTBOARD_TEST_HOOKS
    const QString marker = qEnvironmentVariable("HINTBOARD_TEST_STALL_ON_TOGGLE");
    if (marker.isEmpty())
        return;
    QFile(marker).open(QIODevice::WriteOnly);
    for (;;)
        ::pause();
#endif
}

} // namespace

int runApplication(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("hintboard: no graphical session here (DISPLAY is not set)\n", stderr);
        return 1;
    }
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1"); // see glibThread below
    // The session decides once, here, what the program runs on.
    const SessionKind session = linux_platform::currentSessionKind();
    const auto qtPlatform = linux_platform::chooseQtPlatform(linux_platform::currentGraphicalSession(session));
    if (!qtPlatform.possible) {
        std::fprintf(stderr, "hintboard: %s\n", qtPlatform.reason.c_str());
        return 1;
    }
    if (!qtPlatform.platform.empty())
        qputenv("QT_QPA_PLATFORM", qtPlatform.platform.c_str());
    QApplication application(argc, argv);
    QApplication::setApplicationName("Hintboard");
    QApplication::setApplicationVersion(HINTBOARD_VERSION);
    QApplication::setOrganizationDomain("mirelo.org");
    QApplication::setDesktopFileName("org.mirelo.Hintboard");
    // Windows come and go; the tray icon keeps the program running.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(views::TrayIcon::applicationIcon());
    views::installAccessibility();

    linux_platform::JournalLogSink sink;
    platform::SettingsDomain* settingsForLog = nullptr;
    platform::Log log(
        sink, [&settingsForLog] { return settingsForLog && settingsForLog->boolean(keys::debugLoggingEnabled); });

    // Requests over the bus reach the popup once it exists.
    std::function<void()> toggleRequest, showRequest, settingsRequest, quizRequest;
    SingleInstance instance({
        .toggle =
            [&] {
                stallWhenTestsAsk();
                if (toggleRequest)
                    toggleRequest();
            },
        .show =
            [&] {
                if (showRequest)
                    showRequest();
            },
        .settings =
            [&] {
                if (settingsRequest)
                    settingsRequest();
            },
        .quiz =
            [&] {
                if (quizRequest)
                    quizRequest();
            },
        .quit = [] { QCoreApplication::quit(); },
    });
    switch (instance.claim()) {
    case SingleInstance::Claim::owned:
        break;
    case SingleInstance::Claim::alreadyRunning:
        std::puts("Hintboard is already running.");
        return 0;
    case SingleInstance::Claim::noBus:
        std::fprintf(stderr,
                     "hintboard: no session bus (%s); running without it, so `hintboard toggle` and the "
                     "one-instance check are not available\n",
                     qPrintable(instance.problem()));
        log.error(LogCategory::settings, "No session bus: running without the name org.mirelo.Hintboard");
        break;
    }

    auto opened =
        linux_platform::PlistFileSettingsDomain::open(linux_platform::PlistFileSettingsDomain::defaultPath(), log);
    if (!opened.domain) {
        std::fprintf(stderr, "hintboard: the settings cannot be opened: %s\n", opened.error.c_str());
        return 1;
    }
    platform::SettingsDomain& settings = *opened.domain;
    settingsForLog = &settings;
    if (const auto& problem = opened.domain->readProblem(); !problem.empty()) {
        std::fprintf(stderr, "hintboard: %s\n", problem.c_str());
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Hintboard"),
                                    QObject::tr("Your settings cannot be read"), QMessageBox::Ok);
        box->setInformativeText(QString::fromStdString(problem));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
    }

    linux_platform::QtRuntime runtime;
    platform::NotificationCenter notifications(runtime);
    linux_platform::DesktopAccessibility desktopAccessibility(log, session);
    platform::Accessibility& accessibility = desktopAccessibility.accessibility();
    auto sessionWorkspace = linux_platform::makeSessionWorkspace(session, runtime, log);
    platform::Workspace& workspace = *sessionWorkspace.workspace;
    log.notice(LogCategory::settings, "Hintboard {}, {} session; front application from {}", HINTBOARD_VERSION,
               sessionName(session), sessionWorkspace.sourceName);
    if (!qtPlatform.reason.empty())
        log.notice(LogCategory::settings, "{}; Qt platform in use: {}", qtPlatform.reason,
                   QGuiApplication::platformName().toStdString());
    linux_platform::QtScreens screens;
    linux_platform::QtAppPresence presence;
    auto sessionHotkeys = linux_platform::makeSessionHotkeys(session, runtime, runtime, log);
    platform::HotkeyService& hotkeyService = *sessionHotkeys.service;
    const TriggerAvailability triggers = triggerAvailability(session, sessionHotkeys.portalOffersShortcuts());
    const auto sessionMonitors = linux_platform::makeSessionEventMonitors(session, runtime, log);
    platform::EventMonitors& desktopMonitors = *sessionMonitors;
    OtherApplicationsMonitors eventMonitors(desktopMonitors);
    // The Qt loop must not iterate GLib's default context: libatspi attaches its
    // direct connections to applications there, and a main loop dispatching them
    // steals the replies that a background menu read waits for (every read then
    // times out). Hence QT_NO_GLIB, and a loop of its own for the wake signals.
    linux_platform::GlibLoopThread glibThread(nullptr, nullptr);
    std::unique_ptr<linux_platform::LogindSystemWake> systemWake;
    glibThread.invokeAndWait([&] { systemWake = std::make_unique<linux_platform::LogindSystemWake>(runtime, log); });
    const auto desktopShortcuts = linux_platform::desktopShortcutSource(linux_platform::runningDesktop(log), log);
    ThemeSettings theme(settings, [] { return views::paletteAccentColor(QGuiApplication::palette()); });

    FavouritesStore favourites(settings);
    IgnoreListStore ignoreList(settings);
    const MenuBarReader menuBarReader(accessibility, log);
    CachedMenuReader menuReader(CachedMenuReader::menuBarReads(menuBarReader), runtime, runtime, runtime, accessibility,
                                settings, ignoreList);
    FrontmostAppMonitor frontmostMonitor(workspace);

    PopupController popup(PopupDependencies{
        .accessibility = accessibility,
        .workspace = workspace,
        .screens = screens,
        .eventMonitors = eventMonitors,
        .clock = runtime,
        .mainQueue = runtime,
        .background = runtime,
        .settings = settings,
        .log = log,
        .frontmostMonitor = frontmostMonitor,
        .menuReader = menuReader,
        .favourites = favourites,
        .ignoreList = ignoreList,
        .extraSections = defaultExtraSections(desktopShortcuts.get(), UserFolders::fromEnvironment(), log),
        // On Wayland no window can keep the application in front active and still get the keys.
        .makePanel = views::PopupWindow::factory(settings, &theme,
                                                 session == SessionKind::wayland ? views::PopupWindowMode::activated
                                                                                 : views::PopupWindowMode::unmanaged),
        .openAddress =
            [](std::string_view address) {
                QDesktopServices::openUrl(
                    QUrl(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size()))));
            },
        .quit = [] { QCoreApplication::quit(); },
    });

    HotkeyManager hotkeys(hotkeyService, runtime, log);
    DoubleTapTrigger doubleTap(eventMonitors, runtime, settings, log);
    views::TrayIcon tray(log);

    AppDelegate delegate(AppServices{
        .mainQueue = runtime,
        .settings = settings,
        .notifications = notifications,
        .systemWake = *systemWake,
        .appPresence = presence,
        .accessibility = accessibility,
        .log = log,
        .frontmostMonitor = frontmostMonitor,
        .statusItem = tray,
        .connectPopup =
            [&popup](PopupCallbacks callbacks) {
                popup.onGrant = std::move(callbacks.onGrant);
                popup.onOpenSettings = std::move(callbacks.onOpenSettings);
                popup.onPermissionGranted = std::move(callbacks.onPermissionGranted);
                popup.onWillShow = std::move(callbacks.onWillShow);
            },
        .togglePopup = [&popup] { popup.togglePopup(); },
        .showPopup = [&popup] { popup.showPopup(); },
        .hidePopup = [&popup] { popup.hide(); },
        .precacheMenus = [&menuReader](const platform::RunningApplication& app) { menuReader.precache(app); },
        .setUpHotkey =
            [&hotkeys, &settings](std::function<void()> onActivate) {
                hotkeys.onActivate = std::move(onActivate);
                setUpHotkeyAtLaunch(hotkeys, settings);
            },
        .storedHotkey = [&settings] { return loadHotkey(settings); },
        .hotkeyWorks = [&hotkeys] { return hotkeys.isRegistered(); },
        .applyDoubleTap =
            [&doubleTap, &triggers, &log, told = false](std::function<void()> onActivate) mutable {
                if (!triggers.doubleTapAvailable) {
                    // Applied again after the wizard and every wake; said once.
                    if (!std::exchange(told, true))
                        log.info(LogCategory::hotkey, "Double tap not available: {}", triggers.doubleTapReason);
                    return;
                }
                doubleTap.onActivate = std::move(onActivate);
                doubleTap.applySettings();
            },
        .quit = [] { QCoreApplication::quit(); },
        .notify = linux_platform::notifyDesktop,
    });

    // `hintboard toggle` and `show` are triggers like the hot key.
    toggleRequest = [&delegate] { delegate.triggerToggle(); };
    showRequest = [&delegate] { delegate.triggerShow(); };

    // Windows that give the program a taskbar entry while they are open.
    DockIconManager dockIcon(presence, settings);

    // A quiz over the front application's commands, read anew with every menu.
    views::QuizWindowController quizzes({.favourites = favourites,
                                         .mainQueue = runtime,
                                         .dockIcon = dockIcon,
                                         .theme = &theme,
                                         .keyLabels = [&settings] { return Settings(settings).keyLabels(); }});
    delegate.onStartQuiz = [&](const platform::RunningApplication& app) {
        runtime.run(platform::TaskPriority::userInitiated, [&, app] {
            auto sections = menuBarReader.readMenuBar({.pid = app.pid});
            runtime.post([&quizzes, app, sections = std::move(sections)] {
                quizzes.start(sections, app.name.empty() ? "App" : app.name, app.iconName, app.bundleIdentifier);
            });
        });
    };

    // Updates: from the system's package manager when it installed this copy;
    // otherwise from the feed the settings name, else the build's own.
    const bool updatesFromPackageManager = linux_platform::updatesFromPackageManager();
    UpdaterDelegate updaterDelegate(settings);
    FeedDownloader feedDownloader;
    Updater updater(UpdaterServices{
        .mainQueue = runtime,
        .settings = settings,
        .log = log,
        .delegate = updaterDelegate,
        .runningVersion = HINTBOARD_VERSION,
        .source = updatesFromPackageManager ? UpdateSource::packageManager : UpdateSource::feed,
        .defaultFeedAddress = HINTBOARD_DEFAULT_UPDATE_FEED,
        .downloadFeed =
            [&feedDownloader](const std::string& address, auto done) {
                feedDownloader.download(QUrl(QString::fromStdString(address)), std::move(done));
            },
    });
    views::UpdateDialog updateDialog(HINTBOARD_VERSION);
    const auto showResult = [&updateDialog](const UpdateCheckResult& result) { updateDialog.showResult(result); };
    updater.onUpdateFound = showResult;
    delegate.onCheckForUpdates = [&updater, &updateDialog, showResult] {
        updateDialog.showChecking();
        updater.checkForUpdates(showResult);
    };
    delegate.onUpdateChannelsChanged = [&updater] { updater.resetUpdateCycleAfterShortDelay(); };

    // Settings synchronisation through the folder that the user's own sync tool
    // keeps in step between computers.
    std::unique_ptr<linux_platform::DirectorySyncFolder> syncStore;
    std::unique_ptr<SettingsSync> settingsSync;
    std::string syncFolder;
    // The synchronisation over the folder in the settings at this moment; none without one.
    const auto folderSync = [&]() -> SettingsSync* {
        const auto stored = settings.object(keys::syncFolderPath);
        const auto* path = stored ? stored->as<std::string>() : nullptr;
        if (!path || path->empty()) {
            log.error(LogCategory::settings, "Settings sync is on, but no sync folder is set");
            return nullptr;
        }
        if (!settingsSync || *path != syncFolder) {
            if (settingsSync)
                settingsSync->stop();
            settingsSync.reset();
            syncFolder = *path;
            syncStore = std::make_unique<linux_platform::DirectorySyncFolder>(syncFolder, runtime, log);
            settingsSync =
                std::make_unique<SettingsSync>(SettingsSyncServices{.settings = settings,
                                                                    .folder = *syncStore,
                                                                    .mainQueue = runtime,
                                                                    .clock = runtime,
                                                                    .notifications = notifications,
                                                                    .log = log,
                                                                    .favourites = favourites,
                                                                    .ignoreList = ignoreList,
                                                                    .theme = theme,
                                                                    .computer = linux_platform::thisComputer()});
        }
        return settingsSync.get();
    };
    delegate.onStartSettingsSync = [&] {
        if (auto* sync = folderSync())
            sync->start();
    };

    // What the wizard and the settings window edit through their settings models.
    linux_platform::XdgAutostartLoginItem loginItem;
    LoginItemManager loginItems(loginItem, log);
    const SettingsModelServices settingsModelServices{
        .settings = settings,
        .hotkeys = hotkeys,
        .doubleTap = doubleTap,
        // The recorder hears the desktop's raw keys, so that a combination
        // another program holds is still seen, and refused.
        .eventMonitors = desktopMonitors,
        .notifications = notifications,
        .loginItems = loginItems,
        .appPresence = presence,
        .hasNewerRemoteSettings =
            [&] {
                auto* sync = folderSync();
                return sync && sync->hasNewerRemoteSettings();
            },
        .onSyncEnabledChanged =
            [&](bool enabled) {
                if (enabled)
                    delegate.onStartSettingsSync();
                else if (settingsSync)
                    settingsSync->stop();
            },
        .triggers = triggers,
        .updatesFromPackageManager = updatesFromPackageManager,
    };

    std::unique_ptr<views::WelcomeWindow> welcomeWindow;
    delegate.onOpenWizard = [&](WizardHandlers handlers) {
        welcomeWindow = std::make_unique<views::WelcomeWindow>(views::WelcomeWindowServices{
            .settingsModel = settingsModelServices,
            .accessibility = accessibility,
            .mainQueue = runtime,
            .handlers = std::move(handlers),
            .quit = [] { QCoreApplication::quit(); },
            .trayIconShown = tray.exists(),
        });
        welcomeWindow->present();
    };

    SettingsBackup backup({.settings = settings,
                           .clock = runtime,
                           .favourites = favourites,
                           .ignoreList = ignoreList,
                           .theme = theme,
                           .appPresence = presence,
                           .notifications = notifications,
                           .log = log,
                           .appVersion = HINTBOARD_VERSION});
    views::SettingsWindowController settingsWindow({
        .model = settingsModelServices,
        .ignoreList = ignoreList,
        .theme = theme,
        .backup = backup,
        .dockIcon = dockIcon,
        .workspace = workspace,
        .useSyncedSettings =
            [&] {
                if (auto* sync = folderSync())
                    sync->useSyncedSettings();
            },
        .keepLocalSettings =
            [&] {
                if (auto* sync = folderSync())
                    sync->keepLocalSettings();
            },
        .clearSyncedSettings =
            [&] {
                if (auto* sync = folderSync())
                    sync->clearICloudData();
            },
    });
    delegate.onOpenSettings = [&settingsWindow] { settingsWindow.show(); };
    settingsRequest = [&settingsWindow] { settingsWindow.show(); };
    quizRequest = [&delegate] { delegate.startQuiz(); };

    // SIGTERM and SIGINT end the loop like "Quit Hintboard", so the settings are saved.
    UnixSignals unixSignals({SIGTERM, SIGINT, SIGHUP}, [](int) { QCoreApplication::quit(); });

    delegate.launch();
    updater.start();
    const int status = application.exec();
    if (settingsSync)
        settingsSync->flush();
    delegate.terminate();
    return status;
}

} // namespace hb::app
