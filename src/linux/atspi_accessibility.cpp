#include "linux/atspi_accessibility.h"

#include "linux/atspi_key_binding.h"
#include "linux/atspi_switch.h"

#include <atspi/atspi.h>

// libatspi makes its objects from the (bus name, path) references in replies
// with this function; it is exported, but not declared in the public headers.
extern "C" AtspiAccessible* _atspi_ref_accessible(const char* app, const char* path);

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <type_traits>
#include <utility>

namespace hb::linux_platform {

using platform::ElementRef;
using platform::AttributeNumber;
using platform::AttributeValue;
namespace ax = platform::ax;
using Clock = std::chrono::steady_clock;

namespace {

// libatspi keeps global state and is not thread-safe: every use holds this
// lock. Recursive because elements release their object under it too.
std::recursive_mutex& atspiLock()
{
    static std::recursive_mutex lock;
    return lock;
}

// How long to wait before looking for the accessibility bus again.
constexpr auto busProbeInterval = std::chrono::seconds(5);
// How deep below a window the menu bar is looked for.
constexpr int menuBarSearchDepth = 6;
// How many objects below a window the menu-bar search looks at, at most: a
// viewport may hold thousands of icons.
constexpr std::size_t menuBarSearchBudget = 400;
// How many items of a menu bar's first menu tell whether it is the one shown.
constexpr std::size_t menuBarProbeItems = 12;

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, Unref>;
template <typename T>
GObjectPtr<T> adopt(T* object)
{
    return GObjectPtr<T>(object);
}
struct Free {
    void operator()(gchar* text) const { g_free(text); }
};
using Text = std::unique_ptr<gchar, Free>;

// How an element presents itself.
enum class Presentation {
    application,  // the application; its object is looked up by process id on first use
    object,       // an object as the toolkit shows it
    item,         // an entry of a menu bar or menu
    menuItems,    // a GTK menu, which holds its items itself, as the submenu of its own item
};

class Element final : public platform::AccessibleElement {
public:
    Element(pid_t pid, AtspiAccessible* accessible, Presentation presentation)
        : pid(pid), accessible(accessible), presentation(presentation)
    {
    }
    ~Element() override
    {
        if (accessible) {
            std::lock_guard lock(atspiLock());
            g_object_unref(accessible);
        }
    }

    const pid_t pid;
    // Guarded by atspiLock(), like everything below.
    mutable AtspiAccessible* accessible;  // owned; null for an application not found yet
    const Presentation presentation;

    // Read once per element: roles do not change, and one key binding serves
    // the four key-equivalent attributes.
    mutable std::optional<AtspiRole> role;
    mutable std::optional<std::optional<MenuKeyEquivalent>> key;
    mutable std::optional<std::string> lastTitle;  // the title most recently read
    // Answers asked for ahead, with the siblings or the whole submenu, during
    // the read `prefetchedIn`. The title, binding and children each serve one
    // read of their attribute in that read; the child count serves the read.
    mutable std::uint64_t prefetchedIn = 0;
    mutable std::optional<std::string> prefetchedTitle;
    mutable std::optional<std::string> prefetchedBinding;
    mutable std::optional<int> prefetchedChildCount;
    mutable std::optional<std::vector<std::shared_ptr<Element>>> prefetchedChildren;
    mutable bool hidden = false;  // a menu item the toolkit lists but does not show
    mutable std::optional<bool> listedAsMenu;  // an ATK item listed with the menus among its siblings
};

std::string trimmed(const char* text)
{
    std::string_view view(text ? text : "");
    constexpr std::string_view space = " \t\r\n";
    const auto first = view.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    const auto last = view.find_last_not_of(space);
    return std::string(view.substr(first, last - first + 1));
}

bool isWindowRole(AtspiRole role)
{
    return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG;
}

bool isMenuContainer(AtspiRole role)
{
    return role == ATSPI_ROLE_MENU_BAR || role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_POPUP_MENU;
}

} // namespace

class AtspiAccessibility::Connection {
public:
    explicit Connection(platform::Log& log) : log_(log) {}

    platform::Log& log() { return log_; }
    AccessibilitySwitch& accessibilitySwitch() { return switch_; }

    // Connects to the accessibility bus on first use; false while there is none.
    bool connected()
    {
        if (connected_)
            return true;
        const auto now = Clock::now();
        if (now < nextProbe_)
            return false;
        nextProbe_ = now + busProbeInterval;
        // libatspi falls back on odd buses (or aborts) when there is none: look first.
        if (!switch_.busAnswers())
            return false;
        const int status = atspi_init();
        if (status != 0 && status != 1)
            return false;
        // A context of its own, so that no other thread's main loop dispatches
        // libatspi's messages; it runs under the lock (see drain()).
        context_ = g_main_context_new();
        atspi_set_main_context(context_);
        applyTimeout();
        connected_ = true;
        return true;
    }

    // Lets libatspi handle the signals that arrived since the last request
    // (applications coming and going, tree changes).
    void drain()
    {
        for (int i = 0; i < 1000 && g_main_context_iteration(context_, FALSE); ++i) {
        }
    }

    void setTimeout(std::chrono::milliseconds timeout)
    {
        timeout_ = std::max(timeout, std::chrono::milliseconds(1));
        if (connected_)
            applyTimeout();
    }

    std::uint64_t requests() const { return requests_; }
    bool answering(pid_t pid) const { return !notAnswering_.contains(pid); }
    // A new read or press of the application may wait again.
    void expectAnswers(pid_t pid)
    {
        notAnswering_.erase(pid);
        ++readNumber_;
    }

    // Runs one request to the application `pid`, unless it does not answer.
    // A request that lasts about the whole timeout marks the application as
    // not answering until its next read, so that the rest of this read, however
    // long, does not wait again.
    template <typename Call>
    auto request(pid_t pid, Call&& call) -> std::optional<decltype(call())>
    {
        if (!answering(pid))
            return std::nullopt;
        ++requests_;
        const auto start = Clock::now();
        auto result = call();
        if (Clock::now() - start >= timeout_ * 9 / 10)
            markNotAnswering(pid);
        return result;
    }

