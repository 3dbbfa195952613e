/* An accessible application written straight on GDBus (no toolkit): it joins
 * the AT-SPI bus of the session with a frame "Faulty" holding a menu bar of
 * generated menus, and misbehaves on request, for the end-to-end tests of the
 * menu read.
 *
 *   faulty_atspi_app [--menus N] [--items M] [--reverse] [--drop-every K]
 *                    [--flood] [--stall-after K]
 *
 * Menu m (1…N) is titled "Menu m" and holds its M items directly, as ATK
 * menus do; item i is "Item m.i". Its accelerator comes from its place
 * n = (m-1)·M + (i-1): key keys[n % KEY_COUNT] with modifier set
 * n / KEY_COUNT, so that every item has keys of its own.
 *
 *   --reverse        hold method calls and answer each group in reverse
 *                    order of arrival, after 2 ms without a new call or once
 *                    256 are held
 *   --drop-every K   never answer every K-th call for a name or key binding
 *   --flood          send 20 object events (state, name, children changes)
 *                    for every call served
 *   --stall-after K  answer nothing after the first K calls
 */

#include <gio/gio.h>
#include <glib-unix.h>

#include <signal.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define ROOT_PATH "/org/a11y/atspi/accessible/root"
#define FRAME_PATH "/org/a11y/atspi/accessible/frame"
#define MENU_BAR_PATH "/org/a11y/atspi/accessible/menubar"
#define NULL_PATH "/org/a11y/atspi/null"
#define CACHE_PATH "/org/a11y/atspi/cache"
#define REGISTRY "org.a11y.atspi.Registry"

#define ACCESSIBLE "org.a11y.atspi.Accessible"
#define APPLICATION "org.a11y.atspi.Application"
#define ACTION "org.a11y.atspi.Action"
#define COMPONENT "org.a11y.atspi.Component"
#define PROPERTIES "org.freedesktop.DBus.Properties"

/* AT-SPI roles and states. */
enum { ROLE_FRAME = 23, ROLE_MENU = 33, ROLE_MENU_BAR = 34, ROLE_MENU_ITEM = 35, ROLE_APPLICATION = 75 };
enum {
    STATE_ACTIVE = 1,
    STATE_ENABLED = 8,
    STATE_FOCUSABLE = 11,
    STATE_SELECTABLE = 22,
    STATE_SENSITIVE = 24,
    STATE_SHOWING = 25,
    STATE_VISIBLE = 30,
};

/* Keysyms of the keys the items use, in order: letters, digits, F1–F20, punctuation. */
static const char* const punctuation[] = {
    "exclam",       "quotedbl",    "numbersign", "dollar",  "percent",   "ampersand", "apostrophe",  "parenleft",
    "parenright",   "asterisk",    "plus",       "comma",   "minus",     "period",    "slash",       "colon",
    "semicolon",    "less",        "equal",      "greater", "question",  "at",        "bracketleft", "backslash",
    "bracketright", "asciicircum", "underscore", "grave",   "braceleft", "bar",       "braceright",  "asciitilde",
};
#define KEY_COUNT (26 + 10 + 20 + 32)
#define MODIFIER_SETS 16

static struct {
    int menus, items;
    gboolean reverse, flood;
    guint64 drop_every, stall_after;
} options = {6, 40, FALSE, FALSE, 0, 0};

static GDBusConnection* bus;
static const char* unique_name;
static gint32 application_id;
static GAsyncQueue* arrived; /* method calls handed over by the connection's thread */
static GQueue held = G_QUEUE_INIT;
static guint quiet_timer;
static guint64 calls, name_or_binding_calls;

/* ---- The tree ---- */

typedef enum { ROOT, FRAME, MENU_BAR, MENU, ITEM } Kind;
typedef struct {
    Kind kind;
    int menu, item; /* 1-based */
} Node;

