#include "app/shortcuts_command.h"

#include "app/stored_settings.h"

#include "linux/desktop_accessibility.h"
#include "linux/journal_log.h"
#include "linux/linux_desktop_shortcuts.h"
#include "linux/session_services.h"
#include "linux/x11_workspace.h"
#include "menus/menu_bar_reader.h"
#include "model/text.h"
#include "sources/system_shortcuts.h"
#include "sources/third_party_shortcut_registry.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

namespace hb::app {
namespace {

using platform::RunningApplication;

enum ExitStatus : int {
    success = 0,
    badArguments = 2,
    accessibilityOff = 3,
    noSuchApplication = 4,
    noMenuBar = 5,
    noDisplay = 6,
};

constexpr std::string_view usage =
    R"usage(usage: hintboard shortcuts (--front | --app NAME | --pid PID | --system | --registered)
                          [--all] [--json] [--verbose]

Prints the keyboard shortcuts in the menu bar of a running application,
grouped by menu and submenu, with those its shortcuts window lists (GTK
applications; alone when there is no menu bar); or the desktop's own
shortcuts; or those that applications registered in the integrations folder.

  --front      the application whose window is active; run from a
               terminal, that is the terminal itself, so "sleep 3; hintboard
               shortcuts --front" leaves time to switch to another window
  --app NAME   the application with this command or process name, name,
               identifier or launcher, case ignored (mousepad, Mousepad,
               org.xfce.mousepad; soffice.bin, soffice, libreoffice)
  --pid PID    the application with this process id
  --system     the "System" section: the shortcuts of the running desktop
               (GNOME, KDE Plasma, Xfce, Openbox) and the user's key equivalents
  --registered the shortcuts registered by applications (one section each)
  --all        list the menu items without a shortcut too, and with
               --system the switched-off shortcuts, marked "(off)"
  --json       print {"application": {...}, "sections": [{"title", "groups":
               [{"title", "rows": [{"title", "keys", "label"}]}]}]}: "keys"
               in the ⌃⌥⇧⌘ notation Hintboard stores, "label" as the
               popup writes them (the "Key labels" setting)
  --verbose    log to standard error as well (otherwise only errors go there
               when there is no journal), with debug lines and private values;
               says where the rows came from (menu bar, shortcuts window)
               (debug lines and private values also follow the debugLoggingEnabled setting)
  --help       show this help

Exit status:
  0  the shortcuts were printed (also when the menu bar has none)
  2  bad arguments
  3  accessibility is off in this session
  4  no such application runs
  5  the application has no menu bar that can be read and no shortcuts window
  6  the X display cannot be reached (--front and --app need it)
)usage";

constexpr std::string_view accessibilityOffMessage =
    R"(hintboard: accessibility is off in this session, so no menu bar can be read.
Turn it on with:
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>'
or, to keep it on in GNOME sessions:
  gsettings set org.gnome.desktop.interface toolkit-accessibility true
Applications started before that must be restarted to be readable.
)";

struct Options {
    enum class Target { front, app, pid, system, registered };
    std::optional<Target> target;
    std::string appName;
    pid_t pid = 0;
    bool all = false;
    bool json = false;
    bool verbose = false;
    bool help = false;
};

struct Parsed {
    Options options;
    std::string error; // empty when the arguments are sound
};

Parsed parseArguments(std::span<const std::string_view> arguments)
{
    Parsed parsed;
    Options& options = parsed.options;
    auto setTarget = [&](Options::Target target) {
        if (options.target)
            parsed.error = "give only one of --front, --app, --pid, --system and --registered";
        options.target = target;
    };
    for (std::size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        std::string_view argument = arguments[i];
        std::optional<std::string_view> value;
        if (auto equals = argument.find('='); argument.starts_with("--") && equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
        }
        auto takeValue = [&]() -> std::optional<std::string_view> {
            if (value)
                return value;
            if (i + 1 < arguments.size())
                return arguments[++i];
            parsed.error = fmt::format("{} needs a value", argument);
            return std::nullopt;
        };
        if (value && argument != "--app" && argument != "--pid") {
            parsed.error = fmt::format("{} takes no value", argument);
        } else if (argument == "--front") {
            setTarget(Options::Target::front);
        } else if (argument == "--app") {
            setTarget(Options::Target::app);
            if (auto name = takeValue()) {
                options.appName = *name;
                if (options.appName.empty())
                    parsed.error = "--app needs a name";
            }
        } else if (argument == "--pid") {
            setTarget(Options::Target::pid);
            if (auto text = takeValue()) {
                auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), options.pid);
                if (error != std::errc() || end != text->data() + text->size() || options.pid <= 0)
                    parsed.error = fmt::format("--pid needs a process id, not \"{}\"", *text);
            }
        } else if (argument == "--system") {
            setTarget(Options::Target::system);
        } else if (argument == "--registered") {
            setTarget(Options::Target::registered);
        } else if (argument == "--all") {
            options.all = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else {
            parsed.error = fmt::format("unknown argument \"{}\"", argument);
        }
    }
    if (parsed.error.empty() && !options.target && !options.help)
        parsed.error = "say which shortcuts: --front, --app NAME, --pid PID, --system or --registered";
    return parsed;
}

