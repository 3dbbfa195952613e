// What a screen reader user meets in Hintboard's own menus and windows: the
// status menu as a panel that draws status items reads it over the session
// bus, the same menu popped up at an XEmbed tray icon, the settings window's
// headings and named groups, and the quiz's answers said once.
#include "accessible_tree.h"
#include "tray_application.h"

#include <atspi/atspi.h>
#include <gio/gio.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace hb::e2e {
namespace {

using testing::Contains;
using testing::IsSupersetOf;

constexpr char watcherName[] = "org.kde.StatusNotifierWatcher";

// A StatusNotifierWatcher with a host, as a panel offers it: Qt then speaks
// StatusNotifierItem instead of XEmbed and registers its item here. Served on
// a thread of its own, on its own connection.
class StatusNotifierWatcher {
public:
    StatusNotifierWatcher()
    {
        thread_ = std::thread([this] { serve(); });
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return started_; });
    }
    ~StatusNotifierWatcher()
    {
        g_main_context_invoke(
            context_, [](gpointer loop) { return g_main_loop_quit(static_cast<GMainLoop*>(loop)), G_SOURCE_REMOVE; },
            loop_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }

    bool owned() const { return owned_; }
    // The first item registered, waited for.
    std::string item(std::chrono::seconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [this] { return !items_.empty(); });
        return items_.empty() ? std::string() : items_.front();
    }

private:
    void serve()
    {
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, false);
        g_main_context_push_thread_default(context_);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            std::getenv("DBUS_SESSION_BUS_ADDRESS"),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(R"(<node><interface name="org.kde.StatusNotifierWatcher">
              <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
              <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
            </interface></node>)",
                                                           nullptr);
        static const GDBusInterfaceVTable vtable{&StatusNotifierWatcher::called, &StatusNotifierWatcher::property,
                                                 nullptr, {}};
        if (bus && node &&
            g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", node->interfaces[0], &vtable, this,
                                              nullptr, nullptr) > 0) {
            GVariant* reply = g_dbus_connection_call_sync(
                bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", watcherName, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
                nullptr);
            if (reply) {
                guint32 result = 0;
                g_variant_get(reply, "(u)", &result);
                owned_ = result == 1;
                g_variant_unref(reply);
            }
        }
        {
            std::lock_guard lock(mutex_);
            started_ = true;
        }
        changed_.notify_all();
        g_main_loop_run(loop_);
        if (bus) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        if (node)
            g_dbus_node_info_unref(node);
        g_main_context_pop_thread_default(context_);
    }

    static void called(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self)
    {
        auto& watcher = *static_cast<StatusNotifierWatcher*>(self);
        if (std::string_view(method) == "RegisterStatusNotifierItem") {
            const gchar* service = nullptr;
            g_variant_get(parameters, "(&s)", &service);
            // An item names its bus name, or only its path on the caller's connection.
            std::string item = service && service[0] != '/' ? service : sender;
            {
                std::lock_guard lock(watcher.mutex_);
                watcher.items_.push_back(std::move(item));
            }
            watcher.changed_.notify_all();
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* property(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                              gpointer)
    {
        return g_variant_new_boolean(true);  // IsStatusNotifierHostRegistered
    }

    std::thread thread_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool owned_ = false;
    std::vector<std::string> items_;
};

// One entry of a com.canonical.dbusmenu layout, as a host reads it.
struct MenuEntry {
    std::int32_t id = 0;
    std::string label;
    std::string type;        // "separator" or empty
    bool enabled = true;
    std::vector<std::vector<std::string>> shortcut;
};

GVariant* callSync(GDBusConnection* bus, const std::string& service, const std::string& path, const char* interface,
                   const char* method, GVariant* parameters)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, service.c_str(), path.c_str(), interface, method, parameters,
                                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (error) {
        ADD_FAILURE() << interface << "." << method << ": " << error->message;
        g_error_free(error);
    }
    return reply;
}

