// An accessible application written straight on GDBus (no toolkit): it joins
// the AT-SPI bus of the session with a frame "Faulty" holding a menu bar of
// generated menus, and misbehaves on request, for the end-to-end tests of the
// menu read.
//
//   faulty_atspi_app [--menus N] [--items M] [--reverse] [--flood] [--stall-after K]
//
// Menu m (1…N) is titled "Menu m" and holds its M items directly, as ATK
// menus do; item i is "Item m.i". Its accelerator comes from its place
// n = (m-1)·M + (i-1): key keys[n % KEY_COUNT] with modifier set
// n / KEY_COUNT, so that every item has keys of its own.
//
//   --reverse        hold method calls and answer each group in reverse
//                    order of arrival, after 2 ms without a new call or once
//                    256 are held
//   --flood          send 20 object events (state, name, children changes)
//                    for every call served
//   --stall-after K  answer nothing after the first K calls

#include <gio/gio.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define ROOT_PATH "/org/a11y/atspi/accessible/root"
#define NODE_PATH "/org/a11y/atspi/accessible/%d/%d/%d"
#define ACCESSIBLE "org.a11y.atspi.Accessible"

// Keysyms of the keys the items use, in order: letters, digits, F1–F20, punctuation.
static const char* const punctuation[] = {
    "exclam",       "quotedbl",    "numbersign", "dollar",  "percent",   "ampersand", "apostrophe",  "parenleft",
    "parenright",   "asterisk",    "plus",       "comma",   "minus",     "period",    "slash",       "colon",
    "semicolon",    "less",        "equal",      "greater", "question",  "at",        "bracketleft", "backslash",
    "bracketright", "asciicircum", "underscore", "grave",   "braceleft", "bar",       "braceright",  "asciitilde",
};
#define KEY_COUNT (26 + 10 + 20 + 32)

static struct {
    int menus, items;
    gboolean reverse, flood;
    guint64 stall_after;
} options = {6, 40, FALSE, FALSE, 0};

static GDBusConnection* bus;
static const char* unique_name;
static GAsyncQueue* arrived; // method calls handed over by the connection's thread
static GQueue held = G_QUEUE_INIT;
static guint quiet_timer;
static guint64 calls;

// ---- The tree: each kind of node the parent of the next ----

typedef enum { ROOT, FRAME, MENU_BAR, MENU, ITEM } Kind;
typedef struct {
    Kind kind;
    int menu, item; // 1-based
} Node;

// AT-SPI roles, and states as bits (active 1, enabled 8, focusable 11, selectable 22,
// sensitive 24, showing 25, visible 30).
#define S(state) (1u << (state))
static const struct {
    guint32 role, states;
} kinds[] = {
    [ROOT] = {75, 0},
    [FRAME] = {23, S(1) | S(8) | S(24) | S(25) | S(30)},
    [MENU_BAR] = {34, S(8) | S(24) | S(25) | S(30)},
    [MENU] = {33, S(8) | S(24) | S(25) | S(30) | S(22)},
    [ITEM] = {35, S(8) | S(24) | S(30) | S(22) | S(11)},
};

static gboolean parse_path(const char* path, Node* node)
{
    int kind = 0, menu = 0, item = 0, used = 0;
    if (!strcmp(path, ROOT_PATH)) {
        *node = (Node){ROOT, 0, 0};
        return TRUE;
    }
    if (sscanf(path, NODE_PATH "%n", &kind, &menu, &item, &used) != 3 || path[used] || kind <= ROOT || kind > ITEM)
        return FALSE;
    *node = (Node){kind, kind >= MENU ? menu : 0, kind == ITEM ? item : 0};
    return (kind < MENU || (menu >= 1 && menu <= options.menus))
           && (kind < ITEM || (item >= 1 && item <= options.items)) && node->menu == menu && node->item == item;
}

