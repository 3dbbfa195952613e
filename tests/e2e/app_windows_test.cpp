// The application's own windows in the private session, as a user and a
// screen reader meet them: the welcome wizard on a first launch, the quiz over
// mousepad, the settings window, and a settings backup carried into a fresh
// settings folder. Screenshots of each window are written beside the test.
#include "accessible_tree.h"
#include "menu_rows.h"
#include "tray_application.h"

#include "fake/memory_log.h"
#include "linux/plist_file_settings_domain.h"
#include "settings/settings_keys.h"
#include "settings/settings_sync.h"
#include "settings/sync_state.h"

#include <arpa/inet.h>
#include <atspi/atspi.h>
#include <gmock/gmock.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;
using testing::AnyOf;
using testing::ElementsAre;
using testing::Eq;

// Command titles of mousepad's menus with their keys, as `hintboard shortcuts` reads them.
std::map<std::string, std::string> mousepadShortcuts()
{
    std::map<std::string, std::string> keys;
    for (const auto& row : jsonRows(hintboardCommand("shortcuts --app mousepad --json").output))
        keys.emplace(row.title, row.keys);
    return keys;
}

long long countSaid(const std::vector<std::string>& said, const std::string& text)
{
    return std::ranges::count_if(said, [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

// The keys of a notation such as "⇧⌃S" as xdotool names them; none for keys
// this test does not know.
std::optional<std::string> xdotoolKeys(std::string notation)
{
    static const std::pair<std::string, std::string> modifiers[] = {
        {"⌃", "ctrl"}, {"⌥", "alt"}, {"⇧", "shift"}, {"⌘", "super"}};
    static const std::map<std::string, std::string> named = {
        {"+", "plus"}, {"-", "minus"}, {"=", "equal"}, {"/", "slash"}, {",", "comma"}, {".", "period"},
        {"⇥", "Tab"}, {"↩", "Return"}, {"⌫", "BackSpace"}, {"⌦", "Delete"}, {"⇞", "Prior"}, {"⇟", "Next"},
        {"Space", "space"}};
    std::string keys;
    for (bool found = true; found;) {
        found = false;
        for (const auto& [glyph, name] : modifiers)
            if (notation.starts_with(glyph)) {
                keys += name + "+";
                notation.erase(0, glyph.size());
                found = true;
            }
    }
    if (notation.size() == 1 && std::isalnum(static_cast<unsigned char>(notation[0])))
        return keys + char(std::tolower(static_cast<unsigned char>(notation[0])));
    if (std::regex_match(notation, std::regex("F[0-9]{1,2}")))
        return keys + notation;
    if (auto name = named.find(notation); name != named.end())
        return keys + name->second;
    return std::nullopt;
}

bool contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Answers every request with a feed whose only release is this version's, and
// counts them. Serves at most `maximumRequests` and stops with the test.
class FeedServer {
public:
    static constexpr int maximumRequests = 50;

    FeedServer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~FeedServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            close(listener_);
    }

    bool isListening() const { return port_ != 0; }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_) + "/appcast.xml"; }
    int requests() const { return requests_; }

private:
    void serve()
    {
        while (!stop_ && requests_ < maximumRequests) {
            pollfd ready{listener_, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0)
                continue;
            const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
                pollfd readable{connection, POLLIN, 0};
                if (poll(&readable, 1, 2000) <= 0)
                    break;
                const ssize_t count = read(connection, buffer, sizeof buffer);
                if (count <= 0)
                    break;
                request.append(buffer, std::size_t(count));
            }
            ++requests_;
            const std::string feed =
                "<?xml version=\"1.0\"?><rss version=\"2.0\" "
                "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel><item>"
                "<sparkle:version>0.0.1</sparkle:version><link>https://example.org/</link></item></channel></rss>";
            const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                                         std::to_string(feed.size()) + "\r\nConnection: close\r\n\r\n" + feed;
            [[maybe_unused]] const ssize_t written = write(connection, response.data(), response.size());
            close(connection);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_ = false;
    std::atomic<int> requests_ = 0;
    std::thread thread_;
};

// Another computer's file in the sync folder, with the value of its change,
// later than any change here.
void writeSyncedRecord(const std::filesystem::path& folder, std::string_view key, bool value)
{
    const auto later = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch() + std::chrono::minutes(1))
                           .count();
    SyncState state;
    state.recordEdit(key, platform::PlistValue(value), SyncStamp{.milliseconds = later, .machine = "other"});
    const auto record = platform::serializePropertyList(encodeSyncState(state, "other"), platform::PlistFormat::xml);
    const auto temporary = folder / ".hintboard-other.plist.part";
    std::ofstream(temporary) << record.value_or("");
    std::filesystem::rename(temporary, folder / (std::string(SettingsSync::filePrefix) + "other.plist"));
}

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
    void passWizardToItsLastStep(const std::string& file, const std::function<void(int)>& atStep = [](int) {})
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
    // A screenshot once the step's transition has ended.
    void stepScreenshot(const std::string& name)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        screenshot(name);
    }
};

