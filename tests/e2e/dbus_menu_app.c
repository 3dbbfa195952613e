/* A window whose menu bar is exported as a com.canonical.dbusmenu tree, named
 * by the window properties that KDE's global menu uses, for the end-to-end
 * tests. A clicked item appends "clicked <label>" as a line to the file named
 * by HINTBOARD_ACTIONS_FILE and becomes the window's title. */

#include <gtk/gtk.h>

#include <stdio.h>
#include <string.h>

typedef struct {
    gint32 id;
    gint32 parent;
    const char *label;  /* NULL for a separator */
    const char *keys[4];
    gboolean disabled;
    gboolean hidden;
} Item;

static const Item items[] = {
    {1, 0, "_File", {NULL}, FALSE, FALSE},
    {10, 1, "_New", {"Control", "N", NULL}, FALSE, FALSE},
    {11, 1, NULL, {NULL}, FALSE, FALSE},
    {12, 1, "Save _As…", {"Control", "Shift", "S", NULL}, FALSE, FALSE},
    {13, 1, "Hidden", {"Control", "H", NULL}, FALSE, TRUE},
    {14, 1, "Open _Recent", {NULL}, FALSE, FALSE},
    {15, 14, "first.txt", {"Control", "1", NULL}, FALSE, FALSE},
    {2, 0, "_Edit", {NULL}, FALSE, FALSE},
    {20, 2, "_Undo", {"Control", "Z", NULL}, FALSE, FALSE},
    {21, 2, "_Locked", {"Control", "L", NULL}, TRUE, FALSE},
    {22, 2, "_Reload", {"F5", NULL}, FALSE, FALSE},
};

static const char *introspection =
    "<node><interface name='com.canonical.dbusmenu'>"
    " <method name='GetLayout'><arg type='i' direction='in'/><arg type='i' direction='in'/>"
    "  <arg type='as' direction='in'/><arg type='u' direction='out'/><arg type='(ia{sv}av)' direction='out'/></method>"
    " <method name='GetGroupProperties'><arg type='ai' direction='in'/><arg type='as' direction='in'/>"
    "  <arg type='a(ia{sv})' direction='out'/></method>"
    " <method name='Event'><arg type='i' direction='in'/><arg type='s' direction='in'/>"
    "  <arg type='v' direction='in'/><arg type='u' direction='in'/></method>"
    " <method name='AboutToShow'><arg type='i' direction='in'/><arg type='b' direction='out'/></method>"
    "</interface></node>";

static GtkWindow *window;

static gboolean hasChildren(gint32 id)
{
    for (size_t i = 0; i < G_N_ELEMENTS(items); ++i)
        if (items[i].parent == id)
            return TRUE;
    return FALSE;
}

static GVariant *node(gint32 id)
{
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    for (size_t i = 0; i < G_N_ELEMENTS(items); ++i) {
        const Item *item = &items[i];
        if (item->id != id)
            continue;
        if (!item->label)
            g_variant_builder_add(&properties, "{sv}", "type", g_variant_new_string("separator"));
        else
            g_variant_builder_add(&properties, "{sv}", "label", g_variant_new_string(item->label));
        if (item->disabled)
            g_variant_builder_add(&properties, "{sv}", "enabled", g_variant_new_boolean(FALSE));
        if (item->hidden)
            g_variant_builder_add(&properties, "{sv}", "visible", g_variant_new_boolean(FALSE));
        if (item->keys[0]) {
            GVariantBuilder shortcut;
            g_variant_builder_init(&shortcut, G_VARIANT_TYPE("aas"));
            g_variant_builder_add(&shortcut, "^as", item->keys);
            g_variant_builder_add(&properties, "{sv}", "shortcut", g_variant_builder_end(&shortcut));
        }
    }
    if (hasChildren(id))
        g_variant_builder_add(&properties, "{sv}", "children-display", g_variant_new_string("submenu"));
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    for (size_t i = 0; i < G_N_ELEMENTS(items); ++i)
        if (items[i].parent == id)
            g_variant_builder_add(&children, "v", node(items[i].id));
    return g_variant_new("(i@a{sv}@av)", id, g_variant_builder_end(&properties), g_variant_builder_end(&children));
}

static void record(gint32 id)
{
    const char *label = "?";
    for (size_t i = 0; i < G_N_ELEMENTS(items); ++i)
        if (items[i].id == id && items[i].label)
            label = items[i].label;
    gchar *line = g_strdup_printf("clicked %s", label);
    const char *path = g_getenv("HINTBOARD_ACTIONS_FILE");
    FILE *file = path ? fopen(path, "a") : NULL;
    if (file) {
        fprintf(file, "%s\n", line);
        fclose(file);
    }
    gtk_window_set_title(window, line);
    g_free(line);
}

static void call(GDBusConnection *connection, const gchar *sender, const gchar *path, const gchar *interface,
                 const gchar *method, GVariant *parameters, GDBusMethodInvocation *invocation, gpointer data)
{
    (void)connection, (void)sender, (void)path, (void)interface, (void)data;
    if (strcmp(method, "GetLayout") == 0) {
        gint32 parent = 0;
        g_variant_get(parameters, "(ii@as)", &parent, NULL, NULL);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u@(ia{sv}av))", 1u, node(parent)));
    } else if (strcmp(method, "Event") == 0) {
        gint32 id = 0;
        const gchar *event = NULL;
        g_variant_get(parameters, "(i&svu)", &id, &event, NULL, NULL);
        if (strcmp(event, "clicked") == 0)
            record(id);
        g_dbus_method_invocation_return_value(invocation, NULL);
    } else if (strcmp(method, "AboutToShow") == 0) {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
    } else {
        g_dbus_method_invocation_return_value(invocation, g_variant_new_parsed("(@a(ia{sv}) [],)"));
    }
}

static void name(GtkWidget *widget, gpointer connection)
{
    GdkWindow *gdkWindow = gtk_widget_get_window(widget);
    const char *service = g_dbus_connection_get_unique_name(G_DBUS_CONNECTION(connection));
    const char *path = "/MenuBar/1";
    gdk_property_change(gdkWindow, gdk_atom_intern_static_string("_KDE_NET_WM_APPMENU_SERVICE_NAME"),
                        gdk_atom_intern_static_string("STRING"), 8, GDK_PROP_MODE_REPLACE, (const guchar *)service,
                        (gint)strlen(service));
    gdk_property_change(gdkWindow, gdk_atom_intern_static_string("_KDE_NET_WM_APPMENU_OBJECT_PATH"),
                        gdk_atom_intern_static_string("STRING"), 8, GDK_PROP_MODE_REPLACE, (const guchar *)path,
                        (gint)strlen(path));
}

int main(int argc, char **argv)
{
    gtk_init(&argc, &argv);
    GDBusConnection *connection = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
    if (!connection)
        return 1;
    GDBusNodeInfo *info = g_dbus_node_info_new_for_xml(introspection, NULL);
    static const GDBusInterfaceVTable vtable = {call, NULL, NULL, {0}};
    g_dbus_connection_register_object(connection, "/MenuBar/1", info->interfaces[0], &vtable, NULL, NULL, NULL);

    GtkWidget *widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    window = GTK_WINDOW(widget);
    gtk_window_set_title(window, "Menus on dbusmenu");
    gtk_window_set_default_size(window, 360, 160);
    g_signal_connect(widget, "realize", G_CALLBACK(name), connection);
    g_signal_connect(widget, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(widget);
    gtk_main();
    g_dbus_node_info_unref(info);
    g_object_unref(connection);
    return 0;
}
