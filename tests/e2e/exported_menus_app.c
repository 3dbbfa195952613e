/* A GtkApplication whose menu bar and application menu are exported on the
 * session bus, for the end-to-end tests. Every activated action appends its
 * name (and target) as a line to the file named by HINTBOARD_ACTIONS_FILE and
 * becomes the window's title.
 *
 * With HINTBOARD_PLAIN_MENU_BAR set it exports nothing and shows a plain
 * GtkMenuBar instead, whose File › Open… (Ctrl+O) runs a modal "Open File"
 * dialog in a nested main loop. */

#include <gtk/gtk.h>

#include <stdio.h>

static const char *menus =
    "<interface>"
    " <menu id='app-menu'>"
    "  <section>"
    "   <item><attribute name='label'>_Preferences</attribute><attribute name='action'>app.preferences</attribute>"
    "    <attribute name='accel'>&lt;Primary&gt;comma</attribute></item>"
    "  </section>"
    " </menu>"
    " <menu id='menubar'>"
    "  <submenu><attribute name='label'>_File</attribute>"
    "   <section>"
    "    <item><attribute name='label'>_New</attribute><attribute name='action'>app.new</attribute>"
    "     <attribute name='accel'>&lt;Primary&gt;n</attribute></item>"
    "    <item><attribute name='label'>_Open…</attribute><attribute name='action'>win.open</attribute>"
    "     <attribute name='accel'>&lt;Primary&gt;o</attribute></item>"
    "    <submenu><attribute name='label'>Open _Recent</attribute>"
    "     <item><attribute name='label'>first.txt</attribute><attribute name='action'>win.recent</attribute>"
    "      <attribute name='target'>first</attribute></item>"
    "     <item><attribute name='label'>second.txt</attribute><attribute name='action'>win.recent</attribute>"
    "      <attribute name='target'>second</attribute><attribute name='accel'>&lt;Primary&gt;2</attribute></item>"
    "    </submenu>"
    "   </section>"
    "   <section>"
    "    <item><attribute name='label'>Save _As…</attribute><attribute name='action'>win.save-as</attribute>"
    "     <attribute name='accel'>&lt;Primary&gt;&lt;Shift&gt;s</attribute></item>"
    "   </section>"
    "   <section>"
    "    <item><attribute name='label'>_Quit</attribute><attribute name='action'>app.quit</attribute>"
    "     <attribute name='accel'>&lt;Primary&gt;q</attribute></item>"
    "   </section>"
    "  </submenu>"
    "  <submenu><attribute name='label'>_View</attribute>"
    "   <item><attribute name='label'>_Reload</attribute><attribute name='action'>win.reload</attribute>"
    "    <attribute name='accel'>F5</attribute></item>"
    "   <item><attribute name='label'>_Locked</attribute><attribute name='action'>win.locked</attribute>"
    "    <attribute name='accel'>&lt;Primary&gt;l</attribute></item>"
    "   <item><attribute name='label'>Hidden</attribute><attribute name='action'>win.missing</attribute>"
    "    <attribute name='hidden-when'>action-missing</attribute></item>"
    "   <submenu><attribute name='label'>_Zoom</attribute>"
    "    <item><attribute name='label'>Zoom _In</attribute><attribute name='action'>win.zoom-in</attribute>"
    "     <attribute name='accel'>&lt;Primary&gt;plus</attribute></item>"
    "    <submenu><attribute name='label'>_More</attribute>"
    "     <item><attribute name='label'>_Reset Zoom</attribute><attribute name='action'>win.zoom-reset</attribute>"
    "      <attribute name='accel'>&lt;Primary&gt;0</attribute></item>"
    "    </submenu>"
    "   </submenu>"
    "  </submenu>"
    "  <submenu><attribute name='label'>_Help</attribute>"
    "   <item><attribute name='label'>_About</attribute><attribute name='action'>app.about</attribute></item>"
    "  </submenu>"
    " </menu>"
    "</interface>";

static GtkWindow *window;

static void record(GSimpleAction *action, GVariant *parameter, gpointer data)
{
    (void)data;
    GString *line = g_string_new(g_action_get_name(G_ACTION(action)));
    if (parameter)
        g_string_append_printf(line, " %s", g_variant_get_string(parameter, NULL));
    const char *path = g_getenv("HINTBOARD_ACTIONS_FILE");
    if (path) {
        FILE *file = fopen(path, "a");
        if (file) {
            fprintf(file, "%s\n", line->str);
            fclose(file);
        }
    }
    if (window)
        gtk_window_set_title(window, line->str);
    g_string_free(line, TRUE);
}