static GVariant* reference(Node node)
{
    char* path = node.kind == ROOT ? g_strdup(ROOT_PATH) : g_strdup_printf(NODE_PATH, node.kind, node.menu, node.item);
    GVariant* value = g_variant_new("(so)", unique_name, path);
    g_free(path);
    return value;
}

static int child_count(Node node)
{
    return node.kind == MENU_BAR ? options.menus : node.kind == MENU ? options.items : node.kind == ITEM ? 0 : 1;
}

static Node child_at(Node node, int index)
{
    return (Node){node.kind + 1, node.kind == MENU_BAR ? index + 1 : node.menu, node.kind == MENU ? index + 1 : 0};
}

static char* name_of(Node node)
{
    if (node.kind == MENU)
        return g_strdup_printf("Menu %d", node.menu);
    if (node.kind == ITEM)
        return g_strdup_printf("Item %d.%d", node.menu, node.item);
    return g_strdup(node.kind == ROOT ? g_get_prgname() : node.kind == FRAME ? "Faulty" : "");
}

static gboolean has_interface(Node node, const char* interface)
{
    return !strcmp(interface, ACCESSIBLE) || (!strcmp(interface, "org.a11y.atspi.Application") && node.kind == ROOT)
           || (!strcmp(interface, "org.a11y.atspi.Action") && node.kind >= MENU);
}

// The accelerator of an item, in the GTK form "mnemonic;path;accelerator".
static char* key_binding(Node node)
{
    if (node.kind != ITEM)
        return g_strdup("");
    const int place = (node.menu - 1) * options.items + (node.item - 1), key = place % KEY_COUNT;
    const int modifiers = (place / KEY_COUNT + 1) % 16; // Control alone first, no modifier last
    char name[16];
    if (key < 36)
        g_snprintf(name, sizeof name, "%c", key < 26 ? 'a' + key : '0' + key - 26);
    else if (key < 56)
        g_snprintf(name, sizeof name, "F%d", key - 36 + 1);
    else
        g_snprintf(name, sizeof name, "%s", punctuation[key - 56]);
    return g_strdup_printf(";;%s%s%s%s%s", modifiers & 1 ? "<Control>" : "", modifiers & 2 ? "<Alt>" : "",
                           modifiers & 4 ? "<Shift>" : "", modifiers & 8 ? "<Super>" : "", name);
}

static GVariant* property(Node node, const char* interface, const char* name)
{
    if (!has_interface(node, interface))
        return NULL;
    if (!strcmp(name, "Name"))
        return g_variant_new_take_string(name_of(node));
    if (!strcmp(name, "ChildCount"))
        return g_variant_new_int32(child_count(node));
    return strcmp(name, "ToolkitName") ? NULL : g_variant_new_string("Faulty");
}

// ---- Answers ----

// The reply body of a call on `node`, or NULL for a method it does not have.
static GVariant* answer_of(Node node, const char* interface, const char* method, GVariant* arguments)
{
    const char *text = NULL, *second = NULL;
    gint32 index = 0;
    if (!strcmp(interface, "org.freedesktop.DBus.Properties")) {
        if (!strcmp(method, "Get") && g_variant_is_of_type(arguments, G_VARIANT_TYPE("(ss)"))) {
            g_variant_get(arguments, "(&s&s)", &text, &second);
            GVariant* value = property(node, text, second);
            return value ? g_variant_new("(v)", value) : NULL;
        }
        if (strcmp(method, "GetAll") || !g_variant_is_of_type(arguments, G_VARIANT_TYPE("(s)")))
            return NULL;
        g_variant_get(arguments, "(&s)", &text);
        GVariantBuilder all;
        g_variant_builder_init(&all, G_VARIANT_TYPE("a{sv}"));
        for (const char* const* name = (const char* const[]){"Name", "ChildCount", "ToolkitName", NULL}; *name;
             ++name) {
            GVariant* value = property(node, text, *name);
            if (value)
                g_variant_builder_add(&all, "{sv}", *name, value);
        }
        return g_variant_new("(a{sv})", &all);
    }
    if (!has_interface(node, interface))
        return NULL;
    if (g_variant_is_of_type(arguments, G_VARIANT_TYPE("(i)")))
        g_variant_get(arguments, "(i)", &index);
    if (!strcmp(interface, ACCESSIBLE) && !strcmp(method, "GetChildren")) {
        GVariantBuilder children;
        g_variant_builder_init(&children, G_VARIANT_TYPE("a(so)"));
        for (int i = 0; i < child_count(node); ++i)
            g_variant_builder_add_value(&children, reference(child_at(node, i)));
        return g_variant_new("(a(so))", &children);
    }
    if (!strcmp(interface, ACCESSIBLE) && !strcmp(method, "GetRole"))
        return g_variant_new("(u)", kinds[node.kind].role);
    if (!strcmp(interface, ACCESSIBLE) && !strcmp(method, "GetState"))
        return g_variant_new_parsed("([%u, 0],)", kinds[node.kind].states);
    if (strcmp(interface, "org.a11y.atspi.Action") || strcmp(method, "GetKeyBinding") || index != 0)
        return NULL;
    char* binding = key_binding(node);
    GVariant* value = g_variant_new("(s)", binding);
    g_free(binding);
    return value;
}

