#pragma once

#include "base/log.h"
#include "menus/menu_cache.h"
#include "platform/accessibility.h"
#include "platform/event_monitors.h"
#include "platform/runtime.h"
#include "platform/screens.h"
#include "platform/settings_domain.h"
#include "platform/workspace.h"
#include "popup/extra_sections.h"
#include "popup/popup_filter_model.h"
#include "popup/popup_keyboard.h"
#include "popup/popup_panel.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "triggers/frontmost_app_monitor.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

struct PopupDependencies {
    platform::Accessibility& accessibility;
    platform::Workspace& workspace;
    platform::Screens& screens;
    platform::EventMonitors& eventMonitors;
    platform::Clock& clock;
    platform::MainQueue& mainQueue;
    platform::BackgroundTasks& background;
    platform::SettingsDomain& settings;
    platform::Log& log;
    FrontmostAppMonitor& frontmostMonitor;
    CachedMenuReader& menuReader;
    FavouritesStore& favourites;
    IgnoreListStore& ignoreList;
    ExtraSections extraSections;
    PopupPanel::Factory makePanel;
    std::function<void(std::string_view address)> openAddress;
    std::function<void()> quit;
};

// Turns a trigger into a shown popup and runs what the user chooses in it.
// Main thread only.
class PopupController {
public:
    static constexpr platform::Seconds permissionPollInterval{0.5};
    static constexpr platform::Seconds fadeInDuration{0.12};
    static constexpr platform::Seconds fadeOutDuration{0.1};

    explicit PopupController(PopupDependencies dependencies);
    ~PopupController();
    PopupController(const PopupController&) = delete;
    PopupController& operator=(const PopupController&) = delete;

    // What the triggers call: hides a visible popup, otherwise shows it.
    void togglePopup();
    // The show flow for the application in front.
    void showPopup();
    void show(PopupContent content);
    void hide();
    // Closes the popup and runs the row's command; a row that cannot run now
    // (its keys are the user's to press, its item is disabled) leaves the
    // popup open and the reason said in it.
    void activate(const Shortcut& shortcut);
    // Shown and not fading out.
    bool isVisible() const;

    std::function<void()> onGrant;
    std::function<void()> onOpenSettings;
    std::function<void()> onPermissionGranted;
    // Runs at the start of every show flow (the status icon closes its hint).
    std::function<void()> onWillShow;

    // The model of the list shown, or last shown; kept over a hide.
    const PopupFilterModel* filterModel() const { return filterModel_.get(); }
    PopupFilterModel* filterModel() { return filterModel_.get(); }
    const std::string& currentAppName() const { return currentAppName_; }
    const std::vector<Shortcut>& ignoredMenuShortcuts() const { return ignoredMenuShortcuts_; }
    bool isPollingPermission() const { return permissionPollTimer_.has_value(); }
    bool hasPanel() const { return panel_ != nullptr; }

private:
    enum class State { hidden, shown, fadingOut };

    // What the show task knows of the application before its menus are read.
    struct ShowRequest {
        AppShortcuts app; // without sections
        bool systemShortcuts = false;
        bool registeredShortcuts = false;
    };

    std::shared_ptr<Cancellation> startShowTask();
    void showWithoutApp(std::shared_ptr<Cancellation> task);
    // `refresh`: a newer read replacing what the task showed from an older one.
    void showMenus(ShowRequest request, MenuReadResult menus, std::shared_ptr<Cancellation> task, bool refresh);
    void showRead(AppShortcuts app, const std::shared_ptr<Cancellation>& task, bool refresh);
    void replaceShownRows(AppShortcuts app);
    // Runs `extraSections` off the main thread and hands its result to `then`
    // on the main thread, unless the task has been cancelled or this object is gone.
    void withExtraSections(bool systemShortcuts, bool registeredShortcuts, std::shared_ptr<Cancellation> task,
                           std::function<void(std::vector<MenuSection>)> then);

    // Takes the application's shortcuts out of `content` into the filter model.
    void fillPanel(PopupContent& content);
    void showShortcutList(AppShortcuts app, const platform::Rect& visibleFrame);
    void setPanelFrame(const platform::Rect& frame);
    std::shared_ptr<PopupFilterModel> makeFilterModel(AppShortcuts app, PopupFilterModel::Columns columns,
                                                      double columnWidth, bool fitsWithoutScrolling) const;

    void startPermissionPoll();
    void pollPermission();
    void stopPermissionPoll();

    PopupPanelEvents panelEvents();
    void installMonitors();
    void removeMonitors();
    bool isTriggerKey(const platform::KeyEvent& key) const;
    bool panelKeyDown(const platform::KeyEvent& key);
    void globalKeyDown(const platform::KeyEvent& key);
    void setHeldModifiers(std::uint64_t flags);
    void perform(KeyOutcome outcome);
    void pressAfterClosing(const Shortcut& shortcut);
    void openSettings();
    // Why the row cannot run now, as the popup says it; none when it can.
    std::optional<std::string> reasonNotToRun(const Shortcut& shortcut);

    PopupDependencies deps_;
    PopupKeyboard keyboard_;
    pid_t ownPID_;
    pid_t shownAppPID_ = 0;            // the application whose shortcuts were asked for last
    bool ownWindowActive_ = false;     // one of this program's dialogs, which takes its own keys
    bool followsDesktopFlags_ = false; // a global monitor reports the held modifiers

    std::unique_ptr<PopupPanel> panel_;
    State state_ = State::hidden;
    std::uint64_t animationGeneration_ = 0;
    platform::Rect panelFrame_;
    platform::Rect listVisibleFrame_; // the screen area the shown list was laid out for
    std::vector<platform::EventMonitors::Token> eventMonitors_;
    std::optional<platform::Workspace::ObserverId> workspaceObserver_;

    std::shared_ptr<PopupFilterModel> filterModel_;
    std::string lastFilterQuery_;
    std::optional<std::string> lastFilterBundleID_;
    std::vector<Shortcut> ignoredMenuShortcuts_;
    std::string currentAppName_;

    std::optional<platform::MainQueue::TaskId> permissionPollTimer_;
    std::shared_ptr<Cancellation> scrapeTask_;
    // The show task whose read is shown; cancelled by the next one, so that
    // its refresh never lands in a later showing.
    std::shared_ptr<Cancellation> shownTask_;

    // Work handed to other threads and delayed tasks check it so that none
    // runs after this object is gone.
    std::shared_ptr<PopupController*> self_;
};

} // namespace hb