// The command reads once and observes no activations, so it has no main loop
// and nothing posted needs to run.
class DroppingMainQueue : public platform::MainQueue {
public:
    void post(std::function<void()>) override {}
    TaskId postAfter(platform::Seconds, std::function<void()>) override { return 0; }
    void cancel(TaskId) override {}
};

bool processRuns(pid_t pid)
{
    return kill(pid, 0) == 0 || errno == EPERM;
}

std::string describe(const RunningApplication& app)
{
    if (app.bundleIdentifier)
        return fmt::format("{} ({}, pid {})", app.name, *app.bundleIdentifier, app.pid);
    return fmt::format("{} (pid {})", app.name, app.pid);
}

// Whether the application goes by this name: its display name, identifier,
// command names, or the program its desktop entry runs (LibreOffice's
// soffice.bin is started as libreoffice).
bool isCalled(const RunningApplication& app, std::string_view name, linux_platform::DesktopEntries& entries)
{
    const std::string wanted = text::folded(name);
    auto is = [&](std::string_view candidate) { return text::folded(candidate) == wanted; };
    if (is(app.processName) || is(app.name) || (app.bundleIdentifier && is(*app.bundleIdentifier)))
        return true;
    if (std::ranges::any_of(linux_platform::commandNames(app.pid), is))
        return true;
    const auto entry = app.bundleIdentifier ? entries.byID(*app.bundleIdentifier) : std::nullopt;
    return entry && entry->command && is(*entry->command);
}

// The application the options name, or the exit status that says why there is none.
std::variant<RunningApplication, ExitStatus> chooseApplication(const Options& options, platform::Log& log)
{
    DroppingMainQueue mainQueue;
    const SessionKind sessionKind = linux_platform::currentSessionKind();
    auto session = linux_platform::makeSessionWorkspace(sessionKind, mainQueue, log);
    platform::Workspace& workspace = *session.workspace;
    if (options.target == Options::Target::pid) {
        if (!processRuns(options.pid)) {
            fmt::print(stderr, "hintboard: no process with id {} runs.\n", options.pid);
            return noSuchApplication;
        }
        auto running = workspace.runningApplications();
        if (auto found = std::ranges::find(running, options.pid, &RunningApplication::pid); found != running.end())
            return *found;
        RunningApplication app;
        app.pid = options.pid;
        app.processName = linux_platform::processName(options.pid);
        app.name = app.processName;
        return app;
    }
    if (!session.isReachable()) {
        if (sessionKind == SessionKind::wayland)
            fmt::print(stderr, "hintboard: cannot reach the accessibility bus; on Wayland --front and --app need it "
                               "(--pid does not).\n");
        else
            fmt::print(stderr, "hintboard: cannot reach the X display{}; --front and --app need it (--pid does not).\n",
                       std::getenv("DISPLAY") ? fmt::format(" \"{}\"", std::getenv("DISPLAY"))
                                              : " (DISPLAY is not set)");
        return noDisplay;
    }
    if (options.target == Options::Target::front) {
        if (auto front = workspace.frontmostApplication())
            return *front;
        fmt::print(stderr, "hintboard: no application is active.\n");
        return noSuchApplication;
    }
    auto running = workspace.runningApplications();
    linux_platform::DesktopEntries entries;
    if (auto found =
            std::ranges::find_if(running, [&](const auto& app) { return isCalled(app, options.appName, entries); });
        found != running.end())
        return *found;
    fmt::print(stderr, "hintboard: no running application is called \"{}\".\n", options.appName);
    if (!running.empty()) {
        fmt::print(stderr, "Running applications:\n");
        for (const auto& app : running)
            fmt::print(stderr, "  {} {}\n", app.processName, describe(app));
    }
    return noSuchApplication;
}