static void answer(GDBusMessage* call)
{
    const char *interface = g_dbus_message_get_interface(call), *method = g_dbus_message_get_member(call);
    GVariant* arguments =
        g_variant_ref_sink(g_dbus_message_get_body(call) ? g_dbus_message_get_body(call) : g_variant_new("()"));
    Node node;
    GVariant* body = NULL;
    if (interface && method && parse_path(g_dbus_message_get_path(call), &node))
        body = answer_of(node, interface, method, arguments);
    else if (method && !strcmp(method, "GetItems")) // the cache: nothing ahead
        body = g_variant_new_parsed("(@a((so)(so)(so)iiassusau) [],)");
    g_variant_unref(arguments);
    if (g_dbus_message_get_flags(call) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED) {
        if (body)
            g_variant_unref(g_variant_ref_sink(body));
        return;
    }
    GDBusMessage* reply = body ? g_dbus_message_new_method_reply(call)
                               : g_dbus_message_new_method_error(call, "org.freedesktop.DBus.Error.UnknownMethod",
                                                                 "No method %s.%s on %s", interface ? interface : "",
                                                                 method ? method : "", g_dbus_message_get_path(call));
    if (body)
        g_dbus_message_set_body(reply, body);
    g_dbus_connection_send_message(bus, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, NULL, NULL);
    g_object_unref(reply);
}

// ---- Faults ----

static void emit_event(Node node, const char* member, const char* detail, gint32 detail1, GVariant* data)
{
    GVariant* self = g_variant_ref_sink(reference(node));
    const char* path = NULL;
    g_variant_get(self, "(&s&o)", NULL, &path);
    GVariant* body =
        g_variant_new("(siiv@a{sv})", detail, detail1, 0, data, g_variant_new_array(G_VARIANT_TYPE("{sv}"), NULL, 0));
    g_dbus_connection_emit_signal(bus, NULL, path, "org.a11y.atspi.Event.Object", member, body, NULL);
    g_variant_unref(self);
}

// Twenty true events about the called object and its parent: nothing changes
// in the end, but every listener has work to do.
static void flood(GDBusMessage* call)
{
    Node node;
    if (!parse_path(g_dbus_message_get_path(call), &node) || node.kind == ROOT)
        node = (Node){FRAME, 0, 0};
    const Node parent = {node.kind - 1, node.kind == ITEM ? node.menu : 0, 0};
    const int index = node.kind == MENU ? node.menu - 1 : node.kind == ITEM ? node.item - 1 : 0;
    for (int i = 0; i < 5; ++i) {
        emit_event(node, "StateChanged", "visible", 1, g_variant_new_int32(0));
        emit_event(node, "PropertyChange", "accessible-name", 0, g_variant_new_take_string(name_of(node)));
        emit_event(parent, "ChildrenChanged", "remove", index, reference(node));
        emit_event(parent, "ChildrenChanged", "add", index, reference(node));
    }
}