    void markNotAnswering(pid_t pid)
    {
        if (notAnswering_.insert(pid).second)
            log_.info(platform::LogCategory::scraper, "pid {} does not answer accessibility requests", pid);
    }

    // --- Reads, each a request or a few. ---

    std::optional<AtspiRole> role(const Element& element)
    {
        if (!element.role) {
            auto role = request(element.pid, [&] { return atspi_accessible_get_role(element.accessible, nullptr); });
            if (!role || *role == ATSPI_ROLE_INVALID)
                return std::nullopt;
            element.role = *role;
        }
        return element.role;
    }

    // A value asked for ahead in this read, taken once.
    template <typename Value>
    std::optional<Value> takePrefetched(const Element& element, std::optional<Value>& value)
    {
        if (element.prefetchedIn != readNumber_)
            return std::nullopt;
        return std::exchange(value, std::nullopt);
    }

    std::optional<std::string> name(const Element& element)
    {
        if (auto title = takePrefetched(element, element.prefetchedTitle))
            return title;
        auto name = request(element.pid, [&] {
            GError* error = nullptr;
            Text text(atspi_accessible_get_name(element.accessible, &error));
            const bool failed = error != nullptr || !text;
            g_clear_error(&error);
            return failed ? std::nullopt : std::optional(trimmed(text.get()));
        });
        return name ? *name : std::nullopt;
    }

    std::optional<AtspiStateSet*> states(const Element& element)
    {
        auto states = request(element.pid, [&] { return atspi_accessible_get_state_set(element.accessible); });
        if (!states || !*states)
            return std::nullopt;
        if (atspi_state_set_contains(*states, ATSPI_STATE_DEFUNCT)) {
            g_object_unref(*states);
            return std::nullopt;
        }
        return *states;
    }

    bool hasState(const Element& element, AtspiStateType state)
    {
        auto set = states(element);
        if (!set)
            return false;
        const bool contains = atspi_state_set_contains(*set, state);
        g_object_unref(*set);
        return contains;
    }

    // --- Requests in flight together. ---

    // What to do with the reply of one request; the reply is null when none came.
    using ReplyHandler = std::function<void(DBusMessage* reply)>;
    struct Exchange {
        DBusMessage* message;
        ReplyHandler onReply;
    };

    static DBusMessage* methodCall(const Element& element, const char* interface, const char* method,
                                   const char* argument = nullptr)
    {
        const AtspiObject& object = element.accessible->parent;
        // libatspi lets go of the application of its objects when it quits.
        if (!object.app || !object.app->bus_name || !object.path)
            return nullptr;
        DBusMessage* message = dbus_message_new_method_call(object.app->bus_name, object.path, interface, method);
        if (message && argument)
            dbus_message_append_args(message, DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID);
        return message;
    }

    static DBusMessage* extentsRequest(const Element& element)
    {
        DBusMessage* message = methodCall(element, "org.a11y.atspi.Component", "GetExtents");
        const dbus_uint32_t screen = ATSPI_COORD_TYPE_SCREEN;
        if (message)
            dbus_message_append_args(message, DBUS_TYPE_UINT32, &screen, DBUS_TYPE_INVALID);
        return message;
    }

    static bool isReturn(DBusMessage* reply)
    {
        return reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
    }

    struct AccessibleProperties {
        std::optional<std::string> name;
        std::optional<int> childCount;
    };