static gboolean parse_path(const char* path, Node* node)
{
    int menu = 0, item = 0, used = 0;
    if (!strcmp(path, ROOT_PATH)) {
        *node = (Node){ROOT, 0, 0};
        return TRUE;
    }
    if (!strcmp(path, FRAME_PATH)) {
        *node = (Node){FRAME, 0, 0};
        return TRUE;
    }
    if (!strcmp(path, MENU_BAR_PATH)) {
        *node = (Node){MENU_BAR, 0, 0};
        return TRUE;
    }
    if (sscanf(path, "/org/a11y/atspi/accessible/menu/%d%n", &menu, &used) == 1 && !path[used] && menu >= 1
        && menu <= options.menus) {
        *node = (Node){MENU, menu, 0};
        return TRUE;
    }
    if (sscanf(path, "/org/a11y/atspi/accessible/item/%d/%d%n", &menu, &item, &used) == 2 && !path[used] && menu >= 1
        && menu <= options.menus && item >= 1 && item <= options.items) {
        *node = (Node){ITEM, menu, item};
        return TRUE;
    }
    return FALSE;
}

static char* path_of(Node node)
{
    switch (node.kind) {
    case ROOT:
        return g_strdup(ROOT_PATH);
    case FRAME:
        return g_strdup(FRAME_PATH);
    case MENU_BAR:
        return g_strdup(MENU_BAR_PATH);
    case MENU:
        return g_strdup_printf("/org/a11y/atspi/accessible/menu/%d", node.menu);
    case ITEM:
        return g_strdup_printf("/org/a11y/atspi/accessible/item/%d/%d", node.menu, node.item);
    }
    return NULL;
}

static GVariant* reference(Node node)
{
    char* path = path_of(node);
    GVariant* value = g_variant_new("(so)", unique_name, path);
    g_free(path);
    return value;
}

static GVariant* null_reference(void)
{
    return g_variant_new("(so)", "", NULL_PATH);
}

static int child_count(Node node)
{
    switch (node.kind) {
    case ROOT:
    case FRAME:
        return 1;
    case MENU_BAR:
        return options.menus;
    case MENU:
        return options.items;
    case ITEM:
        return 0;
    }
    return 0;
}

static gboolean child_at(Node node, int index, Node* child)
{
    if (index < 0 || index >= child_count(node))
        return FALSE;
    switch (node.kind) {
    case ROOT:
        *child = (Node){FRAME, 0, 0};
        return TRUE;
    case FRAME:
        *child = (Node){MENU_BAR, 0, 0};
        return TRUE;
    case MENU_BAR:
        *child = (Node){MENU, index + 1, 0};
        return TRUE;
    case MENU:
        *child = (Node){ITEM, node.menu, index + 1};
        return TRUE;
    case ITEM:
        return FALSE;
    }
    return FALSE;
}

static GVariant* parent_reference(Node node)
{
    switch (node.kind) {
    case ROOT:
        return g_variant_new("(so)", REGISTRY, ROOT_PATH);
    case FRAME:
        return reference((Node){ROOT, 0, 0});
    case MENU_BAR:
        return reference((Node){FRAME, 0, 0});
    case MENU:
        return reference((Node){MENU_BAR, 0, 0});
    case ITEM:
        return reference((Node){MENU, node.menu, 0});
    }
    return null_reference();
}

static int index_in_parent(Node node)
{
    switch (node.kind) {
    case ROOT:
        return -1;
    case FRAME:
    case MENU_BAR:
        return 0;
    case MENU:
        return node.menu - 1;
    case ITEM:
        return node.item - 1;
    }
    return -1;
}

static char* name_of(Node node)
{
    switch (node.kind) {
    case ROOT:
        return g_strdup(g_get_prgname());
    case FRAME:
        return g_strdup("Faulty");
    case MENU_BAR:
        return g_strdup("");
    case MENU:
        return g_strdup_printf("Menu %d", node.menu);
    case ITEM:
        return g_strdup_printf("Item %d.%d", node.menu, node.item);
    }
    return g_strdup("");
}

static guint32 role_of(Node node)
{
    switch (node.kind) {
    case ROOT:
        return ROLE_APPLICATION;
    case FRAME:
        return ROLE_FRAME;
    case MENU_BAR:
        return ROLE_MENU_BAR;
    case MENU:
        return ROLE_MENU;
    case ITEM:
        return ROLE_MENU_ITEM;
    }
    return 0;
}

static const char* role_name(Node node)
{
    switch (node.kind) {
    case ROOT:
        return "application";
    case FRAME:
        return "frame";
    case MENU_BAR:
        return "menu bar";
    case MENU:
        return "menu";
    case ITEM:
        return "menu item";
    }
    return "unknown";
}

