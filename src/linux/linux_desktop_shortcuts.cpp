#include "linux/linux_desktop_shortcuts.h"

#include "linux/xcb_reply.h"

#include "base/untrusted_file.h"
#include "base/xdg_folders.h"
#include "sources/desktop_keybindings.h"

#include <gio/gio.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;
namespace fs = std::filesystem;

constexpr std::size_t maxConfigurationBytes = 4 << 20;

std::string lowerCased(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

// The window manager's own name (EWMH), or empty.
std::string windowManagerName()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    std::string name;
    if (xcb_connection_has_error(connection) == 0) {
        auto atom = [&](const char* atomName) {
            auto reply = xcbReply(xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, std::strlen(atomName), atomName), nullptr));
            return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        };
        auto property = [&](xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
            auto reply = xcbReply(xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, window, name, type, 0, 256), nullptr));
            std::string value;
            if (reply && xcb_get_property_value_length(reply.get()) > 0)
                value.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
            return value;
        };
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const auto check = property(root, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
        if (check.size() == sizeof(xcb_window_t)) {
            xcb_window_t window = 0;
            std::memcpy(&window, check.data(), sizeof window);
            name = property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
        }
    }
    xcb_disconnect(connection);
    return name;
}

// The desktop whose service answers on the session bus.
Desktop desktopOnTheBus()
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return Desktop::unknown;
    auto owned = [&](const char* name) {
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
        gboolean has = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &has);
            g_variant_unref(reply);
        }
        return has == TRUE;
    };
    Desktop desktop = owned("org.gnome.Shell")        ? Desktop::gnome
                      : owned("org.kde.kglobalaccel") ? Desktop::kde
                      : owned("org.xfce.Xfconf")      ? Desktop::xfce
                                                      : Desktop::unknown;
    g_object_unref(bus);
    return desktop;
}

// The first configuration file that exists: the user's, then the system's.
std::optional<fs::path> configurationFile(const fs::path& relative)
{
    std::vector<fs::path> folders{platform::xdgConfigHome()};
    for (auto& folder : platform::xdgConfigDirs())
        folders.push_back(std::move(folder));
    for (const auto& folder : folders) {
        std::error_code error;
        if (!folder.empty() && fs::exists(folder / relative, error))
            return folder / relative;
    }
    return std::nullopt;
}

// A desktop that keeps its shortcuts in one configuration file.
class FileShortcuts final : public DesktopShortcutSource {
public:
    using Parse = std::function<std::vector<ShortcutGroup>(std::string_view, platform::Log&)>;

    FileShortcuts(std::string name, fs::path relative, Parse parse, platform::Log& log)
        : name_(std::move(name)), relative_(std::move(relative)), parse_(std::move(parse)), log_(log)
    {}
    std::string_view desktopName() const override { return name_; }

    std::vector<ShortcutGroup> groups() override
    {
        auto file = configurationFile(relative_);
        if (!file) {
            log_.info(LogCategory::scraper, "No {} shortcuts: {} not found", name_, relative_.string());
            return {};
        }
        auto content = sources::readUntrustedFile(*file, maxConfigurationBytes);
        if (content.status != sources::UntrustedFile::Status::read) {
            log_.error(LogCategory::scraper, "Skipping {}: not a regular file of at most {} bytes", file->string(),
                       maxConfigurationBytes);
            return {};
        }
        return parse_(content.bytes, log_);
    }

private:
    std::string name_;
    fs::path relative_;
    Parse parse_;
    platform::Log& log_;
};

// --- GNOME ------------------------------------------------------------------

template <typename T, void (*Free)(T*)>
struct GPointer {
    T* pointer;
    explicit GPointer(T* p) : pointer(p) {}
    ~GPointer()
    {
        if (pointer)
            Free(pointer);
    }
    GPointer(const GPointer&) = delete;
    GPointer& operator=(const GPointer&) = delete;
    T* get() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
};
void unrefObject(GSettings* settings)
{
    g_object_unref(settings);
}
using Settings = GPointer<GSettings, unrefObject>;
using Schema = GPointer<GSettingsSchema, g_settings_schema_unref>;
using SchemaKey = GPointer<GSettingsSchemaKey, g_settings_schema_key_unref>;
using Variant = GPointer<GVariant, g_variant_unref>;

