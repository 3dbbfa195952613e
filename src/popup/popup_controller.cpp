#include "popup/popup_controller.h"

#include "menus/menu_press.h"
#include "model/key_notation.h"
#include "popup/popup_layout.h"
#include "popup/popup_tips.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "triggers/global_hotkey.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace hb {
namespace {

constexpr std::int64_t escapeKeyCode = 53;

constexpr std::string_view systemAppName = "System";
constexpr std::string_view systemBundleID = "__system__";
constexpr std::string_view systemIconName = "computer";

PopupFilterModel::ModifierSet modifierGlyphs(std::uint64_t flags)
{
    namespace flag = platform::modifier_flags;
    PopupFilterModel::ModifierSet glyphs;
    if (flags & flag::command)
        glyphs.emplace(notation::command);
    if (flags & flag::option)
        glyphs.emplace(notation::option);
    if (flags & flag::shift)
        glyphs.emplace(notation::shift);
    if (flags & flag::control)
        glyphs.emplace(notation::control);
    return glyphs;
}

// A list whose tallest column alone exceeds the panel's limit cannot fit.
bool columnsMayFit(const layout::ColumnLayout& columnLayout)
{
    double tallest = 0;
    for (const auto& column : columnLayout.columns)
        tallest = std::max(tallest, layout::columnHeight(column));
    return tallest <= columnLayout.maximumHeight;
}

} // namespace

PopupController::PopupController(PopupDependencies dependencies)
    : deps_(std::move(dependencies)), keyboard_(HintboardActionHandlers{
                                          .quit =
                                              [this] {
                                                  if (deps_.quit)
                                                      deps_.quit();
                                              },
                                          .openSettings = [this] { openSettings(); },
                                          .closePopup = [this] { hide(); },
                                      }),
      ownPID_(deps_.frontmostMonitor.ownPID()), self_(std::make_shared<PopupController*>(this))
{}

PopupController::~PopupController()
{
    if (scrapeTask_)
        scrapeTask_->cancel();
    stopPermissionPoll();
    removeMonitors();
    panel_.reset();
}

bool PopupController::isVisible() const
{
    return state_ == State::shown && panel_ && panel_->isVisible();
}

void PopupController::togglePopup()
{
    if (isVisible())
        hide();
    else
        showPopup();
}

// ---- Show flow

void PopupController::showPopup()
{
    if (onWillShow)
        onWillShow();
    if (!deps_.accessibility.isProcessTrusted()) {
        if (scrapeTask_)
            scrapeTask_->cancel();
        scrapeTask_.reset();
        show(NeedsPermission{});
        return;
    }

    const auto& front = deps_.frontmostMonitor.frontmostApp();
    shownAppPID_ = front ? front->pid : 0;
    if (!front) {
        showWithoutApp(startShowTask());
        return;
    }
    // An ignored application makes the trigger do nothing at all.
    if (front->bundleIdentifier && deps_.ignoreList.ignoredApps().contains(*front->bundleIdentifier))
        return;

    const auto key = deps_.menuReader.requestKey(*front);
    ShowRequest request;
    request.app.appName = front->name.empty() ? "App" : front->name;
    request.app.bundleIdentifier = front->bundleIdentifier;
    request.app.iconName = front->iconName;
    request.app.includesItemsWithoutShortcuts = key.includeAll;
    request.app.pid = front->pid;
    request.systemShortcuts = deps_.settings.boolean(keys::showSystemShortcuts);
    request.registeredShortcuts = deps_.settings.boolean(keys::showThirdPartyShortcuts);

    auto task = startShowTask();
    std::weak_ptr<PopupController*> alive = self_;
    auto deliver = [alive, task, request = std::move(request)](bool refresh) {
        return [alive, task, request, refresh](const MenuReadResult& menus) {
            if (auto self = alive.lock(); self && !task->isCancelled())
                (*self)->showMenus(request, menus, task, refresh);
        };
    };
    // A read older than the cache's lifetime is shown at once and its rows
    // are replaced in place when the new read ends. A read of a large menu
    // bar takes a tenth of a second or more, too long to hold the popup back
    // for; and a row from the older read cannot run the wrong command, since
    // a press checks the live menu item first.
    deps_.menuReader.obtainMenus(key, task, deliver(false), deliver(true));
}

