// The application's own windows in the private session, as a user and a
// screen reader meet them: the welcome wizard on a first launch, the status
// menu (popped up at the tray icon and read by a status notifier host), the
// quiz over mousepad, the settings window, and a settings backup carried into
// a fresh settings folder.
#include "accessible_tree.h"
#include "bus_service.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/plist_file_settings_domain.h"
#include "settings/settings_keys.h"

#include <gio/gio.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using testing::IsSupersetOf;

long long countSaid(const std::vector<std::string>& said, const std::string& text)
{
    return std::ranges::count_if(said, [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

bool contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A feed on 127.0.0.1 whose only release is this version's, served by python's
// http.server, which logs each request.
struct Feed {
    explicit Feed(const std::string& name)
    {
        const std::string folder = freshConfigFolder(name);
        std::ofstream(folder + "/appcast.xml")
            << "<?xml version=\"1.0\"?><rss version=\"2.0\" "
               "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
               "sparkle\"><channel><item><sparkle:version>0.0.1</sparkle:version><link>https://example.org/</link>"
               "</item></channel></rss>";
        log = folder + "/requests.log";
        pid = DesktopSession::shared().launch(
            {"sh", "-c",
             "exec python3 -u -m http.server 0 --bind 127.0.0.1 --directory " + folder + " >" + log + " 2>&1"});
        std::string port;
        DesktopSession::waitUntil([&] {
            const std::string text = DesktopSession::fileText(log);
            std::smatch found;
            if (std::regex_search(text, found, std::regex("port ([0-9]+)")))
                port = found[1].str();
            return !port.empty();
        });
        address = port.empty() ? "" : "http://127.0.0.1:" + port + "/appcast.xml";
    }
    ~Feed() { DesktopSession::shared().stopApplication(pid); }
    long requests() const
    {
        const std::string text = DesktopSession::fileText(log);
        long count = 0;
        for (auto at = text.find("GET /appcast.xml"); at != std::string::npos;
             at = text.find("GET /appcast.xml", at + 1))
            ++count;
        return count;
    }

    pid_t pid = -1;
    std::string log, address;
};

// Settings written before the first launch.
void writeSettings(const std::string& file, const std::map<std::string_view, platform::PlistValue>& values)
{
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    auto opened = linux_platform::PlistFileSettingsDomain::open(file, log);
    ASSERT_TRUE(opened.domain) << opened.error;
    for (const auto& [key, value] : values)
        opened.domain->set(key, value);
}

// Starts hintboard by hand in each test, with settings of the test's choice.
class AppWindows : public TrayApplication {
protected:
    void SetUp() override {}

    void activate(const Window& window) { run("xdotool windowactivate --sync " + window.id); }
    // The status menu's entry below "Show Shortcuts", "Check for Updates…", "Quiz Mode…", "Settings…".
    void chooseFromStatusMenu(int downs)
    {
        click(*trayIcon(), 3);
        ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
        // Menus are not in the accessibility tree: the keyboard picks the entry.
        std::string keys;
        for (int down = 0; down < downs; ++down)
            keys += " Down";
        run("xdotool key --delay 150" + keys + " Return");
    }
    void openSettings()
    {
        chooseFromStatusMenu(4);
        ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard Settings").has_value(); }));
        activate(*hintboardWindowNamed("Hintboard Settings"));
    }
    // Through the wizard's first three steps to its last one, which decides automatic checks;
    // `atStep` runs as each step shows.
    void passWizardToItsLastStep(
        const std::string& file, const std::function<void(int)>& atStep = [](int) {})
    {
        ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }))
            << "no wizard on the first launch";
        activate(*hintboardWindowNamed("Welcome to Hintboard"));
        atStep(0);
        // "Get started", past the permission step (which the session's accessibility satisfies), past the trigger step.
        for (int step = 1; step <= 3; ++step) {
            run("xdotool key Return");
            ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == step; }))
                << "step " << step << " did not come";
            atStep(step);
        }
    }
};