// The accelerators of a key holding a text or a list of texts.
std::vector<std::string> accelerators(GVariant* value)
{
    std::vector<std::string> texts;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        texts.emplace_back(g_variant_get_string(value, nullptr));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
        GVariantIter iterator;
        g_variant_iter_init(&iterator, value);
        const gchar* text = nullptr;
        while (g_variant_iter_next(&iterator, "&s", &text))
            texts.emplace_back(text);
    }
    return texts;
}

std::vector<std::string> notations(GVariant* value, std::string_view key, platform::Log& log)
{
    std::vector<std::string> result;
    for (const auto& accelerator : accelerators(value)) {
        if (accelerator.empty() || accelerator == "disabled")
            continue;
        if (auto notation = keybinding::gtkAccelerator(accelerator))
            result.push_back(std::move(*notation));
        else
            log.info(LogCategory::scraper, "Skipping GNOME shortcut '{}' of {}: keys not understood", accelerator,
                     std::string(key));
    }
    return result;
}

bool isBindingKey(GSettingsSchemaKey* key)
{
    const GVariantType* type = g_settings_schema_key_get_value_type(key);
    return g_variant_type_equal(type, G_VARIANT_TYPE_STRING_ARRAY) || g_variant_type_equal(type, G_VARIANT_TYPE_STRING);
}

GSettingsSchema* lookUp(const char* id)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    return source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr;
}

struct GnomeSchema {
    const char* id;
    const char* group;
};
constexpr GnomeSchema gnomeSchemas[] = {
    {"org.gnome.desktop.wm.keybindings", "Window Management"},
    {"org.gnome.mutter.keybindings", "Window Management"},
    {"org.gnome.mutter.wayland.keybindings", "Window Management"},
    {"org.gnome.shell.keybindings", "Desktop"},
    {"org.gnome.settings-daemon.plugins.media-keys", "Media"},
};
constexpr const char* mediaKeysSchema = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* customBindingSchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";

std::string groupOf(const GnomeSchema& schema, std::string_view key)
{
    if (key.find("workspace") != std::string_view::npos)
        return "Workspaces";
    if (key.find("screenshot") != std::string_view::npos || key.find("screencast") != std::string_view::npos)
        return "Screenshots";
    return schema.group;
}

void addCustomBindings(GSettings* mediaKeys, std::vector<std::pair<std::string, Shortcut>>& rows, platform::Log& log)
{
    Schema schema(lookUp(customBindingSchema));
    if (!schema) {
        log.info(LogCategory::scraper, "No custom GNOME shortcuts: schema {} is not installed", customBindingSchema);
        return;
    }
    Variant paths(g_settings_get_value(mediaKeys, "custom-keybindings"));
    for (const auto& path : accelerators(paths.get())) {
        if (path.empty() || path.front() != '/' || path.back() != '/')
            continue;
        Settings custom(g_settings_new_full(schema.get(), nullptr, path.c_str()));
        gchar* name = g_settings_get_string(custom.get(), "name");
        gchar* command = g_settings_get_string(custom.get(), "command");
        Variant binding(g_settings_get_value(custom.get(), "binding"));
        std::string title = name && *name ? name : command ? command : "";
        g_free(name);
        g_free(command);
        if (auto row = keybinding::bindingRow(title, notations(binding.get(), path, log), {}))
            rows.emplace_back("Custom", std::move(*row));
    }
}

} // namespace