static void answer_held(void)
{
    for (GDBusMessage* call; (call = g_queue_pop_tail(&held)); g_object_unref(call))
        answer(call);
}

static gboolean quiet(gpointer unused)
{
    (void)unused;
    quiet_timer = 0;
    answer_held();
    return G_SOURCE_REMOVE;
}

static void serve(GDBusMessage* call)
{
    if (options.stall_after && ++calls > options.stall_after)
        return;
    if (options.flood)
        flood(call);
    if (!options.reverse) {
        answer(call);
        return;
    }
    g_queue_push_tail(&held, g_object_ref(call));
    if (quiet_timer)
        g_source_remove(quiet_timer);
    quiet_timer = 0;
    if (held.length >= 256)
        answer_held();
    else
        quiet_timer = g_timeout_add(2, quiet, NULL);
}

static gboolean serve_arrived(gpointer unused)
{
    (void)unused;
    for (GDBusMessage* call; (call = g_async_queue_try_pop(arrived)); g_object_unref(call))
        serve(call);
    return G_SOURCE_REMOVE;
}

// Runs on the connection's own thread: method calls go to the main loop,
// everything else (replies, signals, Peer) on its way.
static GDBusMessage* take_calls(GDBusConnection* connection, GDBusMessage* message, gboolean incoming, gpointer unused)
{
    (void)connection, (void)unused;
    const char* interface = g_dbus_message_get_interface(message);
    if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL
        || (interface && !strcmp(interface, "org.freedesktop.DBus.Peer")))
        return message;
    g_async_queue_push(arrived, message);
    g_idle_add(serve_arrived, NULL);
    return NULL;
}

// ---- Start ----

static void embedded(GObject* source, GAsyncResult* result, gpointer unused)
{
    (void)unused;
    GError* error = NULL;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        g_printerr("faulty_atspi_app: the registry refused the application: %s\n", error->message);
        exit(1);
    }
    g_variant_unref(reply);
}

// Runs until a signal ends it.
int main(int argc, char** argv)
{
    g_set_prgname("faulty_atspi_app");
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : "0";
        if (!strcmp(argv[i], "--menus"))
            options.menus = atoi(value), ++i;
        else if (!strcmp(argv[i], "--items"))
            options.items = atoi(value), ++i;
        else if (!strcmp(argv[i], "--stall-after"))
            options.stall_after = g_ascii_strtoull(value, NULL, 10), ++i;
        else
            options.reverse |= !strcmp(argv[i], "--reverse"), options.flood |= !strcmp(argv[i], "--flood");
    }
    GError* error = NULL;
    GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, &error);
    GVariant* address =
        session ? g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                              NULL, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, -1, NULL, &error)
                : NULL;
    const char* text = NULL;
    if (address)
        g_variant_get(address, "(&s)", &text);
    bus = text ? g_dbus_connection_new_for_address_sync(
              text, G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION,
              NULL, NULL, &error)
               : NULL;
    if (!bus) {
        g_printerr("faulty_atspi_app: cannot join the accessibility bus: %s\n", error ? error->message : "");
        return 1;
    }
    g_dbus_connection_set_exit_on_close(bus, TRUE);
    unique_name = g_dbus_connection_get_unique_name(bus);
    arrived = g_async_queue_new_full(g_object_unref);
    g_dbus_connection_add_filter(bus, take_calls, NULL, NULL);
    g_dbus_connection_call(bus, "org.a11y.atspi.Registry", ROOT_PATH, "org.a11y.atspi.Socket", "Embed",
                           g_variant_new("((so))", unique_name, ROOT_PATH), G_VARIANT_TYPE("((so))"),
                           G_DBUS_CALL_FLAGS_NONE, -1, NULL, embedded, NULL);
    g_main_loop_run(g_main_loop_new(NULL, FALSE));
    return 0;
}
