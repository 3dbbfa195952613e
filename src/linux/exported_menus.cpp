#include "linux/exported_menus.h"

#include "linux/xcb_reply.h"

#include <gio/gio.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace hb::linux_platform {

namespace {

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

std::string stringEntry(GVariant* dictionary, const char* key)
{
    const gchar* value = nullptr;
    if (g_variant_lookup(dictionary, key, "&s", &value) && value)
        return value;
    return {};
}

std::optional<MenuLink> linkEntry(GVariant* dictionary, const char* key)
{
    guint32 group = 0;
    guint32 menu = 0;
    if (g_variant_lookup(dictionary, key, "(uu)", &group, &menu))
        return MenuLink{group, menu};
    return std::nullopt;
}

ExportedMenuItem parseItem(GVariant* dictionary)
{
    ExportedMenuItem item;
    item.label = withoutMnemonics(stringEntry(dictionary, "label"));
    item.action = stringEntry(dictionary, "action");
    item.accel = stringEntry(dictionary, "accel");
    if (item.accel.empty())
        item.accel = stringEntry(dictionary, "x-canonical-accel");
    item.hiddenWhen = stringEntry(dictionary, "hidden-when");
    item.submenuAction = stringEntry(dictionary, "submenu-action");
    if (Variant target{g_variant_lookup_value(dictionary, "target", nullptr)}) {
        gchar* text = g_variant_print(target.get(), TRUE);
        item.target = text;
        g_free(text);
    }
    item.section = linkEntry(dictionary, ":section");
    item.submenu = linkEntry(dictionary, ":submenu");
    return item;
}

// --- The X11 side: which window names the menus. ---

constexpr std::array<std::string_view, 10> atomNames = {"_NET_ACTIVE_WINDOW",
                                                        "_NET_CLIENT_LIST",
                                                        "_NET_WM_PID",
                                                        "_GTK_UNIQUE_BUS_NAME",
                                                        "_GTK_MENUBAR_OBJECT_PATH",
                                                        "_GTK_APP_MENU_OBJECT_PATH",
                                                        "_GTK_APPLICATION_OBJECT_PATH",
                                                        "_GTK_WINDOW_OBJECT_PATH",
                                                        "_KDE_NET_WM_APPMENU_SERVICE_NAME",
                                                        "_KDE_NET_WM_APPMENU_OBJECT_PATH"};
enum Atom {
    activeWindow,
    clientList,
    wmPid,
    busName,
    menuBarPath,
    appMenuPath,
    applicationPath,
    windowPath,
    dbusMenuService,
    dbusMenuPath
};

class X11Properties {
public:
    X11Properties() : connection_(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(connection_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        atoms_ = internAtoms(connection_, atomNames);
    }
    ~X11Properties() { xcb_disconnect(connection_); }
    X11Properties(const X11Properties&) = delete;
    X11Properties& operator=(const X11Properties&) = delete;

    bool usable() const { return !xcb_connection_has_error(connection_); }

    // With `menusOnly`, only a window that names a menu model counts.
    std::optional<ExportedMenuAddress> address(pid_t pid, bool menusOnly = true)
    {
        auto windows = windowList(root_, atoms_[clientList]);
        auto active = windowList(root_, atoms_[activeWindow]);
        // The windows' process ids, asked for all at once.
        std::vector<xcb_get_property_cookie_t> cookies;
        for (auto window : windows)
            cookies.push_back(xcb_get_property(connection_, 0, window, atoms_[wmPid], XCB_ATOM_CARDINAL, 0, 1));
        std::vector<xcb_window_t> own;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            auto reply = xcbReply(xcb_get_property_reply(connection_, cookies[i], nullptr));
            if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 4
                && static_cast<pid_t>(*static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()))) == pid)
                own.push_back(windows[i]);
        }
        if (!active.empty()) {
            auto found = std::find(own.begin(), own.end(), active.front());
            if (found != own.end())
                std::rotate(own.begin(), found, found + 1);
        }
        for (auto window : own) {
            ExportedMenuAddress address;
            address.busName = text(window, busName);
            address.menuBarPath = text(window, menuBarPath);
            address.appMenuPath = text(window, appMenuPath);
            address.dbusMenuService = text(window, dbusMenuService);
            address.dbusMenuPath = text(window, dbusMenuPath);
            const bool gtkMenus =
                !address.busName.empty() && !(address.menuBarPath.empty() && address.appMenuPath.empty());
            const bool dbusMenu = !address.dbusMenuService.empty() && !address.dbusMenuPath.empty();
            if (!gtkMenus && !dbusMenu && (menusOnly || address.busName.empty()))
                continue;
            address.applicationPath = text(window, applicationPath);
            address.windowPath = text(window, windowPath);
            return address;
        }
        return std::nullopt;
    }