// A first launch reaches the update feed only once the user has passed the
// wizard's step that decides automatic checks; a setting changed through
// synchronisation afterwards reaches it not at all. A feed server on
// 127.0.0.1 counts the requests.
TEST_F(AppWindows, FirstLaunchWizardByKeyboardIsAnnouncedAsksTheFeedOnlyWhenDoneThenTheReadyHint)
{
    FeedServer feed;
    ASSERT_TRUE(feed.isListening());
    const std::string config = freshConfigFolder("first-launch");
    const std::filesystem::path syncFolder = std::filesystem::path(config) / "sync";
    std::filesystem::create_directories(syncFolder);
    const std::string file = settingsFile(config);
    writeSettings(file, {{keys::iCloudSyncEnabled, true},
                        {keys::syncFolderPath, syncFolder.string()},
                        {keys::updateFeedAddress, feed.address()}});
    startHintboard({{"XDG_CONFIG_HOME", config}, {"HINTBOARD_PACKAGE_MANAGED", "0"}});
    // Its pages are announced as they come, once each.
    Announcements announcements(hintboard);
    passWizardToItsLastStep(file, [&](int step) {
        if (step == 1 || step == 2) {
            const std::string page = "Step " + std::to_string(step + 1) + " of 4";
            EXPECT_TRUE(announcements.waitFor(page)) << testing::PrintToString(announcements.said());
            EXPECT_EQ(countSaid(announcements.said(), page), 1) << testing::PrintToString(announcements.said());
        }
        stepScreenshot("wizard-" + std::to_string(step + 1) + ".png");
    });
    EXPECT_EQ(feed.requests(), 0) << "a request before the user decided on automatic checks";

    run("xdotool key Return");  // "Done", automatic checks left on
    EXPECT_TRUE(DesktopSession::waitUntil([] { return !hintboardWindowNamed("Welcome to Hintboard"); }));
    EXPECT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Hintboard is ready").has_value(); }))
        << "no ready hint at the status icon";
    screenshot("ready-hint.png");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, "didShowOnboardingWizard"); }));
    EXPECT_EQ(storedInteger(file, "onboardingResumeStep"), -1);
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return feed.requests() >= 1; }));
    EXPECT_EQ(feed.requests(), 1);

    // Another computer switches on beta releases; once this one has taken the
    // value, the former one-second reset would have asked the feed again.
    writeSyncedRecord(syncFolder, keys::receiveBetaUpdates, true);
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, std::string(keys::receiveBetaUpdates)); }))
        << "the synchronised value did not arrive";
    EXPECT_FALSE(DesktopSession::waitUntil([&] { return feed.requests() > 1; }, 3s));
    EXPECT_EQ(feed.requests(), 1);
}

