// A first launch reaches the update feed only once the user has passed the
// wizard's step that decides automatic checks; a setting changed through
// synchronisation afterwards reaches it not at all; a copy that the package
// manager installed reaches it never. A feed server on 127.0.0.1 counts the
// requests.
#include "tray_application.h"

#include "platform/fake/memory_log.h"
#include "platform/linux/plist_file_settings_domain.h"
#include "settings/settings_keys.h"
#include "settings/settings_sync.h"
#include "settings/sync_state.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace hb::e2e {
namespace {

using namespace std::chrono_literals;

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

class UpdatesConsent : public TrayApplication {
protected:
    void SetUp() override {}

    // Through the wizard's first two steps to its last one, which decides automatic checks.
    void passWizardToItsLastStep(const std::string& file)
    {
        ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Welcome to Hintboard").has_value(); }));
        run("xdotool windowactivate --sync " + hintboardWindowNamed("Welcome to Hintboard")->id);
        run("xdotool key Return");  // "Get started"
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 1; }));
        run("xdotool key Return");  // past the permission step, which the session's accessibility satisfies
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 2; }));
        run("xdotool key Return");  // past the trigger step
        ASSERT_TRUE(DesktopSession::waitUntil([&] { return storedInteger(file, "onboardingResumeStep") == 3; }));
    }
};

TEST_F(UpdatesConsent, NoRequestBeforeTheWizardsUpdateStepThenOneAndNoneForASynchronisedChange)
{
    FeedServer feed;
    ASSERT_TRUE(feed.isListening());
    const std::string config = freshConfigFolder("updates-consent");
    const std::filesystem::path syncFolder = std::filesystem::path(config) / "sync";
    std::filesystem::create_directories(syncFolder);
    const std::string file = settingsFile(config);
    writeSettings(file, {{keys::iCloudSyncEnabled, true},
                        {keys::syncFolderPath, syncFolder.string()},
                        {keys::updateFeedAddress, feed.address()}});

    startHintboard({{"XDG_CONFIG_HOME", config}, {"HINTBOARD_PACKAGE_MANAGED", "0"}});
    passWizardToItsLastStep(file);
    screenshot("updates-consent-last-step.png");
    EXPECT_EQ(feed.requests(), 0) << "a request before the user decided on automatic checks";

    run("xdotool key Return");  // "Done", automatic checks left on
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

TEST_F(UpdatesConsent, ACopyThePackageManagerInstalledMakesNoRequestAtAll)
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

    click(*trayIcon(), 3);
    ASSERT_TRUE(DesktopSession::waitUntil([] { return shownMenu().has_value(); })) << "no status menu";
    run("xdotool key --delay 150 Down Down Return");  // "Show Shortcuts", then "Check for Updates…"
    ASSERT_TRUE(DesktopSession::waitUntil([] { return hintboardWindowNamed("Software Update").has_value(); }));
    screenshot("updates-from-package-manager.png");
    EXPECT_FALSE(DesktopSession::waitUntil([&] { return feed.requests() > 0; }, 2s));
    EXPECT_EQ(feed.requests(), 0);
}

} // namespace
} // namespace hb::e2e