static GVariant* states_of(Node node)
{
    static const int frame[] = {STATE_ACTIVE, STATE_ENABLED, STATE_SENSITIVE, STATE_SHOWING, STATE_VISIBLE, -1};
    static const int bar[] = {STATE_ENABLED, STATE_SENSITIVE, STATE_SHOWING, STATE_VISIBLE, -1};
    static const int menu[] = {STATE_ENABLED, STATE_SENSITIVE, STATE_SHOWING, STATE_VISIBLE, STATE_SELECTABLE, -1};
    static const int item[] = {STATE_ENABLED, STATE_SENSITIVE, STATE_VISIBLE, STATE_SELECTABLE, STATE_FOCUSABLE, -1};
    static const int none[] = {-1};
    const int* states = node.kind == FRAME      ? frame
                        : node.kind == MENU_BAR ? bar
                        : node.kind == MENU     ? menu
                        : node.kind == ITEM     ? item
                                                : none;
    guint32 words[2] = {0, 0};
    for (; *states >= 0; ++states)
        words[*states / 32] |= 1u << (*states % 32);
    return g_variant_new("(@au)", g_variant_new_fixed_array(G_VARIANT_TYPE_UINT32, words, 2, sizeof(guint32)));
}

static gboolean has_interface(Node node, const char* interface)
{
    if (!strcmp(interface, ACCESSIBLE))
        return TRUE;
    if (!strcmp(interface, APPLICATION))
        return node.kind == ROOT;
    if (!strcmp(interface, COMPONENT))
        return node.kind != ROOT;
    if (!strcmp(interface, ACTION))
        return node.kind == MENU || node.kind == ITEM;
    return FALSE;
}

static GVariant* interfaces_of(Node node)
{
    static const char* const all[] = {ACCESSIBLE, APPLICATION, ACTION, COMPONENT};
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
    for (size_t i = 0; i < G_N_ELEMENTS(all); ++i)
        if (has_interface(node, all[i]))
            g_variant_builder_add(&builder, "s", all[i]);
    return g_variant_new("(as)", &builder);
}

/* The accelerator of an item, in the GTK form "mnemonic;path;accelerator". */
static char* key_binding(Node node)
{
    if (node.kind != ITEM)
        return g_strdup("");
    const int place = (node.menu - 1) * options.items + (node.item - 1);
    const int key = place % KEY_COUNT;
    /* Control alone first, no modifier last. */
    const int modifiers = (place / KEY_COUNT + 1) % MODIFIER_SETS;
    char name[16];
    if (key < 26)
        g_snprintf(name, sizeof name, "%c", 'a' + key);
    else if (key < 36)
        g_snprintf(name, sizeof name, "%c", '0' + key - 26);
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
    if (!strcmp(interface, ACCESSIBLE)) {
        if (!strcmp(name, "Name")) {
            char* text = name_of(node);
            GVariant* value = g_variant_new_string(text);
            g_free(text);
            return value;
        }
        if (!strcmp(name, "Description") || !strcmp(name, "HelpText") || !strcmp(name, "AccessibleId"))
            return g_variant_new_string("");
        if (!strcmp(name, "Locale"))
            return g_variant_new_string("C");
        if (!strcmp(name, "Parent"))
            return parent_reference(node);
        if (!strcmp(name, "ChildCount"))
            return g_variant_new_int32(child_count(node));
    } else if (!strcmp(interface, APPLICATION)) {
        if (!strcmp(name, "ToolkitName"))
            return g_variant_new_string("Faulty");
        if (!strcmp(name, "Version"))
            return g_variant_new_string("1.0");
        if (!strcmp(name, "AtspiVersion"))
            return g_variant_new_string("2.1");
        if (!strcmp(name, "Id"))
            return g_variant_new_int32(application_id);
    } else if (!strcmp(interface, ACTION)) {
        if (!strcmp(name, "NActions"))
            return g_variant_new_int32(1);
    }
    return NULL;
}

static GVariant* all_properties(Node node, const char* interface)
{
    static const char* const accessible[] = {"Name",   "Description",  "Parent", "ChildCount",
                                             "Locale", "AccessibleId", NULL};
    static const char* const application[] = {"ToolkitName", "Version", "AtspiVersion", "Id", NULL};
    static const char* const action[] = {"NActions", NULL};
    static const char* const none[] = {NULL};
    const char* const* names = !has_interface(node, interface)   ? none
                               : !strcmp(interface, ACCESSIBLE)  ? accessible
                               : !strcmp(interface, APPLICATION) ? application
                               : !strcmp(interface, ACTION)      ? action
                                                                 : none;
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    for (; *names; ++names)
        g_variant_builder_add(&builder, "{sv}", *names, property(node, interface, *names));
    return g_variant_new("(a{sv})", &builder);
}