TEST_F(AppWindows, QuizOverMousepadAnsweredByTypingTheRealShortcut)
{
    startHintboard();
    const auto shortcuts = mousepadShortcuts();
    ASSERT_FALSE(shortcuts.empty());

    chooseFromStatusMenu(3);
    std::optional<Window> quiz;
    ASSERT_TRUE(DesktopSession::waitUntil([&] {
        for (const auto& window : visibleHintboardWindows())
            if (run("xprop -id " + window.id + " WM_NAME").find("\"Quiz Mode — ") != std::string::npos)
                quiz = window;
        return quiz.has_value();
    })) << "no quiz window";
    activate(*quiz);
    screenshot("quiz-over-mousepad.png");
    // The quiz announces its questions and its feedback.
    Announcements announcements(hintboard);

    // Questions come in a random order: answer the first one whose keys xdotool can type.
    bool answered = false;
    for (int question = 0; question < 12 && !answered; ++question) {
        std::optional<std::string> keys;
        ASSERT_TRUE(DesktopSession::waitUntil([&] {
            const auto names = accessibleNames(hintboard);
            if (!contains(names, "Press the shortcut…"))
                return false;
            for (const auto& name : names)
                if (auto row = shortcuts.find(name); row != shortcuts.end()) {
                    keys = xdotoolKeys(row->second);
                    return true;
                }
            return false;
        })) << "no question from mousepad's menus";
        run("xdotool key " + keys.value_or("ctrl+alt+shift+F12"));
        // The verdict is taken as it shows: the next question replaces it after a short pause.
        bool right = false;
        ASSERT_TRUE(DesktopSession::waitUntil([&] {
            const auto names = accessibleNames(hintboard);
            right = contains(names, "Right");
            return right || contains(names, "Wrong");
        }));
        EXPECT_TRUE(announcements.waitFor(right ? "Right: " : "Wrong. You pressed"))
            << testing::PrintToString(announcements.said());
        if (keys) {
            EXPECT_TRUE(right) << "typed " << *keys;
            screenshot("quiz-answered.png");
            answered = true;
        } else {
            run("xdotool key space");  // skips the pause
            // The next question replaces this one's feedback before it is answered.
            ASSERT_TRUE(DesktopSession::waitUntil([&] {
                const auto names = accessibleNames(hintboard);
                return !contains(names, "Right") && !contains(names, "Wrong");
            }));
        }
    }
    EXPECT_TRUE(answered);
    run("xdotool key Escape");
    EXPECT_TRUE(DesktopSession::waitUntil([&] { return !hintboardWindowNamed(run("xdotool getwindowname " + quiz->id)); }));
}

enum class Place { at, before, after };

// Reading by character, word, sentence or line asks for the text at, before
// and after the caret; Qt 6.4's own line edit looped for good on a word at the
// end of the text.
TEST_F(AppWindows, FilterAnswersEveryPieceOfEveryText)
{
    startHintboard();
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Filter").has_value(); }));
    const char* samples[] = {"", "   ", "save as", "👍🏽 ok 👨‍👩‍👧", "e\u0301te\u0301 cafe\u0301", "שלום עולם", "save."};
    int answers = 0;
    std::chrono::microseconds slowest{0};
    std::string seenAtEnd;
    ASSERT_TRUE(withAccessible(hintboard, "Filter", [&](AtspiAccessible* filter) {
        AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(filter);
        AtspiText* text = atspi_accessible_get_text_iface(filter);
        ASSERT_TRUE(editable && text);
        for (const char* sample : samples) {
            GError* error = nullptr;
            atspi_editable_text_set_text_contents(editable, sample, &error);
            ASSERT_EQ(error, nullptr) << error->message;
            const int count = atspi_text_get_character_count(text, &error);
            ASSERT_EQ(error, nullptr) << error->message;
            gchar* contents = atspi_text_get_text(text, 0, count, nullptr);
            EXPECT_STREQ(contents, sample);
            g_free(contents);
            for (int type = ATSPI_TEXT_BOUNDARY_CHAR; type <= ATSPI_TEXT_BOUNDARY_LINE_END; ++type)
                for (int offset = 0; offset <= count; ++offset)
                    for (Place place : {Place::at, Place::before, Place::after}) {
                        const auto boundary = AtspiTextBoundaryType(type);
                        const auto started = std::chrono::steady_clock::now();
                        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
                        AtspiTextRange* range =
                            place == Place::at       ? atspi_text_get_text_at_offset(text, offset, boundary, &error)
                            : place == Place::before ? atspi_text_get_text_before_offset(text, offset, boundary, &error)
                                                     : atspi_text_get_text_after_offset(text, offset, boundary, &error);
                        G_GNUC_END_IGNORE_DEPRECATIONS
                        slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::microseconds>(
                                                        std::chrono::steady_clock::now() - started));
                        ASSERT_EQ(error, nullptr) << sample << " boundary " << type << " offset " << offset << ": "
                                                  << error->message;
                        ASSERT_NE(range, nullptr);
                        EXPECT_LE(range->start_offset, range->end_offset) << sample << " " << type << " " << offset;
                        if (std::string(sample) == "save as" && boundary == ATSPI_TEXT_BOUNDARY_WORD_START &&
                            place == Place::at && offset == count)
                            seenAtEnd = range->content;
                        g_boxed_free(ATSPI_TYPE_TEXT_RANGE, range);
                        ++answers;
                    }
        }
        g_object_unref(editable);
        g_object_unref(text);
    }));
    EXPECT_EQ(seenAtEnd, "as");
    RecordProperty("answers", answers);
    RecordProperty("slowest_us", int(slowest.count()));
    std::printf("%d answers, the slowest in %lld us\n", answers, static_cast<long long>(slowest.count()));
    EXPECT_TRUE(closeWithEscape());
}