    // The title and child count among all the properties of an object (a{sv}).
    static AccessibleProperties accessibleProperties(DBusMessage* reply)
    {
        AccessibleProperties properties;
        DBusMessageIter all, entry;
        if (!isReturn(reply) || !dbus_message_iter_init(reply, &all) ||
            dbus_message_iter_get_arg_type(&all) != DBUS_TYPE_ARRAY)
            return properties;
        dbus_message_iter_recurse(&all, &entry);
        for (; dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&entry)) {
            DBusMessageIter field, value;
            const char* key = nullptr;
            dbus_message_iter_recurse(&entry, &field);
            if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_STRING)
                continue;
            dbus_message_iter_get_basic(&field, &key);
            if (!dbus_message_iter_next(&field) || dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_VARIANT)
                continue;
            dbus_message_iter_recurse(&field, &value);
            const std::string_view name(key);
            if (name == "Name" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_STRING) {
                const char* text = nullptr;
                dbus_message_iter_get_basic(&value, &text);
                properties.name = std::string(text ? text : "");
            } else if (name == "ChildCount" && dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_INT32) {
                dbus_int32_t count = 0;
                dbus_message_iter_get_basic(&value, &count);
                properties.childCount = count;
            }
        }
        return properties;
    }

    static DBusMessage* propertyRead(const Element& element, const char* property)
    {
        DBusMessage* message = methodCall(element, "org.freedesktop.DBus.Properties", "Get");
        const char* interface = "org.a11y.atspi.Accessible";
        if (message)
            dbus_message_append_args(message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                     DBUS_TYPE_INVALID);
        return message;
    }

    static DBusMessage* keyBindingRequest(const Element& element)
    {
        DBusMessage* message = methodCall(element, "org.a11y.atspi.Action", "GetKeyBinding");
        const dbus_int32_t firstAction = 0;
        if (message)
            dbus_message_append_args(message, DBUS_TYPE_INT32, &firstAction, DBUS_TYPE_INVALID);
        return message;
    }

    // The children with the role of a menu, through the Collection interface
    // (ATK has it on every object, Qt on none): match rule (aiia{ss}iaiiasib),
    // sort order, count, traverse.
    static DBusMessage* menusRequest(const Element& element)
    {
        DBusMessage* message = methodCall(element, "org.a11y.atspi.Collection", "GetMatches");
        if (!message)
            return nullptr;
        const dbus_int32_t none = ATSPI_Collection_MATCH_NONE;
        const dbus_int32_t any = ATSPI_Collection_MATCH_ANY;
        const dbus_uint32_t order = ATSPI_Collection_SORT_ORDER_CANONICAL;
        const dbus_int32_t count = 0;
        const dbus_bool_t no = FALSE;
        const std::array<dbus_int32_t, 2> states{};
        std::array<dbus_int32_t, 4> roles{};
        roles[ATSPI_ROLE_MENU / 32] |= 1 << (ATSPI_ROLE_MENU % 32);
        DBusMessageIter arguments, rule, array;
        auto appendInts = [&](auto& values) {
            dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &array);
            for (const dbus_int32_t& value : values)
                dbus_message_iter_append_basic(&array, DBUS_TYPE_INT32, &value);
            dbus_message_iter_close_container(&rule, &array);
        };
        dbus_message_iter_init_append(message, &arguments);
        dbus_message_iter_open_container(&arguments, DBUS_TYPE_STRUCT, nullptr, &rule);
        appendInts(states);
        dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &none);
        dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "{ss}", &array);
        dbus_message_iter_close_container(&rule, &array);
        dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &none);
        appendInts(roles);
        dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &any);
        dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "s", &array);
        dbus_message_iter_close_container(&rule, &array);
        dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &none);
        dbus_message_iter_append_basic(&rule, DBUS_TYPE_BOOLEAN, &no);
        dbus_message_iter_close_container(&arguments, &rule);
        dbus_message_iter_append_basic(&arguments, DBUS_TYPE_UINT32, &order);
        dbus_message_iter_append_basic(&arguments, DBUS_TYPE_INT32, &count);
        dbus_message_iter_append_basic(&arguments, DBUS_TYPE_BOOLEAN, &no);
        return message;
    }

    // Sends the requests to the application `pid` together, in slices so that
    // a menu of a hundred thousand items does not flood the connection, and
    // hands each reply to its handler in the order of the requests. libdbus
    // matches replies to requests by serial, whatever order they come in. A
    // slice that lets a request time out marks the application as not
    // answering, as a single request does: the rest costs no further wait.
    void exchange(const Element& ofApplication, std::vector<Exchange>& exchanges)
    {
        constexpr std::size_t slice = 1024;
        const pid_t pid = ofApplication.pid;
        const AtspiApplication* application = ofApplication.accessible->parent.app;
        DBusConnection* bus = application ? application->bus : nullptr;
        for (std::size_t first = 0; first < exchanges.size(); first += slice) {
            const auto part = std::span(exchanges).subspan(first, std::min(slice, exchanges.size() - first));
            std::vector<DBusPendingCall*> calls;
            for (auto& exchange : part) {
                DBusPendingCall* call = nullptr;
                if (bus && exchange.message && answering(pid)) {
                    dbus_connection_send_with_reply(bus, exchange.message, &call, static_cast<int>(timeout_.count()));
                    ++requests_;
                }
                calls.push_back(call);
            }
            if (bus)
                dbus_connection_flush(bus);
            const auto start = Clock::now();
            for (std::size_t i = 0; i < part.size(); ++i) {
                DBusMessage* reply = nullptr;
                if (DBusPendingCall* call = calls[i]) {
                    if (answering(pid)) {
                        dbus_pending_call_block(call);
                        if (Clock::now() - start >= timeout_ * 9 / 10)
                            markNotAnswering(pid);
                    }
                    // Answers that came before the application stopped answering still count.
                    if (dbus_pending_call_get_completed(call))
                        reply = dbus_pending_call_steal_reply(call);
                    else
                        dbus_pending_call_cancel(call);
                    dbus_pending_call_unref(call);
                }
                part[i].onReply(reply);
                if (reply)
                    dbus_message_unref(reply);
            }
        }
        for (auto& exchange : exchanges)
            if (exchange.message)
                dbus_message_unref(std::exchange(exchange.message, nullptr));
    }

    struct Reference {
        const char* name;
        const char* path;
    };

    // The object references of a reply (a(so)), in order; valid while the reply is.
    static std::vector<Reference> references(DBusMessage* reply)
    {
        std::vector<Reference> references;
        DBusMessageIter list;
        DBusMessageIter reference;
        if (!isReturn(reply) || !dbus_message_iter_init(reply, &list) ||
            dbus_message_iter_get_arg_type(&list) != DBUS_TYPE_ARRAY)
            return references;
        dbus_message_iter_recurse(&list, &reference);
        for (; dbus_message_iter_get_arg_type(&reference) == DBUS_TYPE_STRUCT; dbus_message_iter_next(&reference)) {
            DBusMessageIter fields;
            Reference found{};
            dbus_message_iter_recurse(&reference, &fields);
            if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING)
                continue;
            dbus_message_iter_get_basic(&fields, &found.name);
            if (!dbus_message_iter_next(&fields) || dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_OBJECT_PATH)
                continue;
            dbus_message_iter_get_basic(&fields, &found.path);
            if (std::string_view(found.path) != "/org/a11y/atspi/null")
                references.push_back(found);
        }
        return references;
    }

    // The objects of a children list, in order.
    static std::vector<AtspiAccessible*> objectsOf(DBusMessage* reply)
    {
        std::vector<AtspiAccessible*> objects;
        for (const auto& reference : references(reply))
            if (auto* object = _atspi_ref_accessible(reference.name, reference.path))
                objects.push_back(object);
        return objects;
    }

    // The width and height of an extents reply ((iiii)).
    static std::optional<std::pair<int, int>> sizeOf(DBusMessage* reply)
    {
        DBusMessageIter iterator, rect;
        if (!isReturn(reply) || !dbus_message_iter_init(reply, &iterator) ||
            dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_STRUCT)
            return std::nullopt;
        dbus_message_iter_recurse(&iterator, &rect);
        std::array<dbus_int32_t, 4> fields{};
        for (auto& field : fields) {
            if (dbus_message_iter_get_arg_type(&rect) != DBUS_TYPE_INT32)
                return std::nullopt;
            dbus_message_iter_get_basic(&rect, &field);
            dbus_message_iter_next(&rect);
        }
        return std::pair{fields[2], fields[3]};
    }

    static bool isUnknownMethod(DBusMessage* reply)
    {
        return reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR &&
               std::string_view(dbus_message_get_error_name(reply)) == DBUS_ERROR_UNKNOWN_METHOD;
    }

    // The text or number in the variant a property read answers with.
    template <typename Value>
    static std::optional<Value> variant(DBusMessage* reply)
    {
        constexpr int type = std::is_same_v<Value, int> ? DBUS_TYPE_INT32 : DBUS_TYPE_STRING;
        DBusMessageIter iterator;
        DBusMessageIter variant;
        if (!isReturn(reply) || !dbus_message_iter_init(reply, &iterator) ||
            dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_VARIANT)
            return std::nullopt;
        dbus_message_iter_recurse(&iterator, &variant);
        if (dbus_message_iter_get_arg_type(&variant) != type)
            return std::nullopt;
        if constexpr (std::is_same_v<Value, int>) {
            dbus_int32_t number = 0;
            dbus_message_iter_get_basic(&variant, &number);
            return number;
        } else {
            const char* text = nullptr;
            dbus_message_iter_get_basic(&variant, &text);
            return std::string(text ? text : "");
        }
    }

    // --- Children. ---

    std::shared_ptr<Element> wrap(pid_t pid, AtspiAccessible* object, Presentation presentation)
    {
        return std::make_shared<Element>(pid, object, presentation);
    }

    // A shared element for one that is not (an item whose submenu is read ahead).
    static std::shared_ptr<const Element> shared(const Element& element)
    {
        return std::shared_ptr<const Element>(std::shared_ptr<const Element>(), &element);
    }

    // Whether the children of an element are menu items.
    bool holdsItems(const Element& element)
    {
        if (element.presentation == Presentation::menuItems)
            return true;
        if (element.presentation != Presentation::object)
            return false;
        auto role = this->role(element);
        return role && isMenuContainer(*role);
    }

    // Qt's menu entries are menu items holding a popup menu; ATK's are menus
    // holding their items themselves.
    bool isQt(const Element& element) { return toolkit(element) == "Qt"; }

    std::optional<int> childCount(const Element& element)
    {
        if (element.prefetchedIn == readNumber_ && element.prefetchedChildCount)
            return element.prefetchedChildCount;
        return request(element.pid, [&] { return atspi_accessible_get_child_count(element.accessible, nullptr); });
    }

    bool opensSubmenu(const Element& item)
    {
        if (isQt(item)) {
            auto count = childCount(item);
            return count && *count > 0;
        }
        if (item.listedAsMenu)
            return *item.listedAsMenu;
        // Without the menus listed, an ATK item with children is the menu of
        // its items (the role is asked only where it may tell otherwise).
        if (item.role)
            return *item.role == ATSPI_ROLE_MENU;
        if (auto count = childCount(item))
            return *count > 0;
        auto role = this->role(item);
        return role && *role == ATSPI_ROLE_MENU;
    }

    // What holds an item's submenu: an ATK menu is its own item, so its
    // submenu is the same object presented as holding items (given as the
    // item's child, no request); a Qt item holds a popup menu among its children.
    std::shared_ptr<const Element> submenuOf(const Element& item)
    {
        if (isQt(item))
            return shared(item);
        auto submenu =
            wrap(item.pid, static_cast<AtspiAccessible*>(g_object_ref(item.accessible)), Presentation::menuItems);
        item.prefetchedIn = readNumber_;
        item.prefetchedChildren = std::vector{submenu};
        return submenu;
    }

    // One container's children as a listing asks for them, all at once: the
    // list and, of an ATK menu, which of them are menus.
    struct Listing {
        std::shared_ptr<const Element> container;
        Presentation presentation = Presentation::object;
        std::optional<std::vector<std::shared_ptr<Element>>> children;
        std::optional<std::set<std::string, std::less<>>> menus;

        // The listed items that are menus, marked as such.
        void markMenus() const
        {
            if (children && menus)
                for (const auto& child : *children)
                    child->listedAsMenu = menus->contains(child->accessible->parent.path);
        }
    };

    Listing listing(std::shared_ptr<const Element> container)
    {
        const auto presentation = holdsItems(*container) ? Presentation::item : Presentation::object;
        return Listing{std::move(container), presentation};
    }

    void ask(Listing& listing, std::vector<Exchange>& exchanges)
    {
        const Element& container = *listing.container;
        const pid_t pid = container.pid;
        exchanges.push_back({methodCall(container, "org.a11y.atspi.Accessible", "GetChildren"),
                             [this, &listing, pid](DBusMessage* reply) {
                                 if (isUnknownMethod(reply))
                                     listsChildren_[pid] = false;
                                 if (!isReturn(reply))
                                     return;
                                 listing.children.emplace();
                                 for (auto* object : objectsOf(reply))
                                     listing.children->push_back(wrap(pid, object, listing.presentation));
                             }});
        if (listing.presentation != Presentation::item || isQt(container) || listsMenus_[pid] == false)
            return;
        exchanges.push_back({menusRequest(container), [this, &listing, pid](DBusMessage* reply) {
                                 if (isUnknownMethod(reply))
                                     listsMenus_[pid] = false;
                                 if (!isReturn(reply))
                                     return;
                                 listing.menus.emplace();
                                 for (const auto& reference : references(reply))
                                     listing.menus->emplace(reference.path);
                             }});
    }

    // The children one by one, for an application that does not list them at
    // once; a child that cannot be read ends the list.
    std::vector<AtspiAccessible*> childObjectsOneByOne(const Element& element)
    {
        std::vector<AtspiAccessible*> children;
        auto count = request(element.pid, [&] {
            GError* error = nullptr;
            const int n = atspi_accessible_get_child_count(element.accessible, &error);
            g_clear_error(&error);
            return n;
        });
        for (int i = 0; count && i < *count; ++i) {
            auto child = request(element.pid, [&] {
                GError* error = nullptr;
                auto* object = atspi_accessible_get_child_at_index(element.accessible, i, &error);
                g_clear_error(&error);
                return object;
            });
            if (!child || !*child)
                break;
            children.push_back(*child);
        }
        return children;
    }

    // The children as listed now, described.
    std::vector<std::shared_ptr<Element>> listChildren(const Element& element)
    {
        auto listed = listing(shared(element));
        if (listsChildren_[element.pid] != false) {
            std::vector<Exchange> exchanges;
            ask(listed, exchanges);
            exchange(element, exchanges);
        }
        if (!listed.children) {
            listed.children.emplace();
            for (auto* object : childObjectsOneByOne(element))
                listed.children->push_back(wrap(element.pid, object, listed.presentation));
        }
        listed.markMenus();
        describe(*listed.children);
        return std::move(*listed.children);
    }

    std::vector<ElementRef> children(const Element& element)
    {
        if (auto prefetched = takePrefetched(element, element.prefetchedChildren))
            return {prefetched->begin(), prefetched->end()};
        if (element.presentation == Presentation::item) {
            if (!opensSubmenu(element))
                return {};
            prefetchMenus({submenuOf(element)});
            if (auto prefetched = takePrefetched(element, element.prefetchedChildren))
                return {prefetched->begin(), prefetched->end()};
        }
        auto children = listChildren(element);
        return {children.begin(), children.end()};
    }

    static ReplyHandler roleReader(const Element& element)
    {
        return [&element](DBusMessage* reply) {
            dbus_uint32_t role = ATSPI_ROLE_INVALID;
            if (isReturn(reply) && dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &role, DBUS_TYPE_INVALID) &&
                role != ATSPI_ROLE_INVALID)
                element.role = static_cast<AtspiRole>(role);
        };
    }

    // Described items left out of their menu: those the toolkit hides, and those
    // whose title never came (the application stopped answering), which are
    // no separators.
    static bool leftOut(const std::shared_ptr<Element>& element)
    {
        return element->presentation == Presentation::item && (element->hidden || !element->prefetchedTitle);
    }

    // Asks each element, together, for what the reader asks next: an item for
    // its title, key binding and what tells whether it opens a submenu, any
    // other object (of the first few hundred) for its role.
    void describe(std::vector<std::shared_ptr<Element>>& elements)
    {
        if (elements.empty())
            return;
        const bool qt = isQt(*elements.front());
        std::vector<Exchange> exchanges;
        std::size_t objects = 0;
        for (const auto& element : elements) {
            element->prefetchedIn = readNumber_;
            const Element* described = element.get();
            if (element->presentation != Presentation::item) {
                if (!element->role && ++objects <= menuBarSearchBudget)
                    exchanges.push_back(
                        {methodCall(*element, "org.a11y.atspi.Accessible", "GetRole"), roleReader(*element)});
                continue;
            }
            auto toTitle = [described](DBusMessage* reply) {
                if (auto title = variant<std::string>(reply))
                    described->prefetchedTitle = trimmed(title->c_str());
            };
            exchanges.push_back({keyBindingRequest(*element), [described](DBusMessage* reply) {
                                     const char* binding = nullptr;
                                     // An error means no action at index 0: no binding, as with the single request.
                                     if (reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR)
                                         described->prefetchedBinding = std::string();
                                     else if (isReturn(reply) && dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING,
                                                                                       &binding, DBUS_TYPE_INVALID))
                                         described->prefetchedBinding = std::string(binding);
                                 }});
            if (!qt && !element->listedAsMenu) {
                // Without the menus listed, the child count tells; ATK answers
                // all properties at once (Qt 5 crashes on it).
                exchanges.push_back(
                    {methodCall(*element, "org.freedesktop.DBus.Properties", "GetAll", "org.a11y.atspi.Accessible"),
                     [described](DBusMessage* reply) {
                         auto properties = accessibleProperties(reply);
                         if (properties.name)
                             described->prefetchedTitle = trimmed(properties.name->c_str());
                         described->prefetchedChildCount = properties.childCount;
                     }});
                continue;
            }
            exchanges.push_back({propertyRead(*element, "Name"), toTitle});
            if (qt) {
                exchanges.push_back({propertyRead(*element, "ChildCount"), [described](DBusMessage* reply) {
                                         described->prefetchedChildCount = variant<int>(reply);
                                     }});
                // Qt lists the items it hides like the others, without a size.
                exchanges.push_back({extentsRequest(*element), [described](DBusMessage* reply) {
                                         if (auto size = sizeOf(reply))
                                             described->hidden = size->first <= 0 && size->second <= 0;
                                     }});
            }
        }
        exchange(*elements.front(), exchanges);
        std::erase_if(elements, leftOut);
        if (!qt)
            askRolesOfEmptyItems(elements);
    }

    // Without the menus listed, an ATK item without children opens nothing,
    // unless it is an empty submenu, which the reader leaves out rather than
    // listing it as a command: the role tells, asked only of items without a key.
    void askRolesOfEmptyItems(const std::vector<std::shared_ptr<Element>>& items)
    {
        std::vector<Exchange> exchanges;
        for (const auto& item : items) {
            if (item->listedAsMenu || item->role || item->prefetchedChildCount != 0 || !item->prefetchedBinding ||
                parseKeyBinding(*item->prefetchedBinding, keyBindingStyle(*item, *item->prefetchedBinding),
                                *item->prefetchedTitle, false))
                continue;
            exchanges.push_back({methodCall(*item, "org.a11y.atspi.Accessible", "GetRole"), roleReader(*item)});
        }
        if (!exchanges.empty())
            exchange(*items.front(), exchanges);
    }

    // Reads the menus below `containers` ahead, level by level: the children
    // lists of a level are asked for together, then every child is described
    // together, so that a submenu tree costs a few round trips per level
    // rather than a few per item. Bounded in depth and size; an object met
    // twice (a cycle) is not descended into again.
    void prefetchMenus(std::vector<std::shared_ptr<const Element>> containers)
    {
        constexpr int maxDepth = 16;
        constexpr std::size_t maxObjects = 20'000;
        if (containers.empty() || listsChildren_[containers.front()->pid] == false)
            return;
        const pid_t pid = containers.front()->pid;
        std::set<std::string, std::less<>> seen;
        std::size_t objects = 0;
        for (int depth = 0; depth < maxDepth && !containers.empty() && answering(pid); ++depth) {
            std::deque<Listing> listings;  // stable addresses for the reply handlers
            std::vector<Exchange> exchanges;
            for (auto& container : containers)
                ask(listings.emplace_back(listing(std::move(container))), exchanges);
            exchange(*listings.front().container, exchanges);
            std::vector<std::shared_ptr<Element>> listed;
            for (const auto& listing : listings) {
                listing.markMenus();
                if (listing.children)
                    listed.insert(listed.end(), listing.children->begin(), listing.children->end());
            }
            describe(listed);
            for (auto& listing : listings) {
                if (!listing.children)
                    continue;
                std::erase_if(*listing.children, leftOut);
                listing.container->prefetchedIn = readNumber_;
                listing.container->prefetchedChildren = std::move(listing.children);
            }

            containers.clear();
            for (const auto& child : listed) {
                if (++objects > maxObjects)
                    break;
                const char* path = child->accessible->parent.path;
                if (!path || !seen.insert(path).second)
                    continue;
                if (child->presentation == Presentation::object) {
                    if (child->role && isMenuContainer(*child->role))
                        containers.push_back(child);
                } else if (opensSubmenu(*child)) {
                    containers.push_back(submenuOf(*child));
                }
            }
        }
    }

    // The application object of a process, looked up on first use.
    bool resolve(const Element& element)
    {
        if (element.accessible)
            return true;
        if (element.presentation != Presentation::application)
            return false;
        auto desktop = adopt(atspi_get_desktop(0));
        if (!desktop)
            return false;
        const int count = atspi_accessible_get_child_count(desktop.get(), nullptr);
        for (int i = 0; i < count; ++i) {
            auto application = adopt(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
            if (!application)
                continue;
            GError* error = nullptr;
            const auto pid = atspi_accessible_get_process_id(application.get(), &error);
            const bool failed = error != nullptr;
            g_clear_error(&error);
            if (!failed && static_cast<pid_t>(pid) == element.pid) {
                element.accessible = application.release();
                return true;
            }
        }
        return false;
    }

    std::vector<std::shared_ptr<Element>> windows(const Element& application)
    {
        auto children = listChildren(application);
        std::vector<std::shared_ptr<Element>> windows;
        for (const auto& child : children)
            if (auto role = this->role(*child); role && isWindowRole(*role))
                windows.push_back(child);
        return windows;
    }

    std::shared_ptr<Element> activeWindow(const std::vector<std::shared_ptr<Element>>& windows)
    {
        for (const auto& window : windows)
            if (hasState(*window, ATSPI_STATE_ACTIVE))
                return window;
        return nullptr;
    }

    // The windows, the active one first.
    std::vector<std::shared_ptr<Element>> windowsActiveFirst(const Element& application)
    {
        auto all = windows(application);
        if (auto active = activeWindow(all))
            std::stable_partition(all.begin(), all.end(), [&](const auto& window) { return window == active; });
        return all;
    }

    // The application's toolkit ("GTK", "Qt"), asked once per process; empty when unknown.
    std::string toolkit(const Element& element)
    {
        auto found = toolkits_.find(element.pid);
        if (found != toolkits_.end())
            return found->second;
        auto toolkit = request(element.pid, [&] {
            auto nameOf = [](AtspiAccessible* object) {
                GError* error = nullptr;
                Text name(atspi_accessible_get_toolkit_name(object, &error));
                g_clear_error(&error);
                return std::string(name ? name.get() : "");
            };
            // Qt answers only on the application object.
            auto name = nameOf(element.accessible);
            if (name.empty())
                if (auto application = adopt(atspi_accessible_get_application(element.accessible, nullptr)))
                    name = nameOf(application.get());
            return name;
        });
        if (!toolkit)
            return {};
        return toolkits_.emplace(element.pid, *toolkit).first->second;
    }

    bool isGtk(const Element& element) { return linux_platform::isGtk(toolkit(element)); }

    KeyBindingStyle keyBindingStyle(const Element& element, std::string_view binding)
    {
        return linux_platform::keyBindingStyle(toolkit(element), binding);
    }

    // The key binding of the element's first action ("" when it has none).
    std::optional<std::string> keyBinding(const Element& element)
    {
        if (auto binding = takePrefetched(element, element.prefetchedBinding))
            return binding;
        auto binding = request(element.pid, [&]() -> std::optional<std::string> {
            auto action = adopt(atspi_accessible_get_action_iface(element.accessible));
            if (!action)
                return std::string();
            GError* error = nullptr;
            Text text(atspi_action_get_key_binding(action.get(), 0, &error));
            const bool failed = error != nullptr;
            g_clear_error(&error);
            if (failed)
                return std::string();  // no action at index 0 (GTK drops the actions of disabled items)
            return std::string(text ? text.get() : "");
        });
        return binding ? *binding : std::nullopt;
    }

    const std::optional<MenuKeyEquivalent>& key(const Element& element)
    {
        if (element.key)
            return *element.key;
        auto binding = keyBinding(element);
        if (!binding)
            return *(element.key = std::optional<MenuKeyEquivalent>());
        const auto style = keyBindingStyle(element, *binding);
        if (!element.lastTitle)
            element.lastTitle = name(element);
        const std::string title = element.lastTitle.value_or("");
        auto asShortcut = parseKeyBinding(*binding, style, title, false);
        // Only a Qt mnemonic depends on whether the item opens a submenu: ask only then.
        if (asShortcut && asShortcut != parseKeyBinding(*binding, style, title, true)) {
            auto count = childCount(element);
            if (count && *count > 0)
                asShortcut.reset();
        }
        return *(element.key = asShortcut);
    }

    std::shared_ptr<Element> parent(const Element& element)
    {
        auto parent = request(element.pid, [&] {
            GError* error = nullptr;
            AtspiAccessible* object = atspi_accessible_get_parent(element.accessible, &error);
            g_clear_error(&error);
            return object;
        });
        if (!parent || !*parent)
            return nullptr;
        return wrap(element.pid, *parent, Presentation::object);
    }

    bool press(const Element& element)
    {
        auto pressed = request(element.pid, [&] {
            auto action = adopt(atspi_accessible_get_action_iface(element.accessible));
            if (!action)
                return false;
            GError* error = nullptr;
            const int count = atspi_action_get_n_actions(action.get(), &error);
            if (error || count <= 0) {
                g_clear_error(&error);
                return false;
            }
            int index = 0;
            for (int i = 0; i < count; ++i) {
                Text name(atspi_action_get_action_name(action.get(), i, nullptr));
                const std::string_view actionName(name ? name.get() : "");
                if (actionName == "click" || actionName == "activate" || actionName == "Press" ||
                    actionName == "press") {
                    index = i;
                    break;
                }
            }
            const bool done = atspi_action_do_action(action.get(), index, &error);
            const bool failed = error != nullptr;
            g_clear_error(&error);
            return done && !failed;
        });
        return pressed.value_or(false);
    }

private:
    void applyTimeout()
    {
        const int milliseconds = static_cast<int>(timeout_.count());
        atspi_set_timeout(milliseconds, milliseconds);
    }

    platform::Log& log_;
    AccessibilitySwitch switch_;
    bool connected_ = false;
    Clock::time_point nextProbe_{};
    GMainContext* context_ = nullptr;
    std::chrono::milliseconds timeout_ = std::chrono::seconds(1);
    std::set<pid_t> notAnswering_;
    std::uint64_t requests_ = 0;
    std::uint64_t readNumber_ = 0;  // counts reads and presses, which begin with expectAnswers
    std::map<pid_t, std::string> toolkits_;
    std::map<pid_t, std::optional<bool>> listsChildren_;  // whether GetChildren is known
    std::map<pid_t, std::optional<bool>> listsMenus_;     // whether the Collection interface is
};