// A first launch reaches the update feed only once the user has passed the
// wizard's step that decides automatic checks.
TEST_F(AppWindows, FirstLaunchWizardByKeyboardIsAnnouncedAsksTheFeedOnlyWhenDoneThenTheReadyHint)
{
    Feed feed("first-launch-feed");
    ASSERT_FALSE(feed.address.empty());
    const std::string config = freshConfigFolder("first-launch");
    const std::string file = settingsFile(config);
    writeSettings(file, {{keys::updateFeedAddress, feed.address}});
    startHintboard({{"XDG_CONFIG_HOME", config}, {"HINTBOARD_PACKAGE_MANAGED", "0"}});
    // Its pages are announced as they come, once each.
    Announcements announcements(hintboard);
    passWizardToItsLastStep(file, [&](int step) {
        if (step == 1 || step == 2) {
            const std::string page = "Step " + std::to_string(step + 1) + " of 4";
            EXPECT_TRUE(announcements.waitFor(page)) << testing::PrintToString(announcements.said());
            EXPECT_EQ(countSaid(announcements.said(), page), 1) << testing::PrintToString(announcements.said());
        }
    });
    EXPECT_EQ(feed.requests(), 0) << "a request before the user decided on automatic checks";

    run("xdotool key Return"); // "Done", automatic checks left on
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Welcome to Hintboard"); }));
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard is ready").has_value(); }))
        << "no ready hint at the status icon";
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, "didShowOnboardingWizard"); }));
    EXPECT_EQ(storedInteger(file, "onboardingResumeStep"), -1);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return feed.requests() >= 1; }));
    EXPECT_FALSE(DesktopSession::waitUntil([&] { return feed.requests() > 1; }, 2s));
}

// Questions come in a random order: wrong answers lead to one whose keys xdotool
// can press. Each feedback is said once, then the next question once; nothing is
// said again as a description of the focused element.
TEST_F(AppWindows, QuizOverMousepadAnsweredByTypingTheRealShortcutIsSaidOnce)
{
    startHintboard();
    std::map<std::string, std::string> labels; // "Ctrl+Shift+N" by title
    for (const auto& row : jsonRows(hintboardCommand("shortcuts --app mousepad --json").output))
        labels.emplace(row.title, row.label);
    ASSERT_FALSE(labels.empty());
    Announcements announcements(hintboard, true);
    run(std::string(HINTBOARD_EXECUTABLE) + " quiz");
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Quiz Mode — Mousepad").has_value(); }))
        << DesktopSession::windowTitles(hintboard);
    activate(*hintboardWindowNamed("Quiz Mode — Mousepad"));
    ASSERT_TRUE(announcements.waitFor("Press the shortcut")) << testing::PrintToString(announcements.said());
    run("xdotool key ctrl+alt+shift+F12");
    ASSERT_TRUE(announcements.waitFor("You pressed")) << testing::PrintToString(announcements.said());

    static const std::regex pressable(R"(((Ctrl|Alt|Shift|Super)\+)*([A-Z0-9]|F[0-9]+))");
    int questions = 1;
    bool answeredRight = false;
    while (!answeredRight && questions < 12) {
        Announcements next(hintboard);
        ASSERT_TRUE(next.waitFor("Press the shortcut")) << testing::PrintToString(next.said());
        ++questions;
        const std::string question = next.said().back();
        std::string keys = labels[question.substr(0, question.find(", in "))];
        if (!std::regex_match(keys, pressable))
            keys.clear();
        // xdotool's key names: lower case, but for function keys ("ctrl+F5").
        std::ranges::transform(keys, keys.begin(), [](unsigned char c) { return std::tolower(c); });
        if (const auto key = keys.rfind('+') + 1; key + 1 < keys.size() && keys[key] == 'f')
            keys[key] = 'F';
        run("xdotool key " + (keys.empty() ? std::string("ctrl+alt+shift+F12") : keys));
        ASSERT_TRUE(next.waitFor(keys.empty() ? "You pressed" : "Right: ")) << question << ": " << keys;
        answeredRight = !keys.empty();
    }
    ASSERT_TRUE(answeredRight);
    Announcements last(hintboard);
    EXPECT_TRUE(last.waitFor("Press the shortcut")) << testing::PrintToString(last.said());
    last.waitFor("said again", std::chrono::seconds(1));
    const auto& heard = announcements.said();
    EXPECT_EQ(countSaid(heard, "Right: "), 1) << testing::PrintToString(heard);
    EXPECT_EQ(countSaid(heard, "You pressed"), questions - 1) << testing::PrintToString(heard);
    EXPECT_EQ(countSaid(heard, "Press the shortcut"), questions + 1) << testing::PrintToString(heard);
    screenshot("quiz-after-answers.png");
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Quiz Mode — Mousepad"); }));
}

