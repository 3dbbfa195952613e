#pragma once

#include "app/views/settings_dialogs.h"
#include "platform/workspace.h"
#include "settings/app_icon.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_backup.h"
#include "settings/theme_settings.h"
#include "settings_window/settings_model.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QStackedWidget;
class QVariantAnimation;

namespace hb::views {

class SegmentedControl;

// What the settings window edits and calls. Everything outlives the window.
//
// Settings synchronisation runs through the folder stored under
// `syncFolderPath` (written by the window before it turns sync on or after the
// user picks another folder). `model.hasNewerRemoteSettings` and
// `model.onSyncEnabledChanged` (start / stop) act on the folder stored at the
// moment of the call; the three functions below answer the window's alerts.
struct SettingsWindowServices {
    SettingsModelServices model;
    IgnoreListStore& ignoreList;
    ThemeSettings& theme;
    SettingsBackup& backup;
    DockIconManager& dockIcon;
    platform::Workspace& workspace;
    // "Use Synced Settings": start synchronising; newer values in the folder are taken.
    std::function<void()> useSyncedSettings;
    // "Keep Local Settings": overwrite the folder with this computer's values, then synchronise.
    std::function<void()> keepLocalSettings;
    // "Clear Synced Settings": remove this program's records from the folder; stops synchronising.
    std::function<void()> clearSyncedSettings;
    // "Relaunch Now" after an import; empty: relaunchApplication().
    std::function<void()> relaunch;
    // File choosers, colour picker and alerts; null: the Qt dialogs.
    std::shared_ptr<SettingsDialogs> dialogs;
};

// What the tab pages share: the window's model, the services and the dialogs.
struct SettingsPageContext {
    SettingsModel& model;
    const SettingsWindowServices& services;
    SettingsDialogs& dialogs;
    QWidget* window;
};

// The settings window: an icon bar of four tabs (General, Popup, Ignored,
// Developer) over the selected tab's page. It owns the SettingsModel that
// its controls edit. The content is 420 px wide; the window takes the
// selected tab's measured height, animated over 0.18 s. Closing it ends a
// shortcut recording still running and emits closed(). Main thread only.
class SettingsWindow final : public QWidget {
    Q_OBJECT
public:
    enum class Tab { general, popup, ignored, developer };
    static constexpr int contentWidth = 420;
    static constexpr int resizeMilliseconds = 180;

    explicit SettingsWindow(SettingsWindowServices services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    SettingsModel& model() { return *model_; }
    void selectTab(Tab tab);
    Tab currentTab() const { return current_; }
    // The content height each tab needs, measured at the window's width.
    const std::array<int, 4>& tabHeights() const { return tabHeights_; }
    // The window height the resize is heading for (the current one when none runs).
    int targetHeight() const { return targetHeight_; }
    // Ends a running resize at its target.
    void finishResize();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void measure();
    void resizeToTab(bool animated);
    void paintTabIcons();

    SettingsWindowServices services_;
    std::shared_ptr<SettingsDialogs> dialogs_;
    std::unique_ptr<SettingsModel> model_;
    std::unique_ptr<SettingsPageContext> context_;
    SegmentedControl* tabButtons_ = nullptr;
    QWidget* tabBar_;
    QStackedWidget* stack_;
    std::array<QWidget*, 4> pages_{};
    std::array<int, 4> tabHeights_{};
    Tab current_ = Tab::general;
    int width_ = contentWidth;
    int targetHeight_ = 0;
    QVariantAnimation* resize_;
    bool remeasureQueued_ = false;
};

// The one settings window: show() creates it (with a fresh SettingsModel),
// raises the Dock-icon count and shows it, or raises the open one. Closing
// the window drops it and lowers the count again. Main thread only.
//
// The composition root holds one controller, declared after everything its
// services refer to so that it goes first:
//   views::SettingsWindowController settingsWindow({.model = {...}, .ignoreList = ignoreList, ...});
//   delegate.onOpenSettings = [&] { settingsWindow.show(); };
// Destroying the controller closes an open window (ending a recording).
class SettingsWindowController {
public:
    explicit SettingsWindowController(SettingsWindowServices services);
    ~SettingsWindowController();
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    void show();
    // The open window; null when closed.
    SettingsWindow* window() const { return window_; }

private:
    void dropWindow();

    SettingsWindowServices services_;
    QPointer<SettingsWindow> window_;
    // Closed windows waiting for their deletion.
    std::vector<QPointer<SettingsWindow>> closed_;
};

} // namespace hb::views