namespace {

bool isTrue(platform::Accessibility& accessibility, const ElementRef& element, std::string_view attribute)
{
    return platform::readBoolean(accessibility, element, attribute).value_or(false);
}

bool isShown(platform::Accessibility& accessibility, const ElementRef& element)
{
    return isTrue(accessibility, element, atspi_attribute::showing) &&
           isTrue(accessibility, element, atspi_attribute::visible);
}

bool hasKeyEquivalent(platform::Accessibility& accessibility, const ElementRef& item)
{
    return platform::readText(accessibility, item, ax::cmdChar) ||
           platform::readInteger(accessibility, item, ax::cmdVirtualKey) ||
           platform::readInteger(accessibility, item, ax::cmdGlyph);
}

// How well a menu bar fits: shown, the items of its first menu visible, and
// some of them carrying accelerators, in this order of weight.
int menuBarFitness(platform::Accessibility& accessibility, const ElementRef& bar)
{
    int fitness = isShown(accessibility, bar) ? 4 : 0;
    for (const auto& entry : platform::readChildren(accessibility, bar)) {
        const auto menus = platform::readChildren(accessibility, entry);
        const auto items = menus.empty() ? menus : platform::readChildren(accessibility, menus.front());
        if (items.empty())
            continue;
        bool visible = false;
        bool accelerator = false;
        for (std::size_t i = 0; i < std::min(items.size(), menuBarProbeItems) && !(visible && accelerator); ++i) {
            visible = visible || isTrue(accessibility, items[i], atspi_attribute::visible);
            accelerator = accelerator || hasKeyEquivalent(accessibility, items[i]);
        }
        return fitness + (visible ? 2 : 0) + (accelerator ? 1 : 0);
    }
    return fitness;
}

} // namespace