/* ---- Answers ---- */

/* The reply body of a call on `node`, or NULL for a method it does not have. */
static GVariant* answer_of(Node node, const char* interface, const char* method, GVariant* arguments)
{
    const char *text = NULL, *second = NULL;
    gint32 index = 0;

    if (!strcmp(interface, PROPERTIES)) {
        if (!strcmp(method, "Get") && g_variant_is_of_type(arguments, G_VARIANT_TYPE("(ss)"))) {
            g_variant_get(arguments, "(&s&s)", &text, &second);
            GVariant* value = property(node, text, second);
            return value ? g_variant_new("(v)", value) : NULL;
        }
        if (!strcmp(method, "GetAll") && g_variant_is_of_type(arguments, G_VARIANT_TYPE("(s)"))) {
            g_variant_get(arguments, "(&s)", &text);
            return all_properties(node, text);
        }
        if (!strcmp(method, "Set") && g_variant_is_of_type(arguments, G_VARIANT_TYPE("(ssv)"))) {
            GVariant* value = NULL;
            g_variant_get(arguments, "(&s&sv)", &text, &second, &value);
            gboolean known = node.kind == ROOT && !strcmp(text, APPLICATION) && !strcmp(second, "Id")
                             && g_variant_is_of_type(value, G_VARIANT_TYPE_INT32);
            if (known)
                application_id = g_variant_get_int32(value);
            g_variant_unref(value);
            return known ? g_variant_new("()") : NULL;
        }
        return NULL;
    }
    if (!has_interface(node, interface))
        return NULL;

    if (!strcmp(interface, ACCESSIBLE)) {
        if (!strcmp(method, "GetChildren")) {
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE("a(so)"));
            Node child;
            for (int i = 0; child_at(node, i, &child); ++i)
                g_variant_builder_add_value(&builder, reference(child));
            return g_variant_new("(a(so))", &builder);
        }
        if (!strcmp(method, "GetChildAtIndex") && g_variant_is_of_type(arguments, G_VARIANT_TYPE("(i)"))) {
            g_variant_get(arguments, "(i)", &index);
            Node child;
            return g_variant_new("(@(so))", child_at(node, index, &child) ? reference(child) : null_reference());
        }
        if (!strcmp(method, "GetRole"))
            return g_variant_new("(u)", role_of(node));
        if (!strcmp(method, "GetRoleName") || !strcmp(method, "GetLocalizedRoleName"))
            return g_variant_new("(s)", role_name(node));
        if (!strcmp(method, "GetState"))
            return states_of(node);
        if (!strcmp(method, "GetInterfaces"))
            return interfaces_of(node);
        if (!strcmp(method, "GetApplication"))
            return g_variant_new("(@(so))", reference((Node){ROOT, 0, 0}));
        if (!strcmp(method, "GetIndexInParent"))
            return g_variant_new("(i)", index_in_parent(node));
        if (!strcmp(method, "GetAttributes"))
            return g_variant_new_parsed("(@a{ss} {'toolkit': 'Faulty'},)");
        if (!strcmp(method, "GetRelationSet"))
            return g_variant_new_parsed("(@a(ua(so)) [],)");
        return NULL;
    }
    if (!strcmp(interface, APPLICATION)) {
        if (!strcmp(method, "GetLocale"))
            return g_variant_new("(s)", "C");
        return NULL;
    }
    if (!strcmp(interface, ACTION)) {
        const gboolean indexed = g_variant_is_of_type(arguments, G_VARIANT_TYPE("(i)"));
        if (indexed)
            g_variant_get(arguments, "(i)", &index);
        if (!strcmp(method, "GetNActions"))
            return g_variant_new("(i)", 1);
        if (!strcmp(method, "GetActions")) {
            char* binding = key_binding(node);
            GVariant* value = g_variant_new_parsed("([(%s, '', %s)],)", "click", binding);
            g_free(binding);
            return value;
        }
        if (!indexed || index != 0)
            return NULL;
        if (!strcmp(method, "GetKeyBinding")) {
            char* binding = key_binding(node);
            GVariant* value = g_variant_new("(s)", binding);
            g_free(binding);
            return value;
        }
        if (!strcmp(method, "GetName") || !strcmp(method, "GetLocalizedName"))
            return g_variant_new("(s)", "click");
        if (!strcmp(method, "GetDescription"))
            return g_variant_new("(s)", "");
        if (!strcmp(method, "DoAction"))
            return g_variant_new("(b)", TRUE);
        return NULL;
    }
    /* Screen and window coordinates alike: the frame sits at the screen's origin. */
    if (!strcmp(interface, COMPONENT) && !strcmp(method, "GetExtents")) {
        switch (node.kind) {
        case FRAME:
            return g_variant_new("((iiii))", 0, 0, 800, 600);
        case MENU_BAR:
            return g_variant_new("((iiii))", 0, 30, 800, 24);
        case MENU:
            return g_variant_new("((iiii))", 60 * (node.menu - 1), 30, 60, 24);
        default:
            return g_variant_new("((iiii))", 0, 0, 0, 0);
        }
    }
    return NULL;
}