std::shared_ptr<Cancellation> PopupController::startShowTask()
{
    if (scrapeTask_)
        scrapeTask_->cancel();
    if (shownTask_)
        shownTask_->cancel();
    scrapeTask_ = std::make_shared<Cancellation>();
    return scrapeTask_;
}

void PopupController::showWithoutApp(std::shared_ptr<Cancellation> task)
{
    if (!deps_.settings.boolean(keys::showSystemShortcuts)) {
        scrapeTask_.reset();
        show(NoApp{});
        return;
    }
    withExtraSections(true, false, task, [this](std::vector<MenuSection> sections) {
        if (sections.empty()) {
            show(NoApp{});
            return;
        }
        AppShortcuts system;
        system.appName = systemAppName;
        system.bundleIdentifier = std::string(systemBundleID);
        system.iconName = std::string(systemIconName);
        system.sections.push_back(std::move(sections.front()));
        show(std::move(system));
    });
}

void PopupController::showMenus(ShowRequest request, MenuReadResult menus, std::shared_ptr<Cancellation> task,
                                bool refresh)
{
    request.app.sections = std::move(menus.sections);
    request.app.ignoredMenuShortcuts = std::move(menus.ignoredShortcuts);
    request.app.answered = menus.answered;
    auto showApp = [this, app = std::move(request.app), task, refresh](std::vector<MenuSection> extra) mutable {
        app.sections.insert(app.sections.end(), std::make_move_iterator(extra.begin()),
                            std::make_move_iterator(extra.end()));
        showRead(std::move(app), task, refresh);
    };
    if (!request.systemShortcuts && !request.registeredShortcuts) {
        if (scrapeTask_ == task)
            scrapeTask_.reset();
        showApp({});
        return;
    }
    withExtraSections(request.systemShortcuts, request.registeredShortcuts, std::move(task), std::move(showApp));
}

void PopupController::withExtraSections(bool systemShortcuts, bool registeredShortcuts,
                                        std::shared_ptr<Cancellation> task,
                                        std::function<void(std::vector<MenuSection>)> then)
{
    // The continuation stays on the main thread; only the sources' values travel.
    std::weak_ptr<PopupController*> alive = self_;
    auto finish = [alive, task, then = std::move(then)](std::vector<MenuSection> sections) {
        auto self = alive.lock();
        if (!self || task->isCancelled())
            return;
        if ((*self)->scrapeTask_ == task)
            (*self)->scrapeTask_.reset();
        then(std::move(sections));
    };
    auto pending = std::make_shared<decltype(finish)>(std::move(finish));
    deps_.background.run(platform::TaskPriority::userInitiated, [extra = deps_.extraSections, systemShortcuts,
                                                                 registeredShortcuts, pending,
                                                                 &mainQueue = deps_.mainQueue]() mutable {
        auto sections = extra ? extra(systemShortcuts, registeredShortcuts) : std::vector<MenuSection>{};
        mainQueue.post([pending = std::move(pending), sections = std::move(sections)]() mutable {
            (*pending)(std::move(sections));
        });
    });
}

void PopupController::showRead(AppShortcuts app, const std::shared_ptr<Cancellation>& task, bool refresh)
{
    if (shownTask_ != task) {
        // Either read may end first; the older one never replaces the newer.
        shownTask_ = task;
        show(std::move(app));
    } else if (refresh && state_ == State::shown) {
        replaceShownRows(std::move(app));
    }
}

void PopupController::replaceShownRows(AppShortcuts app)
{
    if (!filterModel_ || app.hasNoShortcuts()) {
        show(std::move(app));
        return;
    }
    app.sections = layout::withoutStrayLines(std::move(app.sections));
    layout::keepRowIdentities(filterModel_->app().sections, app.sections);
    ignoredMenuShortcuts_ = app.ignoredMenuShortcuts;
    auto columnLayout = layout::layoutColumns(app, listVisibleFrame_, deps_.settings.boolean(keys::wrapLongSections),
                                              panel_->columnWidthFor(app));
    const double width = columnLayout.width;
    filterModel_->setColumnWidth(columnLayout.columnWidth);
    filterModel_->replaceRows(std::move(app), std::move(columnLayout.columns));
    const auto frame = layout::panelFrame(columnLayout, panel_->fittingHeight(width)).frame;
    if (frame != panelFrame_)
        setPanelFrame(frame);
}

