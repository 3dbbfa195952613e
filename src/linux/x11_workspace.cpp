#include "linux/x11_workspace.h"

#include "linux/xcb_reply.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>

namespace hb::linux_platform {

using platform::RunningApplication;

std::string processName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    // The kernel keeps 15 characters of it; the command line has the whole
    // name ("gnome-text-edit" of gnome-text-editor).
    constexpr std::size_t kernelNameLength = 15;
    if (name.size() == kernelNameLength) {
        std::ifstream commandLine("/proc/" + std::to_string(pid) + "/cmdline");
        std::string command;
        std::getline(commandLine, command, '\0');
        const std::string whole = std::filesystem::path(command).filename().string();
        if (whole.starts_with(name))
            return whole;
    }
    return name;
}

std::vector<std::string> commandNames(pid_t pid)
{
    std::vector<std::string> names;
    auto add = [&](std::string name) {
        if (!name.empty() && std::ranges::find(names, name) == names.end())
            names.push_back(std::move(name));
    };
    add(processName(pid));
    std::ifstream commandLine("/proc/" + std::to_string(pid) + "/cmdline");
    std::string command;
    std::getline(commandLine, command, '\0');
    const std::filesystem::path executable = std::filesystem::path(command).filename();
    add(executable.string());
    if (executable.has_extension())
        add(executable.stem().string());
    return names;
}

std::optional<std::string> launchedDesktopFile(pid_t pid)
{
    std::ifstream environment("/proc/" + std::to_string(pid) + "/environ");
    std::string variable;
    std::optional<std::string> hint;
    while (std::getline(environment, variable, '\0')) {
        if (variable.starts_with("GIO_LAUNCHED_DESKTOP_FILE="))
            return variable.substr(variable.find('=') + 1);
        if (variable.starts_with("BAMF_DESKTOP_FILE_HINT="))
            hint = variable.substr(variable.find('=') + 1);
    }
    return hint;
}