// The rows as shown: without separators, which mostly stand between rows
// that are not listed, and without groups and sections left empty.
struct ShownRow {
    std::string title;
    std::string keys;
    std::string label; // the keys as the settings say they are written
    bool off = false;  // a switched-off desktop shortcut
};
struct ShownGroup {
    std::optional<std::string> title;
    std::vector<ShownRow> rows;
};
struct ShownSection {
    std::string title;
    std::vector<ShownGroup> groups;
};

std::vector<ShownSection> shownSections(const std::vector<MenuSection>& sections, bool all, notation::KeyLabels labels)
{
    std::vector<ShownSection> shown;
    for (const auto& section : sections) {
        ShownSection shownSection{section.title, {}};
        for (const auto& group : section.groups) {
            ShownGroup shownGroup{group.title, {}};
            for (const auto& row : group.shortcuts)
                if (!row.isSeparator && (all || !row.isDisabled))
                    shownGroup.rows.push_back(
                        ShownRow{row.title, row.keys, notation::keyLabel(row.keys, labels), row.isDisabled});
            if (!shownGroup.rows.empty())
                shownSection.groups.push_back(std::move(shownGroup));
        }
        if (!shownSection.groups.empty())
            shown.push_back(std::move(shownSection));
    }
    return shown;
}

std::size_t displayWidth(std::string_view text)
{
    return std::ranges::count_if(text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

void printText(const std::string& heading, const std::vector<ShownSection>& sections, std::string_view whenEmpty)
{
    constexpr std::size_t rowIndent = 2;
    constexpr std::size_t submenuRowIndent = 4;
    constexpr std::size_t gap = 3;
    std::size_t titleColumn = 0;
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.rows) {
                const std::size_t indent = group.title ? submenuRowIndent : rowIndent;
                titleColumn = std::max(titleColumn, indent + displayWidth(row.title));
            }

    fmt::print("{}\n", heading);
    if (sections.empty()) {
        fmt::print("\n{}\n", whenEmpty);
        return;
    }
    for (const auto& section : sections) {
        fmt::print("\n{}\n", section.title);
        for (const auto& group : section.groups) {
            const std::size_t indent = group.title ? submenuRowIndent : rowIndent;
            if (group.title)
                fmt::print("{}{}\n", std::string(rowIndent, ' '), *group.title);
            for (const auto& row : group.rows) {
                std::string line = std::string(indent, ' ') + row.title;
                if (!row.label.empty())
                    line += std::string(titleColumn + gap - indent - displayWidth(row.title), ' ') + row.label;
                if (row.off)
                    line += " (off)";
                fmt::print("{}\n", line);
            }
        }
    }
}

nlohmann::json applicationJSON(const RunningApplication& app)
{
    using nlohmann::json;
    return {{"name", app.name},
            {"identifier", app.bundleIdentifier ? json(*app.bundleIdentifier) : json(nullptr)},
            {"pid", app.pid},
            {"processName", app.processName}};
}

// `source` names where the rows come from: {"application": {...}} or {"desktop": "..."}.
void printJSON(nlohmann::json source, const std::vector<ShownSection>& sections, bool all)
{
    using nlohmann::json;
    json shownSections = json::array();
    for (const auto& section : sections) {
        json groups = json::array();
        for (const auto& group : section.groups) {
            json rows = json::array();
            for (const auto& row : group.rows) {
                json shown = {{"title", row.title}, {"keys", row.keys}, {"label", row.label}};
                if (row.off)
                    shown["off"] = true;
                rows.push_back(std::move(shown));
            }
            groups.push_back({{"title", group.title ? json(*group.title) : json(nullptr)}, {"rows", std::move(rows)}});
        }
        shownSections.push_back({{"title", section.title}, {"groups", std::move(groups)}});
    }
    json document = std::move(source);
    document["includesItemsWithoutShortcuts"] = all;
    document["sections"] = std::move(shownSections);
    fmt::print("{}\n", document.dump(2, ' ', false, json::error_handler_t::replace));
}

// The "System" section of the running desktop, or the registered shortcuts.
int printOtherSources(const Options& options, notation::KeyLabels labels, platform::Log& log)
{
    const auto folders = UserFolders::fromEnvironment();
    std::vector<MenuSection> sections;
    std::string origin;
    if (options.target == Options::Target::system) {
        const auto desktop = linux_platform::runningDesktop(log);
        auto source = linux_platform::desktopShortcutSource(desktop, log);
        origin = source ? std::string(source->desktopName()) : "no known desktop";
        if (auto section = systemShortcutSection(source.get(), folders, &log))
            sections.push_back(std::move(*section));
    } else {
        origin = "registered by applications";
        sections = ThirdPartyShortcutRegistry(folders, log).loadSections();
    }
    auto shown = shownSections(sections, options.all, labels);
    if (options.json)
        printJSON({{"source", origin}}, shown, options.all);
    else
        printText(fmt::format("{} ({})", options.target == Options::Target::system ? "System" : "Registered", origin),
                  shown, "No shortcuts found.");
    return success;
}

} // namespace