// ---- Showing and hiding

void PopupController::show(PopupContent content)
{
    if (std::holds_alternative<NeedsPermission>(content))
        startPermissionPoll();
    else
        stopPermissionPoll();

    if (const auto* app = std::get_if<AppShortcuts>(&content)) {
        countPopupOpening(deps_.settings);
        ignoredMenuShortcuts_ = app->ignoredMenuShortcuts;
        currentAppName_ = app->appName;
    }

    if (!panel_)
        panel_ = deps_.makePanel(panelEvents());

    // The panel lets go of the previous model only once it shows the new content.
    auto previous = std::move(filterModel_);
    if (previous) {
        lastFilterQuery_ = previous->query();
        lastFilterBundleID_ = previous->app().bundleIdentifier;
    }
    fillPanel(content);
    previous.reset();

    ++animationGeneration_;
    state_ = State::shown;
    panel_->fadeIn(fadeInDuration);
    installMonitors();
    // The keys held now, once the monitors follow them: a trigger's modifiers
    // released while the panel came up are not held any more.
    setHeldModifiers(deps_.eventMonitors.currentModifierFlags());
}

void PopupController::fillPanel(PopupContent& content)
{
    const auto visibleFrame =
        layout::popupVisibleFrame(Settings(deps_.settings).popupDisplayMode(), deps_.screens, deps_.workspace);
    auto* app = std::get_if<AppShortcuts>(&content);
    if (std::holds_alternative<NoApp>(content))
        panel_->showNoApp();
    else if (std::holds_alternative<NeedsPermission>(content))
        panel_->showPermissionRequest();
    else if (app->hasNoShortcuts() && !app->answered)
        panel_->showNotAnswering(app->appName);
    else if (app->hasNoShortcuts())
        panel_->showNoShortcuts(app->appName);
    else {
        showShortcutList(std::move(*app), visibleFrame);
        return;
    }
    setPanelFrame(layout::centred(layout::messageSize(content).value_or(platform::Size{}), visibleFrame));
}

void PopupController::showShortcutList(AppShortcuts app, const platform::Rect& visibleFrame)
{
    app.sections = layout::withoutStrayLines(std::move(app.sections));
    listVisibleFrame_ = visibleFrame;
    auto columnLayout = layout::layoutColumns(app, visibleFrame, deps_.settings.boolean(keys::wrapLongSections),
                                              panel_->columnWidthFor(app));

    // Whether the list scrolls is known only once the panel has measured it;
    // the estimate from the rows is right unless the list is close to the limit.
    const bool estimate = columnsMayFit(columnLayout);
    const double columnWidth = columnLayout.columnWidth;
    auto model = makeFilterModel(std::move(app), std::move(columnLayout.columns), columnWidth, estimate);
    panel_->showShortcuts(model);
    const auto panelFrame = layout::panelFrame(columnLayout, panel_->fittingHeight(columnLayout.width));
    if (panelFrame.fitsWithoutScrolling != estimate) {
        auto measured = makeFilterModel(model->app(), model->columns(), columnWidth, panelFrame.fitsWithoutScrolling);
        panel_->showShortcuts(measured);
        model = std::move(measured);
    }
    filterModel_ = std::move(model);
    setPanelFrame(panelFrame.frame);
}

void PopupController::setPanelFrame(const platform::Rect& frame)
{
    panelFrame_ = frame;
    panel_->setFrame(frame);
}

std::shared_ptr<PopupFilterModel> PopupController::makeFilterModel(AppShortcuts app, PopupFilterModel::Columns columns,
                                                                   double columnWidth, bool fitsWithoutScrolling) const
{
    auto model = std::make_shared<PopupFilterModel>(std::move(app), std::move(columns), fitsWithoutScrolling,
                                                    deps_.settings, deps_.favourites, deps_.ignoreList);
    model->setColumnWidth(columnWidth);
    const auto& bundleID = model->app().bundleIdentifier;
    const bool ignoredRowsShowWhenFiltering = deps_.ignoreList.isEnabled() && deps_.ignoreList.showWhenFiltering();
    if (!ignoredRowsShowWhenFiltering && bundleID && bundleID == lastFilterBundleID_)
        model->setQuery(lastFilterQuery_);
    return model;
}