// One connection to the X server and the property reads the workspace needs.
// Used by one thread at a time.
class X11Connection {
public:
    explicit X11Connection(const std::string& displayName)
        : connection_(xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr))
    {
        if (xcb_connection_has_error(connection_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        atoms_ = internAtoms(connection_, atomNames);
    }
    ~X11Connection() { xcb_disconnect(connection_); }
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    bool isUsable() const { return !xcb_connection_has_error(connection_); }
    xcb_connection_t* raw() const { return connection_; }
    xcb_window_t root() const { return root_; }
    xcb_atom_t activeWindowAtom() const { return atoms_[activeWindow]; }

    // The window the window manager marks active; none for no window.
    std::optional<xcb_window_t> activeWindowID() const
    {
        auto windows = windowList(atoms_[activeWindow]);
        if (windows.empty() || windows.front() == XCB_WINDOW_NONE)
            return std::nullopt;
        return windows.front();
    }
    std::vector<xcb_window_t> clientList() const { return windowList(atoms_[clientListAtom]); }
    // Bottom to top.
    std::vector<xcb_window_t> stackingList() const { return windowList(atoms_[clientListStacking]); }

    // Shown on screen and an application's own window, not a panel or the desktop.
    bool isShownApplicationWindow(xcb_window_t window) const
    {
        auto attributes = xcbReply(
            xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            return false;
        auto types = property(window, atoms_[windowType], XCB_ATOM_ATOM);
        for (std::size_t at = 0; types.format == 32 && at + sizeof(xcb_atom_t) <= types.bytes.size();
             at += sizeof(xcb_atom_t)) {
            xcb_atom_t type = XCB_ATOM_NONE;
            std::memcpy(&type, types.bytes.data() + at, sizeof type);
            if (type == atoms_[windowTypeDock] || type == atoms_[windowTypeDesktop])
                return false;
        }
        return true;
    }

    // The window's place on the root window; none when it has gone.
    std::optional<platform::Rect> frame(xcb_window_t window) const
    {
        auto geometryCookie = xcb_get_geometry(connection_, window);
        auto placeCookie = xcb_translate_coordinates(connection_, window, root_, 0, 0);
        auto geometry = xcbReply(xcb_get_geometry_reply(connection_, geometryCookie, nullptr));
        auto place = xcbReply(xcb_translate_coordinates_reply(connection_, placeCookie, nullptr));
        if (!geometry || !place)
            return std::nullopt;
        return platform::Rect{{double(place->dst_x), double(place->dst_y)},
                              {double(geometry->width), double(geometry->height)}};
    }

    // Identifies the application that owns the window; none when neither the
    // window nor those it stands in front of name a process.
    std::optional<RunningApplication> application(xcb_window_t window, DesktopEntries& entries) const
    {
        RunningApplication app;
        app.pid = processOf(window);
        // A dialog that names no process belongs to that of the window it stands in front of.
        auto owner = transientFor(window);
        for (int depth = 0; app.pid <= 0 && owner && depth < maximumOwnerDepth; ++depth) {
            app.pid = processOf(*owner);
            owner = transientFor(*owner);
        }
        if (app.pid <= 0)
            return std::nullopt;
        app.processName = processName(app.pid);

        auto names = windowNames(window, entries);
        // A dialog may name a class of its own that no entry knows (LibreOffice's
        // say "Soffice"): the window it belongs to names the application.
        for (int depth = 0; !names.entry && depth < maximumOwnerDepth; ++depth) {
            const auto owner = transientFor(window);
            if (!owner)
                break;
            window = *owner;
            if (auto ownerNames = windowNames(window, entries); ownerNames.entry)
                names = std::move(ownerNames);
        }
        auto& entry = names.entry;
        if (!entry)
            if (auto launched = launchedDesktopFile(app.pid))
                entry = entries.byID(*launched);

        // The entry's id names the application where there is one: LibreOffice's
        // windows share the id org.libreoffice, which has no entry of its own.
        if (entry)
            app.bundleIdentifier = entry->id;
        else if (names.gtkID)
            app.bundleIdentifier = names.gtkID;
        else if (names.kdeID)
            app.bundleIdentifier = names.kdeID;
        else if (!names.className.empty())
            app.bundleIdentifier = names.className;

        if (entry) {
            app.name = entry->name;
            app.iconName = entry->iconName;
        } else {
            app.name = !names.className.empty() ? names.className : app.processName;
        }
        return app;
    }

private:
    // How many windows up the chain of owners a dialog's application is looked for.
    static constexpr int maximumOwnerDepth = 4;

    // What a window says about its application, and the desktop entry that says.
    struct WindowNames {
        std::optional<std::string> gtkID;
        std::optional<std::string> kdeID;
        std::string className;
        std::optional<DesktopEntry> entry;
    };

    WindowNames windowNames(xcb_window_t window, DesktopEntries& entries) const
    {
        WindowNames names;
        names.gtkID = text(window, atoms_[gtkApplicationID]);
        names.kdeID = text(window, atoms_[kdeDesktopFile]);
        if (names.kdeID) {
            names.kdeID = names.kdeID->substr(names.kdeID->rfind('/') + 1);
            if (names.kdeID->ends_with(".desktop"))
                names.kdeID->resize(names.kdeID->size() - std::string_view(".desktop").size());
        }
        auto [instance, className] = windowClass(window);
        names.className = className;
        if (names.gtkID)
            names.entry = entries.byID(*names.gtkID);
        if (!names.entry && names.kdeID)
            names.entry = entries.byID(*names.kdeID);
        if (!names.entry)
            names.entry = entries.forWindowClass(instance, className);
        return names;
    }

    // The process that the window names (_NET_WM_PID); 0 when it names none.
    pid_t processOf(xcb_window_t window) const
    {
        auto value = property(window, atoms_[wmPID], XCB_ATOM_CARDINAL);
        std::uint32_t pid = 0;
        if (value.format != 32 || value.bytes.size() < sizeof pid)
            return 0;
        std::memcpy(&pid, value.bytes.data(), sizeof pid);
        return pid > std::uint32_t(std::numeric_limits<pid_t>::max()) ? 0 : static_cast<pid_t>(pid);
    }

    // The window a dialog belongs to (WM_TRANSIENT_FOR), when it names one.
    std::optional<xcb_window_t> transientFor(xcb_window_t window) const
    {
        auto value = property(window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
        xcb_window_t owner = XCB_WINDOW_NONE;
        if (value.format != 32 || value.bytes.size() < sizeof owner)
            return std::nullopt;
        std::memcpy(&owner, value.bytes.data(), sizeof owner);
        if (owner == XCB_WINDOW_NONE || owner == window || owner == root_)
            return std::nullopt;
        return owner;
    }

    enum Atom {
        activeWindow,
        clientListAtom,
        clientListStacking,
        wmPID,
        gtkApplicationID,
        kdeDesktopFile,
        utf8String,
        windowType,
        windowTypeDock,
        windowTypeDesktop,
        atomCount
    };
    static constexpr std::array<std::string_view, atomCount> atomNames = {"_NET_ACTIVE_WINDOW",
                                                                          "_NET_CLIENT_LIST",
                                                                          "_NET_CLIENT_LIST_STACKING",
                                                                          "_NET_WM_PID",
                                                                          "_GTK_APPLICATION_ID",
                                                                          "_KDE_NET_WM_DESKTOP_FILE",
                                                                          "UTF8_STRING",
                                                                          "_NET_WM_WINDOW_TYPE",
                                                                          "_NET_WM_WINDOW_TYPE_DOCK",
                                                                          "_NET_WM_WINDOW_TYPE_DESKTOP"};

    struct Property {
        xcb_atom_t type = XCB_ATOM_NONE;
        std::uint8_t format = 0;
        std::string bytes;
    };

    Property property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) const
    {
        constexpr std::uint32_t maximumLongs = 1 << 16;
        auto cookie = xcb_get_property(connection_, 0, window, name, type, 0, maximumLongs);
        auto reply = xcbReply(xcb_get_property_reply(connection_, cookie, nullptr));
        if (!reply || reply->type == XCB_ATOM_NONE)
            return {};
        const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
        return {reply->type, reply->format, std::string(data, xcb_get_property_value_length(reply.get()))};
    }

    std::vector<xcb_window_t> windowList(xcb_atom_t name) const
    {
        auto value = property(root_, name, XCB_ATOM_WINDOW);
        if (value.format != 32)
            return {};
        std::vector<xcb_window_t> windows(value.bytes.size() / sizeof(xcb_window_t));
        if (!windows.empty()) // an empty list has no storage to copy into
            std::memcpy(windows.data(), value.bytes.data(), windows.size() * sizeof(xcb_window_t));
        return windows;
    }

    std::optional<std::string> text(xcb_window_t window, xcb_atom_t name) const
    {
        auto value = property(window, name, XCB_GET_PROPERTY_TYPE_ANY);
        if (value.format != 8 || (value.type != atoms_[utf8String] && value.type != XCB_ATOM_STRING))
            return std::nullopt;
        std::string result = value.bytes.substr(0, value.bytes.find('\0'));
        if (result.empty())
            return std::nullopt;
        return result;
    }

    // WM_CLASS holds the instance and the class, each ended by a zero byte.
    std::pair<std::string, std::string> windowClass(xcb_window_t window) const
    {
        auto value = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        if (value.format != 8)
            return {};
        std::string_view bytes = value.bytes;
        auto end = bytes.find('\0');
        std::string instance(bytes.substr(0, end));
        std::string className;
        if (end != std::string_view::npos) {
            bytes.remove_prefix(end + 1);
            className = bytes.substr(0, bytes.find('\0'));
        }
        return {std::move(instance), std::move(className)};
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, atomCount> atoms_{};
};

X11Workspace::X11Workspace(platform::MainQueue& mainQueue, const std::string& displayName)
    : mainQueue_(mainQueue), displayName_(displayName), queries_(std::make_unique<X11Connection>(displayName)),
      observers_(std::make_shared<Observers>())
{}

void X11Workspace::startWatching()
{
    if (watcher_.joinable() || !queries_->isUsable())
        return;
    events_ = std::make_unique<X11Connection>(displayName_);
    stopEvent_ = eventfd(0, EFD_CLOEXEC);
    if (!events_->isUsable() || stopEvent_ < 0)
        return;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(events_->raw(), events_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(events_->raw());
    watcher_ = std::thread([this] { watchActiveWindow(); });
}

X11Workspace::~X11Workspace()
{
    if (watcher_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(stopEvent_, &one, sizeof one);
        watcher_.join();
    }
    if (stopEvent_ >= 0)
        close(stopEvent_);
}

bool X11Workspace::isConnected() const
{
    return queries_->isUsable();
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    std::lock_guard lock(queriesMutex_);
    if (!queries_->isUsable())
        return std::nullopt;
    auto window = queries_->activeWindowID();
    return window ? queries_->application(*window, desktopEntries_) : std::nullopt;
}

std::optional<RunningApplication> X11Workspace::topmostApplication(pid_t excluding)
{
    std::lock_guard lock(queriesMutex_);
    if (!queries_->isUsable())
        return std::nullopt;
    const auto windows = queries_->stackingList();
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        if (!queries_->isShownApplicationWindow(*window))
            continue;
        if (auto app = queries_->application(*window, desktopEntries_); app && app->pid != excluding)
            return app;
    }
    return std::nullopt;
}

std::vector<RunningApplication> X11Workspace::runningApplications()
{
    std::lock_guard lock(queriesMutex_);
    std::vector<RunningApplication> applications;
    if (!queries_->isUsable())
        return applications;
    std::set<pid_t> seen;
    for (xcb_window_t window : queries_->clientList())
        if (auto app = queries_->application(window, desktopEntries_); app && seen.insert(app->pid).second)
            applications.push_back(std::move(*app));
    return applications;
}

std::optional<platform::Rect> X11Workspace::activeWindowFrame()
{
    std::lock_guard lock(queriesMutex_);
    if (!queries_->isUsable())
        return std::nullopt;
    auto window = queries_->activeWindowID();
    return window ? queries_->frame(*window) : std::nullopt;
}

platform::Workspace::ObserverId X11Workspace::addActivationObserver(ActivationObserver observer)
{
    startWatching();
    return observers_->add(std::move(observer));
}

void X11Workspace::removeActivationObserver(ObserverId id)
{
    observers_->remove(id);
}

void X11Workspace::watchActiveWindow()
{
    X11Connection& x = *events_;
    // Changes of window within one application are no activation; a moment
    // without an active window ends the application's activation.
    auto activeProcess = [&](std::optional<RunningApplication>& app) -> pid_t {
        auto window = x.activeWindowID();
        app = window ? x.application(*window, desktopEntries_) : std::nullopt;
        return app ? app->pid : (window ? -1 : 0);
    };
    std::optional<RunningApplication> app;
    pid_t lastProcess = activeProcess(app);
    // An application that names itself better in a later window (LibreOffice's
    // first window says "Soffice") is announced again under that name.
    auto identity = [](const std::optional<RunningApplication>& app) {
        return app ? std::pair(app->bundleIdentifier, app->name)
                   : std::pair(std::optional<std::string>(), std::string());
    };
    auto lastIdentity = identity(app);

    std::array<pollfd, 2> watched = {pollfd{xcb_get_file_descriptor(x.raw()), POLLIN, 0},
                                     pollfd{stopEvent_, POLLIN, 0}};
    while (x.isUsable()) {
        bool activeWindowChanged = false;
        while (auto* event = xcb_poll_for_event(x.raw())) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                activeWindowChanged |= property->window == x.root() && property->atom == x.activeWindowAtom();
            }
            std::free(event);
        }
        if (activeWindowChanged) {
            pid_t process = activeProcess(app);
            const bool renamed = process == lastProcess && app && identity(app) != lastIdentity;
            if ((process != lastProcess && process != 0) || renamed)
                mainQueue_.post([observers = std::weak_ptr(observers_), app] {
                    if (auto alive = observers.lock())
                        alive->notify(app);
                });
            lastProcess = process;
            if (app)
                lastIdentity = identity(app);
            continue; // the reads may have queued more events
        }
        if (poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            return;
        if (watched[1].revents & POLLIN)
            return;
    }
}

} // namespace hb::linux_platform