ElementRef chooseMenuBar(platform::Accessibility& accessibility, const ElementRef& window)
{
    // Breadth first; a tool bar is searched only as the window's own (Firefox
    // keeps its menu bar in one), not the many button rows inside panes.
    static const std::set<std::string, std::less<>> containers = {
        "filler", "panel", "split pane", "root pane", "layered pane", "scroll pane", "viewport", "section", "grouping",
    };
    std::vector<ElementRef> bars;
    std::deque<std::pair<ElementRef, int>> queue{{window, 0}};
    std::size_t examined = 0;
    while (!queue.empty()) {
        auto [element, depth] = queue.front();
        queue.pop_front();
        // A shown bar of the window's own (Qt's, for one) ends the search.
        if (depth == 1 && std::ranges::any_of(bars, [&](const auto& bar) { return isShown(accessibility, bar); }))
            break;
        for (const auto& child : platform::readChildren(accessibility, element)) {
            if (++examined > menuBarSearchBudget)
                break;
            auto role = platform::readText(accessibility, child, atspi_attribute::role);
            if (!role)
                continue;
            if (*role == "menu bar")
                bars.push_back(child);
            else if (depth + 1 < menuBarSearchDepth &&
                     (containers.contains(*role) || (depth == 0 && *role == "tool bar")))
                queue.emplace_back(child, depth + 1);
        }
    }
    if (bars.size() <= 1)
        return bars.empty() ? nullptr : bars.front();
    ElementRef best;
    int bestFitness = -1;
    for (const auto& bar : bars)
        if (const int fitness = menuBarFitness(accessibility, bar); fitness > bestFitness) {
            best = bar;
            bestFitness = fitness;
        }
    return best;
}

