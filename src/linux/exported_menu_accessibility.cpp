#include "linux/exported_menu_accessibility.h"

#include "linux/atspi_accessibility.h"
#include "linux/atspi_key_binding.h"
#include "linux/shortcut_runner.h"
#include "menus/menu_bar_reader.h"
#include "model/text.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <tuple>

namespace hb::linux_platform {

using platform::AttributeNumber;
using platform::AttributeValue;
using platform::ElementRef;
using platform::LogCategory;
namespace ax = platform::ax;

namespace {

constexpr std::size_t maxItems = MenuBarReader::maxItemsPerRead;
// How many menus above an item its place is looked for in.
constexpr int maxMenuDepth = 16;

// A menu bar as read once: the models and the actions' enabled states.
struct Snapshot {
    ExportedMenuAddress address;
    MenuModel menuBar;
    std::optional<MenuModel> appMenu;
    std::optional<std::map<std::string, bool>> actions; // "app.new" → enabled; absent when not described

    const MenuModel& model(bool application) const { return application ? *appMenu : menuBar; }

    bool hidden(const ExportedMenuItem& item) const
    {
        if (!actions || item.hiddenWhen.empty())
            return false;
        auto found = actions->find(item.action);
        if (item.hiddenWhen == "action-missing")
            return found == actions->end();
        if (item.hiddenWhen == "action-disabled")
            return found == actions->end() || !found->second;
        return false;
    }
};
using SnapshotRef = std::shared_ptr<const Snapshot>;

class Element : public platform::AccessibleElement {};

class ApplicationElement final : public Element {
public:
    explicit ApplicationElement(pid_t pid) : pid(pid) {}
    const pid_t pid;
};

// A menu bar or menu: its entries are its children.
class MenuElement final : public Element {
public:
    MenuElement(SnapshotRef snapshot, bool application, MenuLink link, bool bar)
        : snapshot(std::move(snapshot)), application(application), link(link), bar(bar)
    {}
    const SnapshotRef snapshot;
    const bool application; // a menu of the application menu's model
    const MenuLink link;
    const bool bar; // the menu bar itself
};

// An entry of a menu; a separator has no item and no title.
class ItemElement final : public Element {
public:
    ItemElement(SnapshotRef snapshot, bool application, const ExportedMenuItem* item, std::string title,
                std::optional<MenuLink> submenu)
        : snapshot(std::move(snapshot)), application(application), item(item), title(std::move(title)), submenu(submenu)
    {}
    const SnapshotRef snapshot;
    const bool application;
    const ExportedMenuItem* item; // owned by the snapshot
    const std::string title;
    const std::optional<MenuLink> submenu;
};

ElementRef itemElement(const SnapshotRef& snapshot, bool application, const ExportedMenuItem* item)
{
    if (!item)
        return std::make_shared<ItemElement>(snapshot, application, nullptr, "", std::nullopt);
    return std::make_shared<ItemElement>(snapshot, application, item, item->label, item->submenu);
}

std::vector<ElementRef> children(const MenuElement& menu)
{
    const auto& snapshot = *menu.snapshot;
    std::vector<ElementRef> children;
    if (menu.bar && snapshot.appMenu && snapshot.appMenu->menus.contains(MenuLink{})) {
        // Titled as GTK titles it in the window.
        children.push_back(std::make_shared<ItemElement>(menu.snapshot, true, nullptr, "Application", MenuLink{}));
    }
    if (menu.bar && snapshot.menuBar.menus.empty())
        return children;
    // Separators as the menu shows them: none around hidden entries, none on the menu bar.
    bool separatorDue = false;
    // LibreOffice links its menu bar's menus twice into the exported model; the window shows them once.
    std::set<std::tuple<std::string, std::string, std::string>> barMenus;
    for (const auto* item : shownItems(snapshot.model(menu.application), menu.link, maxItems)) {
        if (!item) {
            separatorDue = !menu.bar && !children.empty();
            continue;
        }
        if (snapshot.hidden(*item))
            continue;
        if (menu.bar && !barMenus.emplace(item->label, item->action, item->submenuAction).second)
            continue;
        if (separatorDue)
            children.push_back(itemElement(menu.snapshot, menu.application, nullptr));
        separatorDue = false;
        children.push_back(itemElement(menu.snapshot, menu.application, item));
    }
    return children;
}

// Which actions of the application and window are enabled.
void describeActions(MenuBus& bus, Snapshot& snapshot, int& requests)
{
    const auto& address = snapshot.address;
    using Group = std::pair<std::string, std::string>;
    for (const auto& [prefix, path] : {Group{"app.", address.applicationPath}, Group{"win.", address.windowPath}}) {
        if (path.empty())
            continue;
        ++requests;
        auto described = bus.describeAll(address.busName, path);
        if (!described)
            continue;
        if (!snapshot.actions)
            snapshot.actions.emplace();
        for (const auto& [name, enabled] : *described)
            snapshot.actions->emplace(prefix + name, enabled);
    }
}

// The dbusmenu item id of an action, when it names one.
std::optional<std::int32_t> dbusMenuItem(std::string_view action)
{
    if (!action.starts_with(dbusMenuActionPrefix))
        return std::nullopt;
    try {
        return std::stoi(std::string(action.substr(dbusMenuActionPrefix.size())));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool hasAccelerators(const MenuModel& model)
{
    for (const auto& [link, items] : model.menus)
        for (const auto& item : items)
            if (!item.accel.empty())
                return true;
    return false;
}

// The object that holds an action's group, and the action's name there.
std::optional<std::pair<std::string, std::string>> actionObject(const ExportedMenuAddress& address,
                                                                std::string_view action)
{
    const auto dot = action.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const auto prefix = action.substr(0, dot);
    const std::string path = prefix == "app" ? address.applicationPath : prefix == "win" ? address.windowPath : "";
    if (path.empty())
        return std::nullopt;
    return std::pair{path, std::string(action.substr(dot + 1))};
}

// The titles from the menu bar down to the item, read upwards through the
// parents; empty when the item is not in a menu bar. Qt's untitled popup
// menus between an item and its menu's item are passed over.
std::vector<std::string> menuTitlePath(platform::Accessibility& accessibility, ElementRef element)
{
    std::vector<std::string> titles;
    for (int depth = 0; element && depth <= maxMenuDepth; ++depth) {
        const auto role = platform::readText(accessibility, element, atspi_attribute::role);
        if (!role)
            return {};
        if (*role == "menu bar") {
            std::ranges::reverse(titles);
            return titles;
        }
        if (*role != "popup menu") {
            auto title = platform::readText(accessibility, element, ax::title);
            if (!title)
                return {};
            titles.push_back(text::sanitizedMenuTitle(*title));
        }
        element = platform::readElement(accessibility, element, atspi_attribute::parent);
    }
    return {};
}

ElementRef childTitled(platform::Accessibility& accessibility, const ElementRef& menu, const std::string& title)
{
    for (const auto& child : platform::readChildren(accessibility, menu))
        if (auto childTitle = platform::readText(accessibility, child, ax::title);
            childTitle && text::sanitizedMenuTitle(*childTitle) == title)
            return child;
    return nullptr;
}

} // namespace

ExportedMenuAccessibility::ExportedMenuAccessibility(platform::Log& log, std::unique_ptr<MenuBus> bus,
                                                     AddressLookup lookup)
    : log_(log), bus_(std::move(bus)), lookup_(std::move(lookup))
{}

ExportedMenuAccessibility::~ExportedMenuAccessibility() = default;

bool ExportedMenuAccessibility::presents(const ElementRef& element)
{
    return dynamic_cast<const Element*>(element.get()) != nullptr;
}

bool ExportedMenuAccessibility::answers(pid_t pid)
{
    std::lock_guard lock(mutex_);
    return !notAnswering_.contains(pid);
}

ExportedMenuAccessibility::MenuBar ExportedMenuAccessibility::readMenuBar(pid_t pid)
{
    {
        std::lock_guard lock(mutex_);
        if (notAnswering_.contains(pid))
            return {MenuBarState::notAnswering};
    }
    auto address = lookup_(pid);
    if (!address)
        return {MenuBarState::none};

    const auto start = std::chrono::steady_clock::now();
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->address = *address;
    int requests = 0;
    const MenuModelBounds bounds{maxItems};
    std::optional<MenuModel> menuBar;
    const bool gtkMenus = !address->menuBarPath.empty() || !address->appMenuPath.empty();
    if (!address->menuBarPath.empty())
        menuBar = readMenuModel(*bus_, address->busName, address->menuBarPath, bounds, requests);
    else if (!gtkMenus) {
        ++requests;
        menuBar = bus_->dbusMenuLayout(address->dbusMenuService, address->dbusMenuPath, bounds.maxItems);
        if (menuBar)
            snapshot->actions = menuBar->enabled;
    }
    // The bus keeps the failure of its last request, which may have gone to another application.
    if (!menuBar && requests > 0 && bus_->lastFailure() == MenuBus::Failure::timedOut) {
        std::lock_guard lock(mutex_);
        notAnswering_.insert(pid);
        log_.info(LogCategory::scraper, "pid {} does not answer requests for its exported menus", pid);
        return {MenuBarState::notAnswering};
    }
    if (gtkMenus && !address->appMenuPath.empty())
        snapshot->appMenu = readMenuModel(*bus_, address->busName, address->appMenuPath, bounds, requests);
    if (!menuBar && !snapshot->appMenu)
        return {MenuBarState::none};
    if (menuBar)
        snapshot->menuBar = std::move(*menuBar);

    // Which actions are enabled, for the entries hidden while their action is.
    if (gtkMenus)
        describeActions(*bus_, *snapshot, requests);

    const bool truncated = snapshot->menuBar.truncated || (snapshot->appMenu && snapshot->appMenu->truncated);
    if (truncated)
        log_.error(LogCategory::scraper,
                   "Exported menus of pid {} have more than {} items or {} submenu levels; read stopped there", pid,
                   bounds.maxItems, bounds.maxLevels);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    log_.info(LogCategory::scraper, "pid {}: exported menus of {} read in {} requests, {:.3f}s", pid,
              gtkMenus ? address->busName : address->dbusMenuService, requests, elapsed.count());
    const bool withKeys =
        hasAccelerators(snapshot->menuBar) || (snapshot->appMenu && hasAccelerators(*snapshot->appMenu));
    SnapshotRef shared = std::move(snapshot);
    return {MenuBarState::read, std::make_shared<MenuElement>(shared, false, MenuLink{}, true), withKeys};
}

ElementRef ExportedMenuAccessibility::applicationElement(pid_t pid)
{
    return std::make_shared<ApplicationElement>(pid);
}

void ExportedMenuAccessibility::setMessagingTimeout(const ElementRef& application,
                                                    std::chrono::duration<double> timeout)
{
    bus_->setTimeout(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
    if (const auto* element = dynamic_cast<const ApplicationElement*>(application.get())) {
        std::lock_guard lock(mutex_);
        notAnswering_.erase(element->pid);
    }
}

std::optional<AttributeValue> ExportedMenuAccessibility::copyAttribute(const ElementRef& reference,
                                                                       std::string_view attribute)
{
    if (const auto* application = dynamic_cast<const ApplicationElement*>(reference.get())) {
        if (attribute != ax::menuBar)
            return std::nullopt;
        if (auto bar = readMenuBar(application->pid).element)
            return bar;
        return std::nullopt;
    }
    if (const auto* menu = dynamic_cast<const MenuElement*>(reference.get())) {
        if (attribute == ax::children)
            return children(*menu);
        return std::nullopt;
    }
    const auto* element = dynamic_cast<const ItemElement*>(reference.get());
    if (!element)
        return std::nullopt;
    if (attribute == ax::title)
        return element->title;
    if (attribute == ax::children) {
        // A link to a menu the application did not send (or beyond the bounds) is no submenu.
        if (!element->submenu || !element->snapshot->model(element->application).menus.contains(*element->submenu))
            return std::vector<ElementRef>{};
        return std::vector<ElementRef>{
            std::make_shared<MenuElement>(element->snapshot, element->application, *element->submenu, false)};
    }
    const auto* item = element->item;
    if (attribute == ax::enabled) {
        if (!item || item->action.empty())
            return AttributeNumber{element->submenu ? 1.0 : 0.0};
        const auto& address = element->snapshot->address;
        if (dbusMenuItem(item->action)) {
            const auto& actions = element->snapshot->actions;
            if (!actions || !actions->contains(item->action))
                return std::nullopt;
            return AttributeNumber{actions->at(item->action) ? 1.0 : 0.0};
        }
        auto object = actionObject(address, item->action);
        if (!object)
            return std::nullopt;
        if (auto enabled = bus_->describe(address.busName, object->first, object->second))
            return AttributeNumber{*enabled ? 1.0 : 0.0};
        return std::nullopt;
    }
    if (isKeyAttribute(attribute)) {
        if (!item || item->accel.empty())
            return std::nullopt;
        const auto key = parseKeyBinding(item->accel, KeyBindingStyle::gtk, item->label, false);
        return key ? keyAttribute(*key, attribute) : std::nullopt;
    }
    return std::nullopt;
}

bool ExportedMenuAccessibility::performAction(const ElementRef& reference, std::string_view action)
{
    const auto* element = dynamic_cast<const ItemElement*>(reference.get());
    if (!element || action != ax::press || !element->item || element->item->action.empty())
        return false;
    const auto& address = element->snapshot->address;
    if (auto id = dbusMenuItem(element->item->action))
        return bus_->dbusMenuClick(address.dbusMenuService, address.dbusMenuPath, *id);
    auto object = actionObject(address, element->item->action);
    if (!object)
        return false;
    return bus_->activate(address.busName, object->first, object->second, element->item->target);
}

// --- MenuExportingAccessibility ---

class MenuExportingAccessibility::Application final : public platform::AccessibleElement {
public:
    Application(pid_t pid, ElementRef fallback) : pid(pid), fallback(std::move(fallback)) {}
    const pid_t pid;
    const ElementRef fallback;
};

MenuExportingAccessibility::MenuExportingAccessibility(ExportedMenuAccessibility& exported,
                                                       platform::Accessibility& fallback, SessionKind session,
                                                       PressKeys pressKeys)
    : exported_(exported), fallback_(fallback), session_(session),
      pressKeys_(pressKeys ? std::move(pressKeys) : PressKeys(pressKeysWithXTest))
{}

bool MenuExportingAccessibility::isProcessTrusted()
{
    return fallback_.isProcessTrusted();
}

bool MenuExportingAccessibility::requestTrust()
{
    return fallback_.requestTrust();
}

ElementRef MenuExportingAccessibility::applicationElement(pid_t pid)
{
    return std::make_shared<Application>(pid, fallback_.applicationElement(pid));
}

void MenuExportingAccessibility::setMessagingTimeout(const ElementRef& application,
                                                     std::chrono::duration<double> timeout)
{
    const auto* combined = dynamic_cast<const Application*>(application.get());
    if (!combined) {
        fallback_.setMessagingTimeout(application, timeout);
        return;
    }
    exported_.setMessagingTimeout(exported_.applicationElement(combined->pid), timeout);
    fallback_.setMessagingTimeout(combined->fallback, timeout);
}

std::optional<AttributeValue> MenuExportingAccessibility::copyAttribute(const ElementRef& element,
                                                                        std::string_view attribute)
{
    if (const auto* combined = dynamic_cast<const Application*>(element.get())) {
        if (attribute == ax::menuBar)
            return menuBar(*combined);
        // Offered by the layer above (ShortcutsWindowAccessibility): asking
        // AT-SPI would cost a request, to an application that may not answer.
        if (attribute == ax::shortcutsWindow)
            return std::nullopt;
        return fallback_.copyAttribute(combined->fallback, attribute);
    }
    if (ExportedMenuAccessibility::presents(element))
        return exported_.copyAttribute(element, attribute);
    return fallback_.copyAttribute(element, attribute);
}

std::optional<AttributeValue> MenuExportingAccessibility::menuBar(const Application& application)
{
    using State = ExportedMenuAccessibility::MenuBarState;
    const pid_t pid = application.pid;
    bool preferFallback = false;
    {
        std::lock_guard lock(mutex_);
        preferFallback = fallbackPreferred_.contains(pid);
    }
    if (preferFallback) {
        if (auto bar = fallback_.copyAttribute(application.fallback, ax::menuBar))
            return bar;
        // It may not answer at all: one path per read, the exported menus next time.
        std::lock_guard lock(mutex_);
        fallbackPreferred_.erase(pid);
        return std::nullopt;
    }
    auto exported = exported_.readMenuBar(pid);
    if (exported.state == State::notAnswering)
        return std::nullopt;
    if (exported.state == State::read && exported.withKeys)
        return exported.element;
    if (auto bar = fallback_.copyAttribute(application.fallback, ax::menuBar)) {
        if (exported.state == State::read) {
            exported_.log().info(platform::LogCategory::scraper,
                                 "pid {}: its exported menus name no accelerators; reading its accessible menus", pid);
            std::lock_guard lock(mutex_);
            fallbackPreferred_.insert(pid);
        }
        return bar;
    }
    if (exported.state == State::read)
        return exported.element;
    return std::nullopt;
}

bool MenuExportingAccessibility::performAction(const ElementRef& element, std::string_view action)
{
    if (const auto* combined = dynamic_cast<const Application*>(element.get()))
        return fallback_.performAction(combined->fallback, action);
    if (ExportedMenuAccessibility::presents(element))
        return exported_.performAction(element, action);
    if (action == ax::press) {
        if (auto twin = exportedTwin(element))
            return exported_.performAction(twin, action);
        if (pressAccelerator(element))
            return true;
    }
    return fallback_.performAction(element, action);
}

bool MenuExportingAccessibility::pressAccelerator(const ElementRef& item)
{
    if (session_ != SessionKind::x11)
        return false;
    const auto accelerator = platform::readText(fallback_, item, atspi_attribute::gtkAccelerator);
    if (!accelerator)
        return false;
    const auto pid = platform::readInteger(fallback_, item, atspi_attribute::processIdentifier);
    if (pid && pressKeys_(static_cast<pid_t>(*pid), *accelerator)) {
        exported_.log().info(platform::LogCategory::accessibility, "pid {}: pressing {} for its menu item", *pid,
                             *accelerator);
        return true;
    }
    exported_.log().error(platform::LogCategory::accessibility,
                          "Cannot press {} in the window of pid {}; pressing its menu item over AT-SPI", *accelerator,
                          pid.value_or(0));
    return false;
}

ElementRef MenuExportingAccessibility::exportedTwin(const ElementRef& item)
{
    const auto pid = platform::readInteger(fallback_, item, atspi_attribute::processIdentifier);
    // One that let a request time out is not kept waiting twice.
    if (!pid || !fallback_.answers(static_cast<pid_t>(*pid)))
        return nullptr;
    const auto bar = exported_.readMenuBar(static_cast<pid_t>(*pid));
    if (bar.state != ExportedMenuAccessibility::MenuBarState::read)
        return nullptr;
    const auto titles = menuTitlePath(fallback_, item);
    if (titles.empty())
        return nullptr;
    ElementRef menu = bar.element;
    ElementRef found;
    for (std::size_t level = 0; level < titles.size(); ++level) {
        if (level > 0) {
            // Below the menu bar, an item's first child is its menu.
            const auto menus = platform::readChildren(exported_, found);
            if (menus.empty())
                return nullptr;
            menu = menus.front();
        }
        found = childTitled(exported_, menu, titles[level]);
        if (!found)
            return nullptr;
    }
    return found;
}

bool MenuExportingAccessibility::answers(pid_t pid)
{
    return exported_.answers(pid) && fallback_.answers(pid);
}

} // namespace hb::linux_platform
