#include "platform/linux/atspi_accessibility.h"

#include "platform/linux/atspi_key_binding.h"
#include "platform/linux/atspi_switch.h"

#include <atspi/atspi.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <type_traits>
#include <utility>

namespace hb::linux_platform {

using platform::AXElementRef;
using platform::AXNumber;
using platform::AXValue;
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

class Element final : public platform::AXElement {
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
    mutable std::optional<bool> isMenu;  // known before the role when listed with its siblings
    mutable bool listedWithMenus = false;  // isMenu came from listing the menus among an ATK menu's items
    mutable std::optional<std::optional<MenuKeyEquivalent>> key;
    mutable std::optional<std::string> lastTitle;  // the title most recently read
    // Answers asked for ahead, with the siblings, during the read `prefetchedIn`;
    // each serves one read of its attribute in that read.
    mutable std::optional<std::string> prefetchedTitle;
    mutable std::optional<std::string> prefetchedBinding;
    mutable std::optional<int> prefetchedChildCount;
    mutable std::uint64_t prefetchedIn = 0;
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
        if (Clock::now() - start >= timeout_ * 9 / 10) {
            notAnswering_.insert(pid);
            log_.info(platform::LogCategory::scraper, "pid {} does not answer accessibility requests", pid);
        }
        return result;
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