// The top level of the item's exported menu, after telling it that it opens.
std::vector<MenuEntry> exportedMenu(GDBusConnection* bus, const std::string& item, std::string& menuPath)
{
    std::vector<MenuEntry> entries;
    GVariant* menu = callSync(bus, item, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                              g_variant_new("(ss)", "org.kde.StatusNotifierItem", "Menu"));
    if (!menu)
        return entries;
    GVariant* path = nullptr;
    g_variant_get(menu, "(v)", &path);
    menuPath = g_variant_get_string(path, nullptr);
    g_variant_unref(path);
    g_variant_unref(menu);
    if (GVariant* shown = callSync(bus, item, menuPath, "com.canonical.dbusmenu", "AboutToShow", g_variant_new("(i)", 0)))
        g_variant_unref(shown);
    GVariant* layout = callSync(bus, item, menuPath, "com.canonical.dbusmenu", "GetLayout",
                                g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
    if (!layout)
        return entries;
    GVariant* root = g_variant_get_child_value(layout, 1);
    GVariant* children = g_variant_get_child_value(root, 2);
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
        GVariant* boxed = g_variant_get_child_value(children, i);
        GVariant* child = g_variant_get_variant(boxed);
        MenuEntry entry;
        GVariant* properties = nullptr;
        g_variant_get(child, "(i@a{sv}av)", &entry.id, &properties, nullptr);
        const gchar* text = nullptr;
        if (g_variant_lookup(properties, "label", "&s", &text))
            entry.label = text;
        if (g_variant_lookup(properties, "type", "&s", &text))
            entry.type = text;
        gboolean enabled = true;
        if (g_variant_lookup(properties, "enabled", "b", &enabled))
            entry.enabled = enabled;
        if (GVariant* shortcut = g_variant_lookup_value(properties, "shortcut", G_VARIANT_TYPE("aas"))) {
            for (gsize k = 0; k < g_variant_n_children(shortcut); ++k) {
                GVariant* keys = g_variant_get_child_value(shortcut, k);
                const gchar** names = g_variant_get_strv(keys, nullptr);
                entry.shortcut.emplace_back(names, names + g_strv_length(const_cast<gchar**>(names)));
                g_free(names);
                g_variant_unref(keys);
            }
            g_variant_unref(shortcut);
        }
        entries.push_back(std::move(entry));
        g_variant_unref(properties);
        g_variant_unref(child);
        g_variant_unref(boxed);
    }
    g_variant_unref(children);
    g_variant_unref(root);
    g_variant_unref(layout);
    return entries;
}

const MenuEntry* entryLabelled(const std::vector<MenuEntry>& entries, std::string_view label)
{
    const auto found = std::ranges::find(entries, label, &MenuEntry::label);
    return found == entries.end() ? nullptr : &*found;
}

using Keys = std::vector<std::vector<std::string>>;

// The showing elements of the process as "role: name", in tree order.
std::vector<std::string> showingElements(pid_t pid)
{
    std::vector<std::string> found;
    const std::function<void(AtspiAccessible*, int)> walk = [&](AtspiAccessible* element, int depth) {
        AtspiStateSet* states = atspi_accessible_get_state_set(element);
        const bool showing = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
        if (states)
            g_object_unref(states);
        if (!showing || depth > 20)
            return;
        gchar* role = atspi_accessible_get_role_name(element, nullptr);
        gchar* name = atspi_accessible_get_name(element, nullptr);
        found.push_back(std::string(role ? role : "") + ": " + (name ? name : ""));
        g_free(role);
        g_free(name);
        const int count = atspi_accessible_get_child_count(element, nullptr);
        for (int index = 0; index < count; ++index)
            if (AtspiAccessible* child = atspi_accessible_get_child_at_index(element, index, nullptr)) {
                walk(child, depth + 1);
                g_object_unref(child);
            }
    };
    atspi_init();
    AtspiAccessible* desktop = atspi_get_desktop(0);
    for (int index = 0; index < atspi_accessible_get_child_count(desktop, nullptr); ++index)
        if (AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, index, nullptr)) {
            if (pid_t(atspi_accessible_get_process_id(app, nullptr)) == pid)
                walk(app, 0);
            g_object_unref(app);
        }
    g_object_unref(desktop);
    return found;
}