int runShortcutsCommand(std::span<const std::string_view> arguments)
{
    auto [options, error] = parseArguments(arguments);
    if (options.help && error.empty()) {
        fmt::print("{}", usage);
        return success;
    }
    if (!error.empty()) {
        fmt::print(stderr, "hintboard shortcuts: {}.\n{}", error, usage);
        return badArguments;
    }

    // Quiet unless asked: without a journal only errors reach standard error.
    linux_platform::JournalLogSink sink(options.verbose, platform::LogLevel::error);
    const auto stored = StoredSettings::read();
    const auto labels = stored.keyLabels();
    platform::Log log(sink, [debug = options.verbose || stored.debugLoggingEnabled()] { return debug; });
    if (options.target == Options::Target::system || options.target == Options::Target::registered)
        return printOtherSources(options, labels, log);
    linux_platform::DesktopAccessibility desktopAccessibility(log, linux_platform::currentSessionKind());
    platform::Accessibility& accessibility = desktopAccessibility.accessibility();
    if (!accessibility.isProcessTrusted()) {
        fmt::print(stderr, "{}", accessibilityOffMessage);
        return accessibilityOff;
    }

    auto chosen = chooseApplication(options, log);
    if (auto* status = std::get_if<ExitStatus>(&chosen))
        return *status;
    const auto& app = std::get<RunningApplication>(chosen);

    MenuBarReader reader(accessibility, log);
    MenuReadOptions readOptions;
    readOptions.pid = app.pid;
    readOptions.includeAll = options.all;
    auto sections = reader.readMenuBar(readOptions);
    // A request of the read took the whole timeout: the application does not answer.
    const bool stalled = !accessibility.answers(app.pid);
    const bool quit = !processRuns(app.pid);
    if (sections.empty()
        && (quit
            || !platform::readElement(accessibility, accessibility.applicationElement(app.pid),
                                      platform::ax::menuBar))) {
        using Presence = linux_platform::AtspiAccessibility::Presence;
        const auto presence = quit ? Presence::notOnBus : desktopAccessibility.atspi().presence(app.pid);
        if (quit)
            fmt::print(stderr, "hintboard: {} quit before its menus could be read.\n", describe(app));
        else if (stalled || presence == Presence::notAnswering)
            fmt::print(stderr, "hintboard: {} does not answer accessibility requests (it may be busy or stopped).\n",
                       describe(app));
        else if (presence == Presence::notOnBus)
            fmt::print(stderr,
                       "hintboard: {} is not on the accessibility bus: its toolkit offers no accessibility (as "
                       "xterm's, or LibreOffice's X11 backend), or it started before accessibility was turned on "
                       "and must be restarted.\n",
                       describe(app));
        else
            fmt::print(stderr,
                       "hintboard: {} shows no menu bar to accessibility: it may have none (a header bar or a "
                       "menu button instead), or keep it in a form that cannot be read.\n",
                       describe(app));
        if (!quit)
            fmt::print(stderr, "No shortcuts window was found either: its program holds none in its resources, or "
                               "cannot be read.\n");
        return noMenuBar;
    }
    if (quit || stalled)
        fmt::print(stderr, "hintboard: {} {} during the read; the list is incomplete.\n", describe(app),
                   quit ? "quit" : "stopped answering");

    auto shown = shownSections(sections, options.all, labels);
    if (options.json)
        printJSON({{"application", applicationJSON(app)}}, shown, options.all);
    else
        printText(describe(app), shown,
                  options.all ? "The menu bar holds no items."
                              : "No menu item has a keyboard shortcut (--all lists every item).");
    return success;
}

} // namespace hb::app