private:
    std::vector<xcb_window_t> windowList(xcb_window_t window, xcb_atom_t name)
    {
        auto cookie = xcb_get_property(connection_, 0, window, name, XCB_ATOM_WINDOW, 0, 4096);
        auto reply = xcbReply(xcb_get_property_reply(connection_, cookie, nullptr));
        if (!reply || reply->format != 32)
            return {};
        std::vector<xcb_window_t> windows(static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))
                                          / sizeof(xcb_window_t));
        if (!windows.empty())
            std::memcpy(windows.data(), xcb_get_property_value(reply.get()), windows.size() * sizeof(xcb_window_t));
        return windows;
    }

    std::string text(xcb_window_t window, Atom name)
    {
        auto cookie = xcb_get_property(connection_, 0, window, atoms_[name], XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
        auto reply = xcbReply(xcb_get_property_reply(connection_, cookie, nullptr));
        if (!reply || reply->format != 8)
            return {};
        return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, atomNames.size()> atoms_{};
};

// --- The bus side. ---

thread_local MenuBus::Failure lastBusFailure = MenuBus::Failure::none;

class SessionMenuBus final : public MenuBus {
public:
    ~SessionMenuBus() override
    {
        if (connection_)
            g_object_unref(connection_);
    }

    void setTimeout(std::chrono::milliseconds timeout) override
    {
        timeout_ = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, 60'000));
    }

    std::optional<std::vector<ExportedMenu>> start(const std::string& busName, const std::string& path,
                                                   const std::vector<std::uint32_t>& groups) override
    {
        Variant reply{call(busName, path, "org.gtk.Menus", "Start", groupList(groups), "(a(uuaa{sv}))")};
        if (!reply)
            return std::nullopt;
        return parseMenusReply(reply.get());
    }

    void end(const std::string& busName, const std::string& path, const std::vector<std::uint32_t>& groups) override
    {
        Variant reply{call(busName, path, "org.gtk.Menus", "End", groupList(groups), nullptr)};
    }

    std::optional<std::map<std::string, bool>> describeAll(const std::string& busName, const std::string& path) override
    {
        Variant reply{call(busName, path, "org.gtk.Actions", "DescribeAll", nullptr, "(a{s(bgav)})")};
        if (!reply)
            return std::nullopt;
        std::map<std::string, bool> actions;
        Variant list{g_variant_get_child_value(reply.get(), 0)};
        GVariantIter iter;
        g_variant_iter_init(&iter, list.get());
        const gchar* name = nullptr;
        gboolean enabled = FALSE;
        while (g_variant_iter_next(&iter, "{&s(b&g@av)}", &name, &enabled, nullptr, nullptr))
            actions[name] = enabled;
        return actions;
    }

    std::optional<bool> describe(const std::string& busName, const std::string& path,
                                 const std::string& action) override
    {
        Variant reply{
            call(busName, path, "org.gtk.Actions", "Describe", g_variant_new("(s)", action.c_str()), "((bgav))")};
        if (!reply)
            return std::nullopt;
        gboolean enabled = FALSE;
        g_variant_get(reply.get(), "((b&g@av))", &enabled, nullptr, nullptr);
        return enabled != FALSE;
    }

    bool activate(const std::string& busName, const std::string& path, const std::string& action,
                  const std::string& target) override
    {
        GVariantBuilder parameter;
        g_variant_builder_init(&parameter, G_VARIANT_TYPE("av"));
        if (!target.empty()) {
            GVariant* value = g_variant_parse(nullptr, target.c_str(), nullptr, nullptr, nullptr);
            if (!value) {
                g_variant_builder_clear(&parameter);
                return false;
            }
            g_variant_builder_add(&parameter, "v", value);
            g_variant_unref(value);
        }
        GVariantBuilder platformData;
        g_variant_builder_init(&platformData, G_VARIANT_TYPE("a{sv}"));
        return send(busName, path, "org.gtk.Actions", "Activate",
                    g_variant_new("(sava{sv})", action.c_str(), &parameter, &platformData));
    }

    std::optional<MenuModel> dbusMenuLayout(const std::string& busName, const std::string& path,
                                            std::size_t maxItems) override
    {
        Variant reply{call(busName, path, "com.canonical.dbusmenu", "GetLayout",
                           g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)), "(u(ia{sv}av))")};
        if (!reply)
            return std::nullopt;
        return parseDbusMenuLayout(reply.get(), maxItems);
    }

    bool dbusMenuClick(const std::string& busName, const std::string& path, std::int32_t id) override
    {
        return send(busName, path, "com.canonical.dbusmenu", "Event",
                    g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u));
    }

    Failure lastFailure() const override { return lastBusFailure; }