// What a screen reader says as the focus moves: each focused element's role,
// name and key binding.
class SpokenFocus {
public:
    explicit SpokenFocus(pid_t pid) : pid_(pid), listener_(atspi_event_listener_new(&SpokenFocus::received, this, nullptr))
    {
        atspi_init();
        atspi_event_listener_register(listener_, "object:state-changed:focused", nullptr);
    }
    ~SpokenFocus()
    {
        atspi_event_listener_deregister(listener_, "object:state-changed:focused", nullptr);
        g_object_unref(listener_);
    }
    // Waits until an element of that name took the focus.
    bool waitFor(const std::string& name, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::ranges::none_of(said_, [&](const std::string& line) {
            return line.find(": " + name + " [") != std::string::npos;
        })) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (!g_main_context_iteration(nullptr, false))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    // "role: name [key binding]" of each element that took the focus.
    const std::vector<std::string>& said() const { return said_; }

private:
    static void received(AtspiEvent* event, void* self)
    {
        auto& spoken = *static_cast<SpokenFocus*>(self);
        if (event->detail1 == 1 && event->source &&
            pid_t(atspi_accessible_get_process_id(event->source, nullptr)) == spoken.pid_) {
            gchar* role = atspi_accessible_get_role_name(event->source, nullptr);
            gchar* name = atspi_accessible_get_name(event->source, nullptr);
            std::string keys;
            if (AtspiAction* action = atspi_accessible_get_action_iface(event->source)) {
                gchar* binding = atspi_action_get_key_binding(action, 0, nullptr);
                keys = binding ? binding : "";
                g_free(binding);
                g_object_unref(action);
            }
            spoken.said_.push_back(std::string(role ? role : "") + ": " + (name ? name : "") + " [" + keys + "]");
            g_free(role);
            g_free(name);
        }
        g_boxed_free(ATSPI_TYPE_EVENT, event);
    }

    pid_t pid_;
    AtspiEventListener* listener_;
    std::vector<std::string> said_;
};

class SpokenMenus : public TrayApplication {};

class StatusNotifierMenu : public TrayApplication {
protected:
    void SetUp() override {}
    void TearDown() override
    {
        if (hintboard > 0)
            session->stopApplication(hintboard);
        hintboard = -1;
    }
};

// A panel that draws status items reads the menu over the bus: each entry
// with its keys and whether it can be chosen, and a chosen entry runs.
TEST_F(StatusNotifierMenu, HostReadsEachEntryWithItsKeys)
{
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.owned()) << "another watcher runs in this session";
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    hintboard = session->launch({HINTBOARD_EXECUTABLE});
    ASSERT_GT(hintboard, 0);
    const std::string item = watcher.item();
    ASSERT_FALSE(item.empty()) << "no status item registered";
    EXPECT_FALSE(trayIcon()) << "embedded as well";

    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_TRUE(bus);
    std::string menuPath;
    std::vector<MenuEntry> entries;
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return (entries = exportedMenu(bus, item, menuPath)).size() > 3; }))
        << "menu at " << menuPath;
    std::vector<std::string> labels;
    for (const auto& entry : entries)
        labels.push_back(entry.type == "separator" ? "—" : entry.label);
    EXPECT_THAT(labels, IsSupersetOf({"Show Shortcuts", "Check for Updates…", "Settings…", "About Hintboard", "—",
                                      "Quit Hintboard"}));
    EXPECT_LT(std::ranges::find(labels, "Show Shortcuts"), std::ranges::find(labels, "Settings…"));

    ASSERT_TRUE(entryLabelled(entries, "Show Shortcuts"));
    EXPECT_EQ(entryLabelled(entries, "Show Shortcuts")->shortcut, (Keys{{"Super", "Alt", "K"}})) << "the hot key";
    ASSERT_TRUE(entryLabelled(entries, "Settings…"));
    EXPECT_EQ(entryLabelled(entries, "Settings…")->shortcut, (Keys{{"Control", ","}}));
    EXPECT_TRUE(entryLabelled(entries, "Settings…")->enabled);
    ASSERT_TRUE(entryLabelled(entries, "Quit Hintboard"));
    EXPECT_EQ(entryLabelled(entries, "Quit Hintboard")->shortcut, (Keys{{"Control", "Q"}}));
    EXPECT_TRUE(entryLabelled(entries, "About Hintboard")->shortcut.empty());

    GVariant* clicked = callSync(bus, item, menuPath, "com.canonical.dbusmenu", "Event",
                                 g_variant_new("(isvu)", entryLabelled(entries, "Settings…")->id, "clicked",
                                               g_variant_new_int32(0), 0u));
    if (clicked)
        g_variant_unref(clicked);
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard Settings").has_value(); }));
    g_object_unref(bus);
}