static void send(GDBusMessage* message)
{
    GError* error = NULL;
    if (!g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, NULL, &error)) {
        g_printerr("faulty_atspi_app: %s\n", error->message);
        g_error_free(error);
    }
}

static void answer(GDBusMessage* call)
{
    const char* interface = g_dbus_message_get_interface(call);
    const char* method = g_dbus_message_get_member(call);
    GVariant* arguments = g_dbus_message_get_body(call);
    GVariant* empty = NULL;
    if (!arguments)
        arguments = empty = g_variant_ref_sink(g_variant_new("()"));
    Node node;
    GVariant* body = NULL;
    if (interface && method && parse_path(g_dbus_message_get_path(call), &node))
        body = answer_of(node, interface, method, arguments);
    else if (interface && method && !strcmp(g_dbus_message_get_path(call), CACHE_PATH)
             && !strcmp(interface, "org.a11y.atspi.Cache") && !strcmp(method, "GetItems"))
        body = g_variant_new_parsed("(@a((so)(so)(so)iiassusau) [],)"); /* nothing cached ahead */
    if (empty)
        g_variant_unref(empty);

    if (g_dbus_message_get_flags(call) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED) {
        if (body)
            g_variant_unref(g_variant_ref_sink(body));
        return;
    }
    GDBusMessage* reply;
    if (body) {
        reply = g_dbus_message_new_method_reply(call);
        g_dbus_message_set_body(reply, body);
    } else {
        reply = g_dbus_message_new_method_error(call, "org.freedesktop.DBus.Error.UnknownMethod",
                                                "No method %s.%s on %s", interface ? interface : "",
                                                method ? method : "", g_dbus_message_get_path(call));
    }
    send(reply);
    g_object_unref(reply);
}

/* ---- Faults ---- */

static void emit_event(Node node, const char* member, const char* detail, gint32 detail1, GVariant* data)
{
    char* path = path_of(node);
    GError* error = NULL;
    g_dbus_connection_emit_signal(
        bus, NULL, path, "org.a11y.atspi.Event.Object", member,
        g_variant_new("(siiv@a{sv})", detail, detail1, 0, data, g_variant_new_array(G_VARIANT_TYPE("{sv}"), NULL, 0)),
        &error);
    g_clear_error(&error);
    g_free(path);
}

/* Twenty true events about the called object and its parent: nothing changes
 * in the end, but every listener has work to do. */
static void flood(GDBusMessage* call)
{
    Node node, parent = {ROOT, 0, 0}, child = {FRAME, 0, 0};
    if (!parse_path(g_dbus_message_get_path(call), &node))
        node = (Node){ROOT, 0, 0};
    if (node.kind == ITEM)
        parent = (Node){MENU, node.menu, 0}, child = node;
    else if (node.kind == MENU)
        parent = (Node){MENU_BAR, 0, 0}, child = node;
    else if (node.kind == MENU_BAR)
        parent = (Node){FRAME, 0, 0}, child = node;
    for (int i = 0; i < 5; ++i) {
        char* name = name_of(node);
        emit_event(node, "StateChanged", "visible", node.kind != ROOT, g_variant_new_int32(0));
        emit_event(node, "PropertyChange", "accessible-name", 0, g_variant_new_string(name));
        emit_event(parent, "ChildrenChanged", "remove", index_in_parent(child), reference(child));
        emit_event(parent, "ChildrenChanged", "add", index_in_parent(child), reference(child));
        g_free(name);
    }
}