void PopupController::hide()
{
    removeMonitors();
    stopPermissionPoll();
    ignoredMenuShortcuts_.clear();
    currentAppName_.clear();
    if (!panel_)
        return;

    const auto generation = ++animationGeneration_;
    state_ = State::fadingOut;
    panel_->fadeOut(fadeOutDuration);
    std::weak_ptr<PopupController*> alive = self_;
    deps_.mainQueue.postAfter(fadeOutDuration, [alive, generation] {
        auto self = alive.lock();
        if (!self)
            return;
        auto& controller = **self;
        // A show or hide since then owns the panel.
        if (controller.animationGeneration_ != generation || !controller.panel_)
            return;
        controller.panel_->orderOut();
        controller.panel_.reset();
        controller.state_ = State::hidden;
    });
}

std::optional<std::string> PopupController::reasonNotToRun(const Shortcut& shortcut)
{
    const std::string appName = filterModel_ ? filterModel_->app().appName : std::string();
    if (shortcut.cannotRunHere) {
        const auto keys = notation::keyLabel(shortcut.keys, Settings(deps_.settings).keyLabels());
        return fmt::format("Press {} yourself: this desktop lets no program run “{}” in {}.", keys, shortcut.title,
                           appName);
    }
    if (shortcut.axElement
        && platform::readBoolean(deps_.accessibility, shortcut.axElement, platform::ax::enabled) == false) {
        deps_.log.info(platform::LogCategory::accessibility, "Skipping press — item '{}' is now disabled",
                       platform::privately(shortcut.title));
        return fmt::format("“{}” is disabled in {} right now, so it was not run.", shortcut.title, appName);
    }
    return std::nullopt;
}

void PopupController::activate(const Shortcut& shortcut)
{
    if (auto reason = reasonNotToRun(shortcut)) {
        if (filterModel_)
            filterModel_->setNotice(std::move(*reason));
        return;
    }
    hide();
    pressAfterClosing(shortcut);
}

void PopupController::openSettings()
{
    // The popup stays above every window and holds the keyboard: it goes first.
    hide();
    if (onOpenSettings)
        onOpenSettings();
}

void PopupController::pressAfterClosing(const Shortcut& shortcut)
{
    // A command whose application has quit fails here and is logged; the popup is closed all the same.
    if (shortcut.axElement)
        press(deps_.accessibility, deps_.log, shortcut);
}

// ---- Permission poll

void PopupController::startPermissionPoll()
{
    if (permissionPollTimer_)
        return;
    std::weak_ptr<PopupController*> alive = self_;
    permissionPollTimer_ = deps_.mainQueue.postAfter(permissionPollInterval, [alive] {
        if (auto self = alive.lock())
            (*self)->pollPermission();
    });
}

void PopupController::pollPermission()
{
    permissionPollTimer_.reset();
    if (!deps_.accessibility.isProcessTrusted()) {
        startPermissionPoll();
        return;
    }
    if (onPermissionGranted)
        onPermissionGranted();
}

void PopupController::stopPermissionPoll()
{
    if (permissionPollTimer_)
        deps_.mainQueue.cancel(*permissionPollTimer_);
    permissionPollTimer_.reset();
}

// ---- Input while shown

PopupPanelEvents PopupController::panelEvents()
{
    PopupPanelEvents events;
    events.keyDown = [this](const platform::KeyEvent& key) { return panelKeyDown(key); };
    // The desktop's monitor, where there is one, sees every change of the
    // modifiers in order, also those made before the panel had the keyboard;
    // the panel's own events may reach the main thread after the monitor's
    // later ones, and would bring back a modifier already released.
    events.flagsChanged = [this](std::uint64_t flags) {
        if (!followsDesktopFlags_)
            setHeldModifiers(flags);
    };
    events.activate = [this](const Shortcut& shortcut) { activate(shortcut); };
    events.chooseOption = [this](std::size_t option) {
        if (filterModel_)
            perform(keyboard_.chooseOption(option, *filterModel_));
    };
    events.grant = [this] {
        if (onGrant)
            onGrant();
    };
    events.openSettings = [this] { openSettings(); };
    events.dismissTip = [this] {
        if (filterModel_)
            filterModel_->setTipIndex(dismissTip(filterModel_->tipIndex(), deps_.settings));
    };
    events.followNudge = [this] {
        if (deps_.openAddress)
            followNudge(deps_.settings, deps_.openAddress);
        else
            dismissNudge(deps_.settings);
    };
    events.dismissNudge = [this] { dismissNudge(deps_.settings); };
    events.lostActivation = [this] {
        if (state_ == State::shown)
            hide();
    };
    return events;
}