// The same menu popped up at an XEmbed tray icon, as a screen reader hears
// it going down the menu: items named by their titles alone, each with its
// keys as its key binding.
TEST_F(SpokenMenus, PoppedUpMenuItemsAreSpokenWithTheirKeys)
{
    SpokenFocus spoken(hintboard);
    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    run("xdotool key --delay 150 Down Down Down Down");
    EXPECT_TRUE(spoken.waitFor("Settings…")) << testing::PrintToString(spoken.said());
    EXPECT_THAT(spoken.said(), IsSupersetOf({"menu item: Show Shortcuts [Meta+Alt+K]", "menu item: Settings… [Ctrl+,]",
                                              "menu item: Check for Updates… []"}));
    screenshot("status-menu-keys.png");
    run("xdotool key Escape");
}

// The settings window's group titles are headings and each box of controls
// is a group named by its title.
TEST_F(SpokenMenus, SettingsGroupsAreNamedUnderHeadings)
{
    run(std::string(HINTBOARD_EXECUTABLE) + " settings");
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard Settings").has_value(); }));
    std::vector<std::string> headings, groups;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        headings.clear();
        groups.clear();
        for (const auto& element : showingElements(hintboard)) {
            if (element.starts_with("heading: "))
                headings.push_back(element.substr(9));
            else if (element.starts_with("panel: ") && element.size() > 7)
                groups.push_back(element.substr(7));
        }
        return !headings.empty();
    })) << testing::PrintToString(showingElements(hintboard));
    EXPECT_THAT(headings, IsSupersetOf({"Global Shortcut", "Double-tap Trigger", "Appearance"}));
    for (const auto& heading : headings)
        EXPECT_THAT(groups, Contains(heading)) << "the box under " << heading;
    run("sleep 0.5");
    screenshot("settings-general-headings.png");
    run("xdotool windowactivate --sync " + hintboardWindowNamed("Hintboard Settings")->id + " key ctrl+w");
}

// Spoken changes of one element: its description, as screen readers hear it
// when that element has the focus.
class DescriptionChanges {
public:
    explicit DescriptionChanges(pid_t pid)
        : pid_(pid), listener_(atspi_event_listener_new(&DescriptionChanges::received, this, nullptr))
    {
        atspi_event_listener_register(listener_, "object:property-change:accessible-description", nullptr);
    }
    ~DescriptionChanges()
    {
        atspi_event_listener_deregister(listener_, "object:property-change:accessible-description", nullptr);
        g_object_unref(listener_);
    }
    const std::vector<std::string>& said() const { return said_; }

private:
    static void received(AtspiEvent* event, void* self)
    {
        auto& changes = *static_cast<DescriptionChanges*>(self);
        if (event->source && pid_t(atspi_accessible_get_process_id(event->source, nullptr)) == changes.pid_) {
            AtspiStateSet* states = atspi_accessible_get_state_set(event->source);
            const bool focused = states && atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
            if (states)
                g_object_unref(states);
            if (focused && G_VALUE_HOLDS_STRING(&event->any_data))
                if (const char* text = g_value_get_string(&event->any_data); text && *text)
                    changes.said_.emplace_back(text);
        }
        g_boxed_free(ATSPI_TYPE_EVENT, event);
    }