static void quit(GSimpleAction *action, GVariant *parameter, gpointer application)
{
    record(action, parameter, NULL);
    g_application_quit(G_APPLICATION(application));
}

static void runOpenDialog(GtkMenuItem *item, gpointer data)
{
    (void)item;
    (void)data;
    GtkWidget *dialog = gtk_file_chooser_dialog_new("Open File", window, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                    GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, NULL);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

static void showPlainMenuBar(GtkApplication *application)
{
    GtkWidget *widget = gtk_application_window_new(application);
    window = GTK_WINDOW(widget);
    GtkAccelGroup *accelerators = gtk_accel_group_new();
    gtk_window_add_accel_group(window, accelerators);
    GtkWidget *open = gtk_menu_item_new_with_mnemonic("_Open…");
    gtk_widget_add_accelerator(open, "activate", accelerators, GDK_KEY_o, GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE);
    g_signal_connect(open, "activate", G_CALLBACK(runOpenDialog), NULL);
    GtkWidget *menu = gtk_menu_new();
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), open);
    GtkWidget *file = gtk_menu_item_new_with_mnemonic("_File");
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(file), menu);
    GtkWidget *bar = gtk_menu_bar_new();
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), file);
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(widget), box);
    gtk_window_set_title(window, "Plain menu bar");
    gtk_window_set_default_size(window, 480, 240);
    gtk_widget_show_all(widget);
}

static void activate(GtkApplication *application, gpointer data)
{
    (void)data;
    if (g_getenv("HINTBOARD_PLAIN_MENU_BAR")) {
        showPlainMenuBar(application);
        return;
    }
    static const GActionEntry appActions[] = {
        {"new", record, NULL, NULL, NULL, {0}},
        {"preferences", record, NULL, NULL, NULL, {0}},
        {"about", record, NULL, NULL, NULL, {0}},
        {"quit", quit, NULL, NULL, NULL, {0}},
    };
    static const GActionEntry windowActions[] = {
        {"open", record, NULL, NULL, NULL, {0}},
        {"recent", record, "s", NULL, NULL, {0}},
        {"save-as", record, NULL, NULL, NULL, {0}},
        {"reload", record, NULL, NULL, NULL, {0}},
        {"locked", record, NULL, NULL, NULL, {0}},
        {"zoom-in", record, NULL, NULL, NULL, {0}},
        {"zoom-reset", record, NULL, NULL, NULL, {0}},
    };
    g_action_map_add_action_entries(G_ACTION_MAP(application), appActions, G_N_ELEMENTS(appActions), application);

    GtkBuilder *builder = gtk_builder_new_from_string(menus, -1);
    gtk_application_set_app_menu(application, G_MENU_MODEL(gtk_builder_get_object(builder, "app-menu")));
    gtk_application_set_menubar(application, G_MENU_MODEL(gtk_builder_get_object(builder, "menubar")));
    g_object_unref(builder);

    static const struct {
        const char *action;
        const char *accel;
    } accels[] = {
        {"app.new", "<Primary>n"},          {"win.open", "<Primary>o"},        {"win.save-as", "<Primary><Shift>s"},
        {"app.quit", "<Primary>q"},         {"win.reload", "F5"},              {"win.locked", "<Primary>l"},
        {"win.zoom-in", "<Primary>plus"},   {"win.zoom-reset", "<Primary>0"},  {"app.preferences", "<Primary>comma"},
    };
    for (size_t i = 0; i < G_N_ELEMENTS(accels); ++i) {
        const char *keys[] = {accels[i].accel, NULL};
        gtk_application_set_accels_for_action(application, accels[i].action, keys);
    }

    GtkWidget *widget = gtk_application_window_new(application);
    window = GTK_WINDOW(widget);
    g_action_map_add_action_entries(G_ACTION_MAP(widget), windowActions, G_N_ELEMENTS(windowActions), NULL);
    g_simple_action_set_enabled(
        G_SIMPLE_ACTION(g_action_map_lookup_action(G_ACTION_MAP(widget), "locked")), FALSE);
    gtk_window_set_title(window, "Exported menus");
    gtk_window_set_default_size(window, 480, 240);
    gtk_widget_show_all(widget);
}

int main(int argc, char **argv)
{
    GtkApplication *application = gtk_application_new("org.hintboard.ExportedMenus", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(application, "activate", G_CALLBACK(activate), NULL);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    g_object_unref(application);
    return status;
}