// Tab through the settings window's first page reaches controls whose window
// is that frame, named by its title and active, with no other frame between them.
TEST_F(AppWindows, SettingsFocusChangesArriveInTheirActiveNamedWindow)
{
    startHintboard();
    openSettings();
    FocusEvents events(hintboard);
    std::vector<FocusedElement> focused;
    for (int tab = 0; tab < 12; ++tab) {
        run("xdotool key Tab");
        if (events.waitForFocusOn(""))
            focused.insert(focused.end(), events.focusedElements().begin(), events.focusedElements().end());
    }
    EXPECT_GE(focused.size(), 10u);
    for (const auto& element : focused) {
        ASSERT_FALSE(element.enclosingRoles.empty()) << element.name;
        EXPECT_EQ(element.enclosingRoles.back(), "frame") << element.name;
        EXPECT_EQ(element.windowName, "Hintboard Settings") << element.name;
        EXPECT_TRUE(element.windowActive) << element.name;
        EXPECT_EQ(std::count_if(element.enclosingRoles.begin(), element.enclosingRoles.end() - 1,
                                [](const std::string& role) { return role == "frame" || role == "dialog"; }),
                  0)
            << element.name << ": " << testing::PrintToString(element.enclosingRoles);
    }
    screenshot("settings-after-tabs.png");
    run("xdotool key ctrl+w");
}

// The popup's size over mousepad once it has settled: it follows the rows the settings let through.
std::optional<std::pair<int, int>> popupSizeOverMousepad()
{
    if (!openWithHotKey())
        return std::nullopt;
    const auto size = [] {
        std::optional<std::pair<int, int>> found;
        for (const auto& window : visibleHintboardWindows())
            if (!window.isMenu && window.width >= 200 && window.height >= 100)
                found = std::pair(window.width, window.height);
        return found;
    };
    auto settled = size();
    DesktopSession::waitUntil([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return std::exchange(settled, size()) == settled;
    });
    closeWithEscape();
    return settled;
}

TEST_F(AppWindows, BackupExportedAndImportedIntoFreshSettingsGivesTheSamePopup)
{
    const std::string backup = DesktopSession::shared().folder() + "/carried.hintboardsettings";
    std::filesystem::remove(backup);
    // Types a path into the file dialog that the button opened.
    const auto chooseFile = [this](const std::string& button, const std::string& path) {
        ASSERT_TRUE(pressAccessible(hintboard, button));
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return visibleHintboardWindows().size() >= 3; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run("xdotool type --delay 20 '" + path + "'");
        run("xdotool key Return");
    };

    // Settings of one computer: every menu entry shown, so the popup is larger than by default.
    const std::string first = freshConfigFolder("backup-first");
    seedSettings(first, {keys::didShowOnboardingWizard, keys::showAllMenuItems});
    startHintboard({{"XDG_CONFIG_HOME", first}});
    const auto exportedPopup = popupSizeOverMousepad();
    ASSERT_TRUE(exportedPopup);
    openSettings();
    screenshot("settings-over-mousepad.png");
    chooseFile("Export Settings…", backup);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return std::filesystem::exists(backup); })) << "nothing exported";
    TearDown();

    // A fresh computer: the default popup, then the imported one.
    const std::string second = freshConfigFolder("backup-second");
    seedSettings(second, {keys::didShowOnboardingWizard});
    startHintboard({{"XDG_CONFIG_HOME", second}});
    const auto defaultPopup = popupSizeOverMousepad();
    ASSERT_TRUE(defaultPopup);
    EXPECT_NE(*defaultPopup, *exportedPopup);
    openSettings();
    chooseFile("Import Settings…", backup);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return contains(accessibleNames(hintboard), "Later"); }))
        << "no \"Settings Imported\" alert";
    screenshot("settings-imported.png");
    ASSERT_TRUE(pressAccessible(hintboard, "Later"));
    // Qt clicks a button pressed over AT-SPI only a moment later; keys typed before then go to the alert.
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return !contains(accessibleNames(hintboard), "Later"); }))
        << "the alert stayed after \"Later\"";
    run("xdotool key ctrl+w");
    EXPECT_TRUE(storedTrue(settingsFile(second), "showAllMenuItems"));
    ASSERT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Hintboard Settings"); }));
    run("xdotool search --onlyvisible --class mousepad windowactivate --sync");
    const auto importedPopup = popupSizeOverMousepad();
    ASSERT_TRUE(importedPopup);
    EXPECT_EQ(*importedPopup, *exportedPopup);
}

// A StatusNotifierWatcher with a host, as a panel offers it: Qt then speaks
// StatusNotifierItem instead of XEmbed and registers its item here.
struct StatusNotifierWatcher {
    // The first item registered, waited for.
    std::string item()
    {
        std::string first;
        DesktopSession::waitUntil([&] {
            std::lock_guard lock(mutex);
            return !items.empty() && !(first = items.front()).empty();
        });
        return first;
    }