static void answer_held(void)
{
    GDBusMessage* call;
    while ((call = g_queue_pop_tail(&held))) {
        answer(call);
        g_object_unref(call);
    }
}

static gboolean quiet(gpointer unused)
{
    (void)unused;
    quiet_timer = 0;
    answer_held();
    return G_SOURCE_REMOVE;
}

static gboolean counts_as_name_or_binding(GDBusMessage* call)
{
    const char* interface = g_dbus_message_get_interface(call);
    const char* method = g_dbus_message_get_member(call);
    if (!interface || !method)
        return FALSE;
    if (!strcmp(interface, ACTION))
        return !strcmp(method, "GetKeyBinding");
    GVariant* arguments = g_dbus_message_get_body(call);
    const char *asked = NULL, *name = NULL;
    if (strcmp(interface, PROPERTIES) || !arguments)
        return FALSE;
    /* All properties at once carry the name too. */
    if (!strcmp(method, "GetAll") && g_variant_is_of_type(arguments, G_VARIANT_TYPE("(s)"))) {
        g_variant_get(arguments, "(&s)", &asked);
        return !strcmp(asked, ACCESSIBLE);
    }
    if (strcmp(method, "Get") || !g_variant_is_of_type(arguments, G_VARIANT_TYPE("(ss)")))
        return FALSE;
    g_variant_get(arguments, "(&s&s)", &asked, &name);
    return !strcmp(asked, ACCESSIBLE) && !strcmp(name, "Name");
}

static void serve(GDBusMessage* call)
{
    ++calls;
    if (options.stall_after && calls > options.stall_after)
        return;
    if (options.drop_every && counts_as_name_or_binding(call) && ++name_or_binding_calls % options.drop_every == 0)
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
    GDBusMessage* call;
    while ((call = g_async_queue_try_pop(arrived))) {
        serve(call);
        g_object_unref(call);
    }
    return G_SOURCE_REMOVE;
}

/* Runs on the connection's own thread: method calls go to the main loop,
 * everything else (replies, signals, Peer) on its way. */
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

/* ---- Start ---- */

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

static gboolean quit(gpointer loop)
{
    g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
}

int main(int argc, char** argv)
{
    g_set_prgname("faulty_atspi_app");
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : "0";
        if (!strcmp(argv[i], "--menus"))
            options.menus = atoi(value), ++i;
        else if (!strcmp(argv[i], "--items"))
            options.items = atoi(value), ++i;
        else if (!strcmp(argv[i], "--drop-every"))
            options.drop_every = g_ascii_strtoull(value, NULL, 10), ++i;
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
    if (!address) {
        g_printerr("faulty_atspi_app: no accessibility bus: %s\n", error->message);
        return 1;
    }
    const char* text = NULL;
    g_variant_get(address, "(&s)", &text);
    bus = g_dbus_connection_new_for_address_sync(
        text, G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION, NULL,
        NULL, &error);
    g_variant_unref(address);
    if (!bus) {
        g_printerr("faulty_atspi_app: cannot join the accessibility bus: %s\n", error->message);
        return 1;
    }
    g_dbus_connection_set_exit_on_close(bus, TRUE);
    unique_name = g_dbus_connection_get_unique_name(bus);
    arrived = g_async_queue_new_full(g_object_unref);
    g_dbus_connection_add_filter(bus, take_calls, NULL, NULL);

    g_dbus_connection_call(bus, REGISTRY, ROOT_PATH, "org.a11y.atspi.Socket", "Embed",
                           g_variant_new("((so))", unique_name, ROOT_PATH), G_VARIANT_TYPE("((so))"),
                           G_DBUS_CALL_FLAGS_NONE, -1, NULL, embedded, NULL);

    GMainLoop* loop = g_main_loop_new(NULL, FALSE);
    g_unix_signal_add(SIGTERM, quit, loop);
    g_unix_signal_add(SIGINT, quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    g_object_unref(bus);
    g_object_unref(session);
    return 0;
}