private:
    static GVariant* groupList(const std::vector<std::uint32_t>& groups)
    {
        GVariantBuilder list;
        g_variant_builder_init(&list, G_VARIANT_TYPE("au"));
        for (auto group : groups)
            g_variant_builder_add(&list, "u", group);
        return g_variant_new("(au)", &list);
    }

    // A connection of this object's own, so that no other main loop (and no
    // other user of the shared connection) is involved in its calls.
    GDBusConnection* connection()
    {
        std::lock_guard lock(mutex_);
        if (connection_ && !g_dbus_connection_is_closed(connection_))
            return connection_;
        if (connection_)
            g_object_unref(std::exchange(connection_, nullptr));
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!address)
            return nullptr;
        connection_ = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                              | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        g_free(address);
        return connection_;
    }

    // The reply, or null with lastBusFailure set. Takes `parameters` when floating.
    GVariant* call(const std::string& busName, const std::string& path, const char* interface, const char* method,
                   GVariant* parameters, const char* replyType)
    {
        lastBusFailure = Failure::refused;
        auto* bus = connection();
        if (!bus || !g_dbus_is_name(busName.c_str()) || !g_variant_is_object_path(path.c_str())) {
            if (parameters)
                g_variant_unref(g_variant_ref_sink(parameters));
            return nullptr;
        }
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus, busName.c_str(), path.c_str(), interface, method, parameters,
                                                      replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                      G_DBUS_CALL_FLAGS_NO_AUTO_START, timeout_, nullptr, &error);
        if (error) {
            if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
                lastBusFailure = Failure::timedOut;
            g_error_free(error);
            return nullptr;
        }
        lastBusFailure = Failure::none;
        return reply;
    }

    // Sends a call that asks for no reply: the application runs the command
    // after the call, with no request of ours open (the command may run a
    // modal dialog for as long as the user likes). True once it is written.
    bool send(const std::string& busName, const std::string& path, const char* interface, const char* method,
              GVariant* parameters)
    {
        lastBusFailure = Failure::refused;
        auto* bus = connection();
        if (!bus || !g_dbus_is_name(busName.c_str()) || !g_variant_is_object_path(path.c_str())) {
            g_variant_unref(g_variant_ref_sink(parameters));
            return false;
        }
        GDBusMessage* message = g_dbus_message_new_method_call(busName.c_str(), path.c_str(), interface, method);
        g_dbus_message_set_body(message, parameters);
        g_dbus_message_set_flags(message, static_cast<GDBusMessageFlags>(G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED
                                                                         | G_DBUS_MESSAGE_FLAGS_NO_AUTO_START));
        const bool sent = g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr)
                          && g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        g_object_unref(message);
        if (sent)
            lastBusFailure = Failure::none;
        return sent;
    }

    std::mutex mutex_;
    GDBusConnection* connection_ = nullptr;
    std::atomic<int> timeout_ = 1000; // milliseconds
};

} // namespace

std::string withoutMnemonics(std::string_view label)
{
    std::string plain;
    plain.reserve(label.size());
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '_') {
            if (i + 1 < label.size() && label[i + 1] == '_')
                plain.push_back('_'), ++i;
            continue;
        }
        plain.push_back(label[i]);
    }
    return plain;
}