    std::mutex mutex;
    std::vector<std::string> items;
    BusService service{"org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                       R"(<node><interface name="org.kde.StatusNotifierWatcher">
                            <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
                            <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
                          </interface></node>)",
                       [this](const std::string& sender, const std::string& method, GVariant* parameters) -> GVariant* {
                           if (method.starts_with("Get "))
                               return g_variant_new_boolean(true);
                           const gchar* service = nullptr;
                           g_variant_get(parameters, "(&s)", &service);
                           // An item names its bus name, or only its path on the caller's connection.
                           std::lock_guard lock(mutex);
                           items.push_back(service && service[0] != '/' ? service : sender);
                           return nullptr;
                       }};
};

// A panel that draws status items reads the menu over the bus after telling it
// that it opens: each entry with its keys, and a chosen entry runs.
TEST_F(AppWindows, StatusNotifierHostReadsEachMenuEntryWithItsKeys)
{
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.service.owned()) << "another watcher runs in this session";
    hintboard = session->launch({HINTBOARD_EXECUTABLE});
    const std::string item = watcher.item();
    ASSERT_FALSE(item.empty()) << "no status item registered";
    EXPECT_FALSE(trayIcon()) << "embedded as well";

    const auto call = [&](const std::string& path, const std::string& method, const std::string& arguments) {
        return run("gdbus call --session --dest " + item + " --object-path " + path + " --method " + method + " "
                   + arguments);
    };
    std::smatch found;
    const std::string menuReply =
        call("/StatusNotifierItem", "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem Menu");
    ASSERT_TRUE(std::regex_search(menuReply, found, std::regex("objectpath '([^']+)'"))) << menuReply;
    const std::string menu = found[1];
    call(menu, "com.canonical.dbusmenu.AboutToShow", "0");
    const std::string layout = call(menu, "com.canonical.dbusmenu.GetLayout", "0 1 '[]'");
    // Each entry: "(id, {'label': <'Settings…'>, 'shortcut': <[['Control', ',']]>, …}, [])".
    std::map<std::string, std::string> keys;
    std::map<std::string, int> ids;
    static const std::regex entry(R"(\(([0-9]+), \{([^}]*)\})");
    for (std::sregex_iterator at(layout.begin(), layout.end(), entry), end; at != end; ++at) {
        const std::string properties = (*at)[2];
        std::smatch label, shortcut;
        if (!std::regex_search(properties, label, std::regex("'label': <'([^']*)'>")))
            continue;
        ids[label[1]] = std::stoi((*at)[1]);
        keys[label[1]] = std::regex_search(properties, shortcut, std::regex("'shortcut': <(\\[\\[[^>]*\\]\\])>"))
                             ? shortcut[1].str()
                             : "";
    }
    EXPECT_EQ(keys["Show Shortcuts"], "[['Super', 'Alt', 'K']]") << "the hot key; " << layout;
    EXPECT_EQ(keys["Settings…"], "[['Control', ',']]");
    EXPECT_EQ(keys["Quit Hintboard"], "[['Control', 'Q']]");
    EXPECT_EQ(keys["About Hintboard"], "");
    ASSERT_TRUE(ids.contains("Settings…")) << layout;
    call(menu, "com.canonical.dbusmenu.Event", std::to_string(ids["Settings…"]) + " clicked '<0>' 0");
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard Settings").has_value(); }));
    session->stopApplication(hintboard);
    hintboard = -1;
}

// The same menu popped up at an XEmbed tray icon, as a screen reader hears it
// going down the menu: items named by their titles alone, each with its keys
// as its key binding.
TEST_F(AppWindows, PoppedUpStatusMenuItemsAreSpokenWithTheirKeys)
{
    startHintboard();
    FocusEvents events(hintboard);
    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    run("xdotool key --delay 150 Down Down Down Down");
    EXPECT_TRUE(events.waitForFocusOn("Settings…")) << testing::PrintToString(events.focused());
    std::vector<std::string> said;
    for (const auto& element : events.focusedElements())
        said.push_back(element.role + ": " + element.name + " [" + element.keys + "]");
    EXPECT_THAT(said, IsSupersetOf({"menu item: Show Shortcuts [Meta+Alt+K]", "menu item: Settings… [Ctrl+,]",
                                    "menu item: Check for Updates… []"}));
    run("xdotool key Escape");
}

} // namespace
} // namespace hb::e2e
