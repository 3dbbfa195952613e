#pragma once

#include <sys/types.h>

#include <chrono>
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GVariant GVariant;

// Menus that applications export on the session bus: a GMenuModel
// (org.gtk.Menus) with its actions (org.gtk.Actions), as GtkApplication does
// for its menu bar and application menu, or a com.canonical.dbusmenu tree.
namespace hb::linux_platform {

// Where a window's exported menus live, from its X11 properties.
struct ExportedMenuAddress {
    std::string busName;         // _GTK_UNIQUE_BUS_NAME
    std::string menuBarPath;     // _GTK_MENUBAR_OBJECT_PATH
    std::string appMenuPath;     // _GTK_APP_MENU_OBJECT_PATH
    std::string applicationPath; // _GTK_APPLICATION_OBJECT_PATH: the "app." actions
    std::string windowPath;      // _GTK_WINDOW_OBJECT_PATH: the "win." actions
    // A com.canonical.dbusmenu menu bar instead (KDE's global menu).
    std::string dbusMenuService; // _KDE_NET_WM_APPMENU_SERVICE_NAME
    std::string dbusMenuPath;    // _KDE_NET_WM_APPMENU_OBJECT_PATH

    friend bool operator==(const ExportedMenuAddress&, const ExportedMenuAddress&) = default;
};

// The action of a dbusmenu item: "dbusmenu." and its id.
inline constexpr std::string_view dbusMenuActionPrefix = "dbusmenu.";

// The address named by a window of the process: its active window when that
// exports menus, else another of its managed windows. Absent without an X11
// display or when no window of the process names a menu model.
std::optional<ExportedMenuAddress> exportedMenuAddress(pid_t pid);
// The same for a process that exports actions without menus (a GTK 4
// application with a header bar): any of its windows that names a bus name.
std::optional<ExportedMenuAddress> exportedActionsAddress(pid_t pid);

// A menu of a model: its subscription group and its number in the group.
struct MenuLink {
    std::uint32_t group = 0;
    std::uint32_t menu = 0;
    friend auto operator<=>(const MenuLink&, const MenuLink&) = default;
};

struct ExportedMenuItem {
    std::string label;         // mnemonic marks removed
    std::string action;        // "app.new", "win.save"; empty when the item has none
    std::string target;        // the action's parameter in GVariant text form; empty for none
    std::string accel;         // "<Primary>n"; empty for none
    std::string hiddenWhen;    // "action-missing", "action-disabled" or empty
    std::string submenuAction; // the action that fills the submenu ("submenu-action")
    std::optional<MenuLink> section;
    std::optional<MenuLink> submenu;
};

struct ExportedMenu {
    MenuLink id;
    std::vector<ExportedMenuItem> items;
};

// The reply of org.gtk.Menus.Start, "(a(uuaa{sv}))", as menus. Entries of
// another shape are skipped.
std::vector<ExportedMenu> parseMenusReply(GVariant* reply);
// "_Save _As…" → "Save As…"; "__" stands for "_".
std::string withoutMnemonics(std::string_view label);

// One exported menu model as read: its menus by link, the root at {0, 0}.
struct MenuModel {
    std::map<MenuLink, std::vector<ExportedMenuItem>> menus;
    std::size_t itemCount = 0;
    bool truncated = false;              // items or levels beyond the bounds were left out
    std::map<std::string, bool> enabled; // dbusmenu: each item's action → enabled
};

// com.canonical.dbusmenu's GetLayout reply "(u(ia{sv}av))" as a model: the
// children of the item with id N form the menu {N, 0}, the root's {0, 0};
// an item's action is dbusMenuActionPrefix and its id, its "shortcut" becomes
// the accelerator in GTK's form; separators have no label, invisible items
// are left out. At most `maxItems` items, nested at most 64 deep.
MenuModel parseDbusMenuLayout(GVariant* reply, std::size_t maxItems);

// The bus requests a read makes, on the D-Bus object `path` of `busName`.
class MenuBus {
public:
    enum class Failure { none, refused, timedOut };

    virtual ~MenuBus() = default;
    virtual void setTimeout(std::chrono::milliseconds timeout) = 0;
    // org.gtk.Menus.Start: subscribes to the groups and gives their menus.
    virtual std::optional<std::vector<ExportedMenu>> start(const std::string& busName, const std::string& path,
                                                           const std::vector<std::uint32_t>& groups) = 0;
    virtual void end(const std::string& busName, const std::string& path, const std::vector<std::uint32_t>& groups) = 0;
    // org.gtk.Actions.DescribeAll: whether each action of the group is enabled.
    virtual std::optional<std::map<std::string, bool>> describeAll(const std::string& busName,
                                                                   const std::string& path) = 0;
    // org.gtk.Actions.Describe of one action: whether it is enabled.
    virtual std::optional<bool> describe(const std::string& busName, const std::string& path,
                                         const std::string& action) = 0;
    // org.gtk.Actions.Activate, with the target (GVariant text) as parameter;
    // true once sent: the command runs after, without a reply.
    virtual bool activate(const std::string& busName, const std::string& path, const std::string& action,
                          const std::string& target) = 0;
    // com.canonical.dbusmenu.GetLayout of the whole tree, as a model.
    virtual std::optional<MenuModel> dbusMenuLayout(const std::string& busName, const std::string& path,
                                                    std::size_t maxItems) = 0;
    // com.canonical.dbusmenu.Event "clicked" on the item, sent the same way.
    virtual bool dbusMenuClick(const std::string& busName, const std::string& path, std::int32_t id) = 0;
    // How the last request of this thread failed.
    virtual Failure lastFailure() const = 0;
};

// MenuBus on a session-bus connection of its own; calls block the calling
// thread up to the timeout and need no main loop. Safe from any thread.
std::unique_ptr<MenuBus> makeSessionMenuBus();

struct MenuModelBounds {
    std::size_t maxItems = 250'000;
    int maxLevels = 16; // subscription waves: each reaches one more level of submenus
};

// Reads the model at `path`: subscribes to the root group, then in waves to
// every group that the menus read so far link to (one request a wave), and
// ends the subscriptions. A group is asked for once, so links that cycle end.
// Absent when the first request fails; `requests` counts the bus requests.
std::optional<MenuModel> readMenuModel(MenuBus& bus, const std::string& busName, const std::string& path,
                                       const MenuModelBounds& bounds, int& requests);

// The entries a menu shows, in order: sections are flattened in place with a
// separator (null) between a section and the entries around it; at most
// `maxItems` entries. A section reached again inside itself is left out.
std::vector<const ExportedMenuItem*> shownItems(const MenuModel& model, MenuLink menu, std::size_t maxItems);

} // namespace hb::linux_platform