std::vector<ExportedMenu> parseMenusReply(GVariant* reply)
{
    std::vector<ExportedMenu> menus;
    if (!reply || !g_variant_is_of_type(reply, G_VARIANT_TYPE("(a(uuaa{sv}))")))
        return menus;
    Variant list{g_variant_get_child_value(reply, 0)};
    const gsize count = g_variant_n_children(list.get());
    for (gsize i = 0; i < count; ++i) {
        Variant entry{g_variant_get_child_value(list.get(), i)};
        ExportedMenu menu;
        GVariant* items = nullptr;
        g_variant_get(entry.get(), "(uu@aa{sv})", &menu.id.group, &menu.id.menu, &items);
        Variant owned{items};
        const gsize itemCount = g_variant_n_children(items);
        menu.items.reserve(itemCount);
        for (gsize j = 0; j < itemCount; ++j) {
            Variant dictionary{g_variant_get_child_value(items, j)};
            menu.items.push_back(parseItem(dictionary.get()));
        }
        menus.push_back(std::move(menu));
    }
    return menus;
}

namespace {

// "Control", "Shift", "S" → "<Control><Shift>S"
std::string gtkAccelerator(GVariant* keys)
{
    const gsize count = g_variant_n_children(keys);
    std::string accelerator;
    for (gsize i = 0; i < count; ++i) {
        Variant key{g_variant_get_child_value(keys, i)};
        const std::string name = g_variant_get_string(key.get(), nullptr);
        accelerator += i + 1 < count ? "<" + name + ">" : name;
    }
    return accelerator;
}

struct LayoutParsing {
    MenuModel& model;
    std::size_t maxItems;

    // `node` is "(ia{sv}av)": an item, its properties and its children.
    void parse(GVariant* node, int depth)
    {
        gint32 id = 0;
        GVariant* rawChildren = nullptr;
        g_variant_get(node, "(i@a{sv}@av)", &id, nullptr, &rawChildren);
        Variant children{rawChildren};
        std::vector<ExportedMenuItem> items;
        const gsize count = g_variant_n_children(children.get());
        for (gsize i = 0; i < count; ++i) {
            if (model.itemCount >= maxItems) {
                model.truncated = true;
                break;
            }
            Variant boxed{g_variant_get_child_value(children.get(), i)};
            Variant child{g_variant_get_variant(boxed.get())};
            if (!g_variant_is_of_type(child.get(), G_VARIANT_TYPE("(ia{sv}av)")))
                continue;
            gint32 childId = 0;
            GVariant* rawProperties = nullptr;
            GVariant* rawGrandchildren = nullptr;
            g_variant_get(child.get(), "(i@a{sv}@av)", &childId, &rawProperties, &rawGrandchildren);
            Variant properties{rawProperties};
            Variant grandchildren{rawGrandchildren};
            gboolean visible = TRUE;
            g_variant_lookup(properties.get(), "visible", "b", &visible);
            if (!visible)
                continue;
            ++model.itemCount;
            ExportedMenuItem item;
            if (stringEntry(properties.get(), "type") == "separator") {
                items.push_back(std::move(item));
                continue;
            }
            item.label = withoutMnemonics(stringEntry(properties.get(), "label"));
            item.action = std::string(dbusMenuActionPrefix) + std::to_string(childId);
            gboolean enabled = TRUE;
            g_variant_lookup(properties.get(), "enabled", "b", &enabled);
            model.enabled[item.action] = enabled;
            if (Variant shortcuts{g_variant_lookup_value(properties.get(), "shortcut", G_VARIANT_TYPE("aas"))};
                shortcuts && g_variant_n_children(shortcuts.get()) > 0) {
                Variant first{g_variant_get_child_value(shortcuts.get(), 0)};
                item.accel = gtkAccelerator(first.get());
            }
            const bool submenu = g_variant_n_children(grandchildren.get()) > 0
                                 || stringEntry(properties.get(), "children-display") == "submenu";
            if (submenu && depth < maxLayoutDepth) {
                item.submenu = MenuLink{static_cast<std::uint32_t>(childId), 0};
                parse(child.get(), depth + 1);
            }
            items.push_back(std::move(item));
        }
        model.menus[MenuLink{static_cast<std::uint32_t>(id), 0}] = std::move(items);
    }

    static constexpr int maxLayoutDepth = 64;
};

} // namespace

MenuModel parseDbusMenuLayout(GVariant* reply, std::size_t maxItems)
{
    MenuModel model;
    if (!reply || !g_variant_is_of_type(reply, G_VARIANT_TYPE("(u(ia{sv}av))")))
        return model;
    Variant root{g_variant_get_child_value(reply, 1)};
    LayoutParsing{model, maxItems}.parse(root.get(), 0);
    return model;
}