std::vector<ShortcutGroup> GnomeShortcuts::groups()
{
    std::vector<std::pair<std::string, Shortcut>> rows;
    for (const auto& described : gnomeSchemas) {
        Schema schema(lookUp(described.id));
        if (!schema) {
            log_.info(LogCategory::scraper, "Skipping GNOME shortcuts of {}: schema not installed", described.id);
            continue;
        }
        Settings settings(g_settings_new_full(schema.get(), nullptr, nullptr));
        gchar** keys = g_settings_schema_list_keys(schema.get());
        for (gchar** name = keys; name && *name; ++name) {
            SchemaKey key(g_settings_schema_get_key(schema.get(), *name));
            if (!isBindingKey(key.get()))
                continue;
            Variant value(g_settings_get_value(settings.get(), *name));
            Variant fallback(g_settings_schema_key_get_default_value(key.get()));
            const char* summary = g_settings_schema_key_get_summary(key.get());
            if (summary && std::string_view(summary).starts_with("DEPRECATED"))
                continue;
            std::string title = summary && *summary ? summary : *name;
            if (auto row = keybinding::bindingRow(title, notations(value.get(), *name, log_),
                                                  notations(fallback.get(), *name, log_)))
                rows.emplace_back(groupOf(described, *name), std::move(*row));
        }
        g_strfreev(keys);
        if (std::string_view(described.id) == mediaKeysSchema)
            addCustomBindings(settings.get(), rows, log_);
    }

    // Groups in a fixed order, rows by title.
    std::vector<ShortcutGroup> groups;
    for (const char* title : {"Window Management", "Workspaces", "Desktop", "Screenshots", "Media", "Custom"}) {
        ShortcutGroup group{Uuid::random(), title, {}};
        for (auto& [groupTitle, row] : rows)
            if (groupTitle == title)
                group.shortcuts.push_back(std::move(row));
        std::stable_sort(group.shortcuts.begin(), group.shortcuts.end(),
                         [](const Shortcut& a, const Shortcut& b) { return a.title < b.title; });
        if (!group.shortcuts.empty())
            groups.push_back(std::move(group));
    }
    return groups;
}

Desktop desktopNamed(std::string_view currentDesktop, std::string_view windowManagerName)
{
    std::string_view rest = currentDesktop;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto name = lowerCased(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (name == "gnome" || name == "gnome-classic" || name == "budgie" || name == "x-cinnamon" || name == "cinnamon"
            || name == "unity" || name == "pantheon")
            return Desktop::gnome;
        if (name == "kde")
            return Desktop::kde;
        if (name == "xfce")
            return Desktop::xfce;
        if (name == "openbox" || name == "lxde")
            return Desktop::openbox;
    }
    return lowerCased(windowManagerName) == "openbox" ? Desktop::openbox : Desktop::unknown;
}

Desktop runningDesktop(platform::Log& log)
{
    const char* current = std::getenv("XDG_CURRENT_DESKTOP");
    auto desktop = desktopNamed(current ? current : "", "");
    if (desktop == Desktop::unknown)
        desktop = desktopOnTheBus();
    if (desktop == Desktop::unknown)
        desktop = desktopNamed("", windowManagerName());
    if (desktop == Desktop::unknown)
        log.info(LogCategory::scraper, "No desktop whose shortcuts can be read (XDG_CURRENT_DESKTOP={})",
                 current ? current : "");
    return desktop;
}

std::unique_ptr<DesktopShortcutSource> desktopShortcutSource(Desktop desktop, platform::Log& log)
{
    switch (desktop) {
    case Desktop::gnome:
        return std::make_unique<GnomeShortcuts>(log);
    case Desktop::kde:
        return std::make_unique<FileShortcuts>("KDE Plasma", "kglobalshortcutsrc", desktop_config::kdeGlobalShortcuts,
                                               log);
    case Desktop::xfce:
        return std::make_unique<FileShortcuts>("Xfce", "xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml",
                                               desktop_config::xfceKeyboardShortcuts, log);
    case Desktop::openbox:
        return std::make_unique<FileShortcuts>("Openbox", "openbox/rc.xml", desktop_config::openboxKeybindings, log);
    case Desktop::unknown:
        break;
    }
    return nullptr;
}

} // namespace hb::linux_platform