    // The child objects, in order; a child that cannot be read ends the list.
    std::vector<AtspiAccessible*> childObjects(const Element& element)
    {
        if (collectionSupported_[element.pid] != false) {
            if (auto children = childObjectsAtOnce(element))
                return *children;
        }
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

    // All children in one request through the Collection interface (GTK has it
    // on every object, Qt on none); absent when the application lacks it.
    std::optional<std::vector<AtspiAccessible*>> childObjectsAtOnce(const Element& element)
    {
        auto matches = request(element.pid, [&] {
            GError* error = nullptr;
            GArray* found = atspi_collection_get_matches(ATSPI_COLLECTION(element.accessible), anyObject(),
                                                         ATSPI_Collection_SORT_ORDER_CANONICAL, 0, FALSE, &error);
            g_clear_error(&error);
            return found;
        });
        if (!answering(element.pid))
            return std::vector<AtspiAccessible*>{};
        if (!matches || !*matches) {
            collectionSupported_[element.pid] = false;
            return std::nullopt;
        }
        GArray* found = *matches;
        collectionSupported_[element.pid] = true;
        std::vector<AtspiAccessible*> children;
        for (guint i = 0; i < found->len; ++i)
            children.push_back(g_array_index(found, AtspiAccessible*, i));
        g_array_free(found, TRUE);
        return children;
    }

    static AtspiMatchRule* anyObject()
    {
        static AtspiMatchRule* rule =
            atspi_match_rule_new(nullptr, ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE, nullptr,
                                 ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE, FALSE);
        return rule;
    }

    std::shared_ptr<Element> wrap(pid_t pid, AtspiAccessible* object, Presentation presentation)
    {
        return std::make_shared<Element>(pid, object, presentation);
    }

    std::vector<AXElementRef> children(const Element& element)
    {
        // Qt's menu entries are menu items holding a popup menu, never menus.
        if (element.presentation == Presentation::item && !element.isMenu && toolkit(element) == "Qt")
            element.isMenu = false;
        if (element.presentation == Presentation::item && !element.isMenu) {
            auto role = this->role(element);
            if (!role)
                return {};
            element.isMenu = *role == ATSPI_ROLE_MENU;
        }
        if (element.presentation == Presentation::item && *element.isMenu)
            return {wrap(element.pid, static_cast<AtspiAccessible*>(g_object_ref(element.accessible)),
                         Presentation::menuItems)};
        // An ATK menu item that opens nothing holds nothing: its submenu would
        // have made it a menu. Saves a request per item.
        if (element.presentation == Presentation::item && element.listedWithMenus)
            return {};
        if (element.presentation == Presentation::item && takePrefetched(element, element.prefetchedChildCount) == 0)
            return {};
        bool holdsItems = element.presentation == Presentation::menuItems;
        if (element.presentation != Presentation::item && !holdsItems) {
            auto role = this->role(element);
            if (!role)
                return {};
            holdsItems = isMenuContainer(*role);
        }
        auto objects = childObjects(element);
        const auto menus = holdsItems ? menusAmong(element) : std::nullopt;
        std::vector<std::shared_ptr<Element>> items;
        for (auto* object : objects) {
            auto child = wrap(element.pid, object, holdsItems ? Presentation::item : Presentation::object);
            if (menus) {
                child->isMenu = menus->contains(object);
                child->listedWithMenus = true;
            }
            items.push_back(child);
        }
        // The reader asks every item for its title and key next.
        if (holdsItems)
            prefetchTitlesAndBindings(items);
        return {items.begin(), items.end()};
    }

    // Asks every item for its title and key binding at once, the requests in
    // flight together instead of one round trip each; the answers are matched
    // to their items by libdbus's serials. An application that lets them time
    // out counts as not answering, as with single requests.
    void prefetchTitlesAndBindings(const std::vector<std::shared_ptr<Element>>& items)
    {
        // In slices, so that a menu of a hundred thousand items does not flood the connection.
        constexpr std::size_t slice = 64;
        for (std::size_t first = 0; first < items.size(); first += slice)
            prefetchTitlesAndBindings(std::span(items).subspan(first, std::min(slice, items.size() - first)));
    }

    void prefetchTitlesAndBindings(std::span<const std::shared_ptr<Element>> items)
    {
        if (items.empty() || !answering(items.front()->pid))
            return;
        const pid_t pid = items.front()->pid;
        AtspiApplication* application = items.front()->accessible->parent.app;
        if (!application || !application->bus)
            return;
        auto send = [&](const Element& item, const char* interface, const char* method, auto... arguments) {
            DBusMessage* message =
                dbus_message_new_method_call(application->bus_name, item.accessible->parent.path, interface, method);
            DBusPendingCall* call = nullptr;
            if (message && dbus_message_append_args(message, arguments..., DBUS_TYPE_INVALID))
                dbus_connection_send_with_reply(application->bus, message, &call, static_cast<int>(timeout_.count()));
            if (message)
                dbus_message_unref(message);
            ++requests_;
            return call;
        };
        const char* accessibleInterface = "org.a11y.atspi.Accessible";
        const char* nameProperty = "Name";
        const char* childCountProperty = "ChildCount";
        const dbus_int32_t firstAction = 0;
        // Without the Collection interface (Qt) an item's children are counted
        // one by one; ask ahead whether it has any.
        const bool countChildren = collectionSupported_[pid] == false;
        struct Calls {
            DBusPendingCall* name;
            DBusPendingCall* binding;
            DBusPendingCall* childCount;
        };
        std::vector<Calls> calls;
        for (const auto& item : items)
            calls.push_back({send(*item, "org.freedesktop.DBus.Properties", "Get", DBUS_TYPE_STRING,
                                  &accessibleInterface, DBUS_TYPE_STRING, &nameProperty),
                             send(*item, "org.a11y.atspi.Action", "GetKeyBinding", DBUS_TYPE_INT32, &firstAction),
                             countChildren ? send(*item, "org.freedesktop.DBus.Properties", "Get", DBUS_TYPE_STRING,
                                                  &accessibleInterface, DBUS_TYPE_STRING, &childCountProperty)
                                           : nullptr});
        dbus_connection_flush(application->bus);

        const auto start = Clock::now();
        // The reply of a call, or null when it failed or the application stopped answering.
        auto replyOf = [&](DBusPendingCall* call) -> DBusMessage* {
            if (!call)
                return nullptr;
            DBusMessage* reply = nullptr;
            if (answering(pid)) {
                dbus_pending_call_block(call);
                reply = dbus_pending_call_steal_reply(call);
                if (Clock::now() - start >= timeout_ * 9 / 10) {
                    notAnswering_.insert(pid);
                    log_.info(platform::LogCategory::scraper, "pid {} does not answer accessibility requests", pid);
                }
            } else {
                dbus_pending_call_cancel(call);
            }
            dbus_pending_call_unref(call);
            return reply;
        };
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Element& item = *items[i];
            item.prefetchedIn = readNumber_;
            if (DBusMessage* reply = replyOf(calls[i].name)) {
                if (auto title = variant<std::string>(reply))
                    item.prefetchedTitle = trimmed(title->c_str());
                dbus_message_unref(reply);
            }
            if (DBusMessage* reply = replyOf(calls[i].childCount)) {
                item.prefetchedChildCount = variant<int>(reply);
                dbus_message_unref(reply);
            }
            if (DBusMessage* reply = replyOf(calls[i].binding)) {
                const char* binding = nullptr;
                // An error means no action at index 0: no binding, as with the single request.
                if (dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR)
                    item.prefetchedBinding = std::string();
                else if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &binding, DBUS_TYPE_INVALID))
                    item.prefetchedBinding = std::string(binding);
                dbus_message_unref(reply);
            }
        }
    }

    // The text or number in the variant a property read answers with.
    template <typename Value>
    static std::optional<Value> variant(DBusMessage* reply)
    {
        constexpr int type = std::is_same_v<Value, int> ? DBUS_TYPE_INT32 : DBUS_TYPE_STRING;
        DBusMessageIter iterator;
        DBusMessageIter variant;
        if (dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN || !dbus_message_iter_init(reply, &iterator) ||
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

    // The children with the role of a GTK menu, in one request, so that the
    // items need not be asked for their roles one by one.
    std::optional<std::set<AtspiAccessible*>> menusAmong(const Element& element)
    {
        if (collectionSupported_[element.pid] != true)
            return std::nullopt;
        static AtspiMatchRule* menuRule = [] {
            GArray* roles = g_array_new(FALSE, FALSE, sizeof(AtspiRole));
            const AtspiRole menu = ATSPI_ROLE_MENU;
            g_array_append_val(roles, menu);
            auto* rule = atspi_match_rule_new(nullptr, ATSPI_Collection_MATCH_NONE, nullptr,
                                              ATSPI_Collection_MATCH_NONE, roles, ATSPI_Collection_MATCH_ANY, nullptr,
                                              ATSPI_Collection_MATCH_NONE, FALSE);
            g_array_free(roles, TRUE);
            return rule;
        }();
        auto matches = request(element.pid, [&] {
            return atspi_collection_get_matches(ATSPI_COLLECTION(element.accessible), menuRule,
                                                ATSPI_Collection_SORT_ORDER_CANONICAL, 0, FALSE, nullptr);
        });
        if (!matches || !*matches)
            return std::nullopt;
        std::set<AtspiAccessible*> menus;
        for (guint i = 0; i < (*matches)->len; ++i) {
            auto* menu = g_array_index(*matches, AtspiAccessible*, i);
            menus.insert(menu);
            g_object_unref(menu);  // the children hold their own references
        }
        g_array_free(*matches, TRUE);
        return menus;
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
        std::vector<std::shared_ptr<Element>> windows;
        for (auto* child : childObjects(application)) {
            auto window = wrap(application.pid, child, Presentation::object);
            if (auto role = this->role(*window); role && isWindowRole(*role))
                windows.push_back(window);
        }
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

    AXElementRef mainWindow(const Element& application)
    {
        auto all = windows(application);
        if (auto active = activeWindow(all))
            return active;
        for (const auto& window : all)
            if (hasState(*window, ATSPI_STATE_SHOWING))
                return window;
        return all.empty() ? nullptr : all.front();
    }

    std::optional<AtspiRect> extents(const Element& element)
    {
        auto rect = request(element.pid, [&]() -> std::optional<AtspiRect> {
            auto component = adopt(atspi_accessible_get_component_iface(element.accessible));
            if (!component)
                return std::nullopt;
            GError* error = nullptr;
            AtspiRect* extents = atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, &error);
            const bool failed = error != nullptr || !extents;
            g_clear_error(&error);
            std::optional<AtspiRect> result;
            if (!failed)
                result = *extents;
            if (extents)
                g_boxed_free(ATSPI_TYPE_RECT, extents);
            return result;
        });
        return rect ? *rect : std::nullopt;
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
            auto count = request(element.pid, [&] { return atspi_accessible_get_child_count(element.accessible, nullptr); });
            if (count && *count > 0)
                asShortcut.reset();
        }
        return *(element.key = asShortcut);
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
    std::map<pid_t, std::optional<bool>> collectionSupported_;
};

namespace {

bool isTrue(platform::Accessibility& accessibility, const AXElementRef& element, std::string_view attribute)
{
    return platform::readBoolean(accessibility, element, attribute).value_or(false);
}

bool hasKeyEquivalent(platform::Accessibility& accessibility, const AXElementRef& item)
{
    return platform::readText(accessibility, item, ax::cmdChar) ||
           platform::readInteger(accessibility, item, ax::cmdVirtualKey) ||
           platform::readInteger(accessibility, item, ax::cmdGlyph);
}

// How well a menu bar fits: shown, the items of its first menu visible, and
// some of them carrying accelerators, in this order of weight.
int menuBarFitness(platform::Accessibility& accessibility, const AXElementRef& bar)
{
    int fitness = isTrue(accessibility, bar, atspi_attribute::showing) &&
                          isTrue(accessibility, bar, atspi_attribute::visible)
                      ? 4
                      : 0;
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

AXElementRef chooseMenuBar(platform::Accessibility& accessibility, const AXElementRef& window)
{
    // Breadth first; a tool bar is searched only as the window's own (Firefox
    // keeps its menu bar in one), not the many button rows inside panes.
    static const std::set<std::string, std::less<>> containers = {
        "filler", "panel", "split pane", "root pane", "layered pane", "scroll pane", "viewport", "section", "grouping",
    };
    std::vector<AXElementRef> bars;
    std::deque<std::pair<AXElementRef, int>> queue{{window, 0}};
    std::size_t examined = 0;
    while (!queue.empty()) {
        auto [element, depth] = queue.front();
        queue.pop_front();
        for (const auto& child : platform::readChildren(accessibility, element)) {
            if (++examined > menuBarSearchBudget)
                break;
            auto role = platform::readText(accessibility, child, atspi_attribute::role);
            if (!role)
                continue;
            if (*role == "menu bar")
                bars.push_back(child);
            else if (depth + 1 < menuBarSearchDepth && (containers.contains(*role) || (depth == 0 && *role == "tool bar")))
                queue.emplace_back(child, depth + 1);
        }
    }
    if (bars.size() <= 1)
        return bars.empty() ? nullptr : bars.front();
    AXElementRef best;
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

AXElementRef AtspiAccessibility::applicationElement(pid_t pid)
{
    return std::make_shared<Element>(pid, nullptr, Presentation::application);
}

void AtspiAccessibility::setMessagingTimeout(const AXElementRef& application, std::chrono::duration<double> timeout)
{
    std::lock_guard lock(atspiLock());
    connection_->setTimeout(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
    // Called at the start of every read of the application.
    if (const auto* element = dynamic_cast<const Element*>(application.get()))
        connection_->expectAnswers(element->pid);
}

std::optional<AXValue> AtspiAccessibility::copyAttribute(const AXElementRef& reference, std::string_view attribute)
{
    const auto* element = dynamic_cast<const Element*>(reference.get());
    if (!element)
        return std::nullopt;
    std::lock_guard lock(atspiLock());
    auto& connection = *connection_;
    if (!connection.connected() || !connection.answering(element->pid))
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
    if (application && (attribute == ax::focusedWindow || attribute == ax::mainWindow)) {
        auto window = attribute == ax::focusedWindow ? connection.activeWindow(connection.windows(*element))
                                                     : connection.mainWindow(*element);
        if (window)
            return AXElementRef(window);
        return std::nullopt;
    }
    if (attribute == ax::children)
        return connection.children(*element);
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
        return AXNumber{set ? 1.0 : 0.0};
    }
    if (attribute == ax::enabled) {
        auto states = connection.states(*element);
        if (!states)
            return std::nullopt;
        const bool enabled = atspi_state_set_contains(*states, ATSPI_STATE_ENABLED);
        g_object_unref(*states);
        return AXNumber{enabled ? 1.0 : 0.0};
    }
    if (attribute == ax::position || attribute == ax::size) {
        auto rect = connection.extents(*element);
        if (!rect)
            return std::nullopt;
        if (attribute == ax::position)
            return platform::AXPoint{static_cast<double>(rect->x), static_cast<double>(rect->y)};
        return platform::AXSize{static_cast<double>(rect->width), static_cast<double>(rect->height)};
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

std::uint64_t AtspiAccessibility::requestCount() const
{
    std::lock_guard lock(atspiLock());
    return connection_->requests();
}

bool AtspiAccessibility::performAction(const AXElementRef& reference, std::string_view action)
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