namespace {

std::optional<ExportedMenuAddress> windowAddress(pid_t pid, bool menusOnly)
{
    if (!std::getenv("DISPLAY"))
        return std::nullopt;
    // One connection for the life of the process, reopened after an error.
    static std::mutex mutex;
    static std::unique_ptr<X11Properties> properties;
    std::lock_guard lock(mutex);
    if (!properties || !properties->usable())
        properties = std::make_unique<X11Properties>();
    if (!properties->usable())
        return std::nullopt;
    return properties->address(pid, menusOnly);
}

} // namespace

std::optional<ExportedMenuAddress> exportedMenuAddress(pid_t pid)
{
    return windowAddress(pid, true);
}

std::optional<ExportedMenuAddress> exportedActionsAddress(pid_t pid)
{
    return windowAddress(pid, false);
}

std::unique_ptr<MenuBus> makeSessionMenuBus()
{
    return std::make_unique<SessionMenuBus>();
}

std::optional<MenuModel> readMenuModel(MenuBus& bus, const std::string& busName, const std::string& path,
                                       const MenuModelBounds& bounds, int& requests)
{
    MenuModel model;
    std::set<std::uint32_t> asked;
    std::vector<std::uint32_t> pending{0};
    int level = 0;
    for (; !pending.empty() && level < bounds.maxLevels && !model.truncated; ++level) {
        ++requests;
        auto menus = bus.start(busName, path, pending);
        if (!menus) {
            if (level == 0)
                return std::nullopt;
            model.truncated = true;
            break;
        }
        asked.insert(pending.begin(), pending.end());
        std::set<std::uint32_t> next;
        for (auto& menu : *menus) {
            if (model.menus.contains(menu.id))
                continue;
            const std::size_t room = bounds.maxItems - model.itemCount;
            if (menu.items.size() > room) {
                menu.items.resize(room);
                model.truncated = true;
            }
            for (const auto& item : menu.items)
                for (const auto& link : {item.section, item.submenu})
                    if (link && !asked.contains(link->group))
                        next.insert(link->group);
            model.itemCount += menu.items.size();
            model.menus.emplace(menu.id, std::move(menu.items));
            if (model.truncated)
                break;
        }
        pending.assign(next.begin(), next.end());
    }
    if (!pending.empty())
        model.truncated = true;
    if (!asked.empty() && bus.lastFailure() != MenuBus::Failure::timedOut) {
        ++requests;
        bus.end(busName, path, std::vector<std::uint32_t>(asked.begin(), asked.end()));
    }
    return model;
}

namespace {

struct Flattening {
    const MenuModel& model;
    std::size_t maxItems;
    std::size_t stepsLeft;
    std::set<MenuLink> open; // sections being flattened

    void flatten(MenuLink link, std::vector<const ExportedMenuItem*>& out)
    {
        auto found = model.menus.find(link);
        if (found == model.menus.end() || !open.insert(link).second)
            return;
        bool separatorDue = false;
        for (const auto& item : found->second) {
            if (out.size() >= maxItems || stepsLeft == 0)
                break;
            --stepsLeft;
            if (item.section) {
                std::vector<const ExportedMenuItem*> section;
                flatten(*item.section, section);
                if (section.empty())
                    continue;
                if (!out.empty() && out.back())
                    out.push_back(nullptr);
                const std::size_t room = maxItems - std::min(maxItems, out.size());
                out.insert(out.end(), section.begin(), section.begin() + std::min(room, section.size()));
                separatorDue = true;
                continue;
            }
            if (separatorDue && !out.empty() && out.back())
                out.push_back(nullptr);
            separatorDue = false;
            out.push_back(&item);
        }
        open.erase(link);
    }
};

} // namespace

std::vector<const ExportedMenuItem*> shownItems(const MenuModel& model, MenuLink menu, std::size_t maxItems)
{
    std::vector<const ExportedMenuItem*> items;
    // Entries and section links looked at: bounds menus that share sections many times over.
    Flattening flattening{model, maxItems, 2 * maxItems + 16, {}};
    flattening.flatten(menu, items);
    return items;
}

} // namespace hb::linux_platform