AtspiAccessibility::AtspiAccessibility(platform::Log& log) : connection_(std::make_unique<Connection>(log)) {}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isProcessTrusted()
{
    std::lock_guard lock(atspiLock());
    return connection_->accessibilitySwitch().isEnabled().value_or(false);
}

bool AtspiAccessibility::requestTrust()
{
    std::lock_guard lock(atspiLock());
    auto& accessibilitySwitch = connection_->accessibilitySwitch();
    if (accessibilitySwitch.isEnabled().value_or(false))
        return true;
    if (!accessibilitySwitch.enable()) {
        connection_->log().error(platform::LogCategory::accessibility,
                                 "Could not switch on the desktop's accessibility");
        return false;
    }
    connection_->log().notice(platform::LogCategory::accessibility,
                              "Switched on the desktop's accessibility; applications started before may need a "
                              "restart to show their menus");
    return accessibilitySwitch.isEnabled().value_or(false);
}

ElementRef AtspiAccessibility::applicationElement(pid_t pid)
{
    return std::make_shared<Element>(pid, nullptr, Presentation::application);
}

void AtspiAccessibility::setMessagingTimeout(const ElementRef& application, std::chrono::duration<double> timeout)
{
    std::lock_guard lock(atspiLock());
    connection_->setTimeout(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
    // Called at the start of every read of the application.
    if (const auto* element = dynamic_cast<const Element*>(application.get()))
        connection_->expectAnswers(element->pid);
}

std::optional<AttributeValue> AtspiAccessibility::copyAttribute(const ElementRef& reference, std::string_view attribute)
{
    const auto* element = dynamic_cast<const Element*>(reference.get());
    if (!element)
        return std::nullopt;
    if (attribute == atspi_attribute::processIdentifier)
        return AttributeNumber{static_cast<double>(element->pid)};
    std::lock_guard lock(atspiLock());
    auto& connection = *connection_;
    // An application that stopped answering is asked nothing more (each
    // request checks), but what was asked ahead and answered still serves.
    if (!connection.connected())
        return std::nullopt;
    connection.drain();
    if (!connection.resolve(*element))
        return std::nullopt;

    const bool application = element->presentation == Presentation::application;
    if (application && attribute == ax::menuBar) {
        for (const auto& window : connection.windowsActiveFirst(*element))
            if (auto bar = chooseMenuBar(*this, window))
                return bar;
        return std::nullopt;
    }
    if (attribute == ax::children)
        return connection.children(*element);
    if (attribute == atspi_attribute::parent) {
        if (auto parent = connection.parent(*element))
            return ElementRef(parent);
        return std::nullopt;
    }
    if (attribute == ax::title) {
        auto title = connection.name(*element);
        element->lastTitle = title;
        if (title)
            return *title;
        return std::nullopt;
    }
    if (attribute == atspi_attribute::role) {
        auto role = connection.role(*element);
        Text name(role ? atspi_role_get_name(*role) : nullptr);
        if (name)
            return std::string(name.get());
        return std::nullopt;
    }
    if (attribute == atspi_attribute::showing || attribute == atspi_attribute::visible) {
        auto states = connection.states(*element);
        if (!states)
            return std::nullopt;
        const bool set = atspi_state_set_contains(
            *states, attribute == atspi_attribute::showing ? ATSPI_STATE_SHOWING : ATSPI_STATE_VISIBLE);
        g_object_unref(*states);
        return AttributeNumber{set ? 1.0 : 0.0};
    }
    if (attribute == ax::enabled) {
        auto states = connection.states(*element);
        if (!states)
            return std::nullopt;
        const bool enabled = atspi_state_set_contains(*states, ATSPI_STATE_ENABLED);
        g_object_unref(*states);
        return AttributeNumber{enabled ? 1.0 : 0.0};
    }
    if (attribute == atspi_attribute::gtkAccelerator) {
        if (!connection.isGtk(*element))
            return std::nullopt;
        const auto binding = connection.keyBinding(*element);
        const auto accelerator = binding ? gtkAccelerator(*binding) : std::string_view();
        if (accelerator.empty())
            return std::nullopt;
        return std::string(accelerator);
    }
    if (isKeyAttribute(attribute)) {
        const auto& key = connection.key(*element);
        return key ? keyAttribute(*key, attribute) : std::nullopt;
    }
    return std::nullopt;
}

AtspiAccessibility::Presence AtspiAccessibility::presence(pid_t pid)
{
    std::lock_guard lock(atspiLock());
    auto& connection = *connection_;
    if (!connection.connected())
        return Presence::noBus;
    if (!connection.answering(pid))
        return Presence::notAnswering;
    connection.drain();
    Element application(pid, nullptr, Presentation::application);
    return connection.resolve(application) ? Presence::onBus : Presence::notOnBus;
}

bool AtspiAccessibility::answers(pid_t pid)
{
    std::lock_guard lock(atspiLock());
    return connection_->answering(pid);
}

std::uint64_t AtspiAccessibility::requestCount() const
{
    std::lock_guard lock(atspiLock());
    return connection_->requests();
}

bool AtspiAccessibility::performAction(const ElementRef& reference, std::string_view action)
{
    const auto* element = dynamic_cast<const Element*>(reference.get());
    if (!element || action != ax::press)
        return false;
    std::lock_guard lock(atspiLock());
    auto& connection = *connection_;
    if (!connection.connected())
        return false;
    connection.expectAnswers(element->pid);
    connection.drain();
    if (!connection.resolve(*element))
        return false;
    return connection.press(*element);
}

} // namespace hb::linux_platform
