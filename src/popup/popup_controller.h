#pragma once

// SKELETON: public surface agreed between the popup and the application.
// The popup helper completes the private parts and may add what it needs.

#include "menus/menu_cache.h"
#include "platform/accessibility.h"
#include "platform/event_monitors.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/screens.h"
#include "platform/settings_domain.h"
#include "platform/workspace.h"
#include "popup/popup_panel.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "triggers/frontmost_app_monitor.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

// The sections beyond the menus: system shortcuts with the user's key
// equivalents, and the registered app shortcuts. Runs on a background thread.
using ExtraSections = std::function<std::vector<MenuSection>(bool systemShortcuts, bool registeredShortcuts)>;

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
    void activate(const Shortcut& shortcut);
    bool isVisible() const;

    std::function<void()> onGrant;
    std::function<void()> onOpenSettings;
    std::function<void()> onPermissionGranted;
    // Runs at the start of every show flow (the status icon closes its hint).
    std::function<void()> onWillShow;
};

} // namespace hb