// The settings window is a frame named by its title; Tab through its first
// page reaches controls whose window is that frame, active, with no other
// frame between them and it; the page selector is a list of page tabs.
TEST_F(AppWindows, SettingsFocusChangesArriveInTheirActiveNamedWindow)
{
    startHintboard();
    ASSERT_TRUE(openWithHotKey());
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return findAccessible(hintboard, "Settings").has_value(); }));
    for (const auto& window : accessibleWindows(hintboard))
        EXPECT_THAT(window.role, AnyOf(Eq("frame"), Eq("dialog"))) << window.name;

    EXPECT_TRUE(closeWithEscape());

    openSettings();
    FocusEvents events(hintboard);
    std::vector<FocusedElement> focused;
    for (int tab = 0; tab < 12; ++tab) {
        run("xdotool key Tab");
        if (events.waitForFocusOn("")) {
            focused.insert(focused.end(), events.focusedElements().begin(), events.focusedElements().end());
        }
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

    bool settingsWindow = false;
    for (const auto& window : accessibleWindows(hintboard)) {
        EXPECT_THAT(window.role, AnyOf(Eq("frame"), Eq("dialog"))) << window.name;
        settingsWindow = settingsWindow || window.name == "Hintboard Settings";
    }
    EXPECT_TRUE(settingsWindow);
    std::vector<std::string> tabs;
    for (const auto& element : accessibleDescendantsOf(hintboard, "page tab list"))
        if (element.role == "page tab")
            tabs.push_back(element.name + (element.selected ? " (selected)" : ""));
    EXPECT_THAT(tabs, ElementsAre("General (selected)", "Popup", "Ignored", "Developer"));
    run("xdotool key ctrl+w");
}

TEST_F(AppWindows, ACopyThePackageManagerInstalledMakesNoRequestAtAll)
{
    FeedServer feed;
    ASSERT_TRUE(feed.isListening());
    const std::string config = freshConfigFolder("updates-package");
    const std::string file = settingsFile(config);
    // Automatic checks switched on elsewhere and synchronised here change nothing.
    writeSettings(file, {{keys::updateFeedAddress, feed.address()}, {keys::automaticUpdateChecks, true}});

    startHintboard({{"XDG_CONFIG_HOME", config}, {"HINTBOARD_PACKAGE_MANAGED", "1"}});
    passWizardToItsLastStep(file);
    run("xdotool key Return");  // "Done"
    ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedTrue(file, "didShowOnboardingWizard"); }));
    // A copy of its own asks the feed at once here (the test above). Meanwhile
    // the finished wizard opens the popup, which goes before the menu is used.
    EXPECT_FALSE(DesktopSession::waitUntil([&] { return feed.requests() > 0; }, 3s));
    DesktopSession::waitUntil(popupShown, 2s);
    closeWithEscape();

    chooseFromStatusMenu(2);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Software Update").has_value(); }));
    screenshot("updates-from-package-manager.png");
    EXPECT_FALSE(DesktopSession::waitUntil([&] { return feed.requests() > 0; }, 2s));
    EXPECT_EQ(feed.requests(), 0);
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

} // namespace
} // namespace hb::e2e