void PopupController::installMonitors()
{
    removeMonitors();
    ownWindowActive_ = false;
    auto& monitors = deps_.eventMonitors;
    auto keep = [this](std::optional<platform::EventMonitors::Token> token) {
        if (token)
            eventMonitors_.push_back(*token);
    };
    keep(monitors.addMouseDownMonitor([this](platform::MouseButton button) {
        // Clicks into the panel are its own, whatever the monitor reports.
        if (button == platform::MouseButton::other || panelFrame_.contains(deps_.screens.mouseLocation()))
            return;
        hide();
    }));
    keep(monitors.addKeyDownMonitor([this](const platform::KeyEvent& key) { globalKeyDown(key); }));
    const auto flagsMonitor = monitors.addFlagsChangedMonitor([this](std::uint64_t flags) { setHeldModifiers(flags); });
    followsDesktopFlags_ = flagsMonitor.has_value();
    keep(flagsMonitor);
    workspaceObserver_ =
        deps_.workspace.addActivationObserver([this](const std::optional<platform::RunningApplication>& app) {
            ownWindowActive_ = app && app->pid == ownPID_;
            // Another application in front; this program's own dialogs, and
            // the shown application coming back after them, are no change.
            if (app && !ownWindowActive_ && app->pid != shownAppPID_)
                hide();
        });
}

void PopupController::removeMonitors()
{
    for (auto token : eventMonitors_)
        deps_.eventMonitors.removeMonitor(token);
    eventMonitors_.clear();
    followsDesktopFlags_ = false;
    if (workspaceObserver_)
        deps_.workspace.removeActivationObserver(*workspaceObserver_);
    workspaceObserver_.reset();
}

bool PopupController::isTriggerKey(const platform::KeyEvent& key) const
{
    const auto hotkey = loadHotkey(deps_.settings);
    return hotkey && key.keyCode == hotkey->keyCode && carbonModifiers(key.modifierFlags) == hotkey->carbonModifiers;
}

bool PopupController::panelKeyDown(const platform::KeyEvent& key)
{
    // While the panel holds the keyboard the desktop's hot key cannot fire:
    // its combination typed here is the trigger. A held key's repeats are
    // neither a trigger nor text.
    if (isTriggerKey(key)) {
        if (!key.isRepeat)
            togglePopup();
        return true;
    }
    if (!filterModel_ || state_ != State::shown) {
        // Messages have nothing to clear: Escape closes them.
        if (key.keyCode != escapeKeyCode)
            return false;
        hide();
        return true;
    }
    auto outcome = keyboard_.keyDown(key, *filterModel_);
    const bool consumed = outcome.consumed;
    perform(std::move(outcome));
    return consumed;
}

void PopupController::globalKeyDown(const platform::KeyEvent& key)
{
    // An Escape typed into the panel has been handled as the panel's own key,
    // one typed into this program's dialog (the export's) is the dialog's.
    if (key.keyCode != escapeKeyCode || (panel_ && panel_->hasKeyboard()) || ownWindowActive_)
        return;
    if (!filterModel_) {
        hide();
        return;
    }
    perform(keyboard_.escape(*filterModel_));
}

void PopupController::setHeldModifiers(std::uint64_t flags)
{
    if (filterModel_)
        filterModel_->setHeldModifiers(modifierGlyphs(flags));
}

void PopupController::perform(KeyOutcome outcome)
{
    if (outcome.press) {
        if (auto reason = reasonNotToRun(*outcome.press)) {
            if (filterModel_)
                filterModel_->setNotice(std::move(*reason));
            return;
        }
    }
    if (outcome.closesPopup)
        hide();
    if (outcome.press)
        pressAfterClosing(*outcome.press);
    if (outcome.ownAction)
        outcome.ownAction();
}

} // namespace hb