    pid_t pid_;
    AtspiEventListener* listener_;
    std::vector<std::string> said_;
};

long long timesSaid(const std::vector<std::string>& said, const std::string& text)
{
    return std::ranges::count_if(said, [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// Mousepad's keys for a command as xdotool names them, when they are a plain
// letter, digit or function key with modifiers; else empty.
std::string pressableKeys(const std::string& title)
{
    std::istringstream listing(run(std::string(HINTBOARD_EXECUTABLE) + " shortcuts --app mousepad"));
    static const std::regex pressable(R"(((Ctrl|Alt|Shift|Super)\+)*([A-Z0-9]|F[0-9]+))");
    for (std::string line; std::getline(listing, line);) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, title.size() + 3, title + "   ") != 0)
            continue;
        std::string label = line.substr(line.find_first_not_of(' ', start + title.size()));
        if (!std::regex_match(label, pressable))
            return {};
        std::ranges::transform(label, label.begin(), [](unsigned char c) { return std::tolower(c); });
        return label;
    }
    return {};
}

// A wrong and a right answer: each feedback is said once, then the next
// question once; nothing is said again as a description of the focused window.
TEST_F(SpokenMenus, QuizFeedbackIsSaidOnce)
{
    Announcements announcements(hintboard);
    DescriptionChanges descriptions(hintboard);
    run(std::string(HINTBOARD_EXECUTABLE) + " quiz");
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Quiz Mode — Mousepad").has_value(); }))
        << DesktopSession::windowTitles(hintboard);
    run("xdotool windowactivate --sync " + hintboardWindowNamed("Quiz Mode — Mousepad")->id);
    ASSERT_TRUE(announcements.waitFor("Press the shortcut")) << testing::PrintToString(announcements.said());
    run("xdotool key ctrl+alt+shift+F12");
    ASSERT_TRUE(announcements.waitFor("You pressed")) << testing::PrintToString(announcements.said());

    // Questions come in random order: wrong answers lead to one whose keys xdotool can press.
    int questions = 1;
    bool answeredRight = false;
    while (!answeredRight && questions < 12) {
        Announcements next(hintboard);
        ASSERT_TRUE(next.waitFor("Press the shortcut")) << testing::PrintToString(next.said());
        ++questions;
        const std::string question = next.said().back();
        const std::string keys = pressableKeys(question.substr(0, question.find(", in ")));
        run("xdotool key " + (keys.empty() ? std::string("ctrl+alt+shift+F12") : keys));
        ASSERT_TRUE(next.waitFor(keys.empty() ? "You pressed" : "Right: ")) << question << ": " << keys;
        answeredRight = !keys.empty();
    }
    ASSERT_TRUE(answeredRight);
    Announcements last(hintboard);
    EXPECT_TRUE(last.waitFor("Press the shortcut")) << testing::PrintToString(last.said());
    last.waitFor("said again", std::chrono::seconds(1));
    std::vector<std::string> heard = announcements.said();
    heard.insert(heard.end(), descriptions.said().begin(), descriptions.said().end());
    EXPECT_EQ(timesSaid(heard, "Right: "), 1) << testing::PrintToString(heard);
    EXPECT_EQ(timesSaid(heard, "You pressed"), questions - 1) << testing::PrintToString(heard);
    EXPECT_EQ(timesSaid(heard, "Press the shortcut"), questions + 1) << testing::PrintToString(heard);
    screenshot("quiz-after-answers.png");
    run("xdotool key Escape");
}

} // namespace
} // namespace hb::e2e
