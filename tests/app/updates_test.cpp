#include "updates/updates.h"

#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "settings/settings_keys.h"
#include "support/sync_machines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace hb {
namespace {

using namespace ::testing;
using platform::Seconds;
using Outcome = UpdateCheckResult::Outcome;

// A feed from tests/app/feeds.
std::string feed(const std::string& name)
{
    std::ifstream in(std::string(HINTBOARD_SOURCE_DIR) + "/tests/app/feeds/" + name);
    return {std::istreambuf_iterator<char>(in), {}};
}

const std::string releaseFeed = feed("releases.xml");

TEST(VersionComparison, ComparesPartByPart)
{
    const auto order = [](std::string_view a, std::string_view b) {
        return (compareVersions(a, b) > 0) - (compareVersions(a, b) < 0);
    };
    // clang-format off
    for (const auto& [a, b, expected] : std::vector<std::tuple<std::string, std::string, int>>{
             {"1.10", "1.9", 1}, {"1.0", "1.0.0", 0}, {"01.2", "1.2", 0}, {"1.0b1", "1.0", -1}, {"1.0a2", "1.0b1", -1},
             {"1.0.1", "1.0b1", 1}, {"99999999999999999999999", "9999999999999999999999", 1}, {"1", "", 1}, {"", "", 0}}) {
        // clang-format on
        EXPECT_EQ(order(a, b), expected) << a << " " << b;
        EXPECT_EQ(order(b, a), -expected) << b << " " << a;
    }

    // A build number outside the scheme gives way to the display version.
    const AppcastItem build{.version = "1234", .displayVersion = "0.0.9"};
    const AppcastItem dotted{.version = "0.2.0", .displayVersion = "0.2 (spring)"};
    EXPECT_EQ(releaseVersion(build), "0.0.9");
    EXPECT_EQ(releaseVersion(AppcastItem{.version = "7"}), "7") << "nothing else to go by";
    EXPECT_FALSE(newestAllowedItem({build}, "0.1.0", {}));
    EXPECT_EQ(newestAllowedItem({build, dotted}, "0.1.0", {})->version, "0.2.0");
}

TEST(Appcast, ReadsItemsAndRejectsBadFeeds)
{
    const AppcastParse parsed = parseAppcast(releaseFeed);
    ASSERT_THAT(parsed.error, IsEmpty());
    ASSERT_EQ(parsed.items.size(), 3u);
    EXPECT_EQ(parsed.items[1].releaseNotesLink, "https://example.org/notes/1.10");
    EXPECT_EQ(parsed.items[1].notes, "<p>Fixes</p>");

    // The version and address may come from the enclosure; other schemes are dropped.
    const AppcastParse enclosure = parseAppcast(feed("enclosures.xml"));
    ASSERT_EQ(enclosure.items.size(), 1u);
    EXPECT_EQ(enclosure.items[0].downloadLink, "https://example.org/h.deb");
    EXPECT_EQ(enclosure.items[0].displayVersion, "3.0");

    for (const std::string& bad : {std::string("<rss><channel><item>"), std::string("<feed><entry/></feed>"),
                                   std::string(), std::string(maximumAppcastSize + 1, ' ')})
        EXPECT_THAT(parseAppcast(bad).error, Not(IsEmpty()));
    for (std::size_t length = 0; length < releaseFeed.size(); ++length) {
        const AppcastParse cut = parseAppcast(std::string_view(releaseFeed).substr(0, length));
        EXPECT_TRUE(!cut.error.empty() || cut.items.size() <= 3u);
    }
}

class UpdatesTest : public ::testing::Test {
protected:
    Updater& updater(std::string running = "1.0", UpdateSource source = UpdateSource::feed)
    {
        updater_.reset();
        delegate_ = std::make_unique<UpdaterDelegate>(*domain);
        updater_ = std::make_unique<Updater>(UpdaterServices{
            .mainQueue = runtime,
            .settings = *domain,
            .log = log,
            .delegate = *delegate_,
            .runningVersion = std::move(running),
            .source = source,
            .defaultFeedAddress = defaultFeed,
            .downloadFeed =
                [this](const std::string& address, std::function<void(FeedDownload)> done) {
                    addresses.push_back(address);
                    runtime.post([this, done = std::move(done)] { done(download); });
                },
        });
        updater_->onUpdateFound = [this](const UpdateCheckResult& result) { found.push_back(result.update->version); };
        return *updater_;
    }
    UpdateCheckResult userCheck()
    {
        UpdateCheckResult result;
        updater_->checkForUpdates([&](const UpdateCheckResult& r) { result = r; });
        runtime.runMainQueue();
        return result;
    }
    std::size_t downloads() const { return addresses.size(); }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    platform::SettingsDomain* domain = &settings;
    FeedDownload download{.body = releaseFeed};
    std::unique_ptr<UpdaterDelegate> delegate_;
    std::unique_ptr<Updater> updater_;
    std::string defaultFeed = "https://example.org/appcast.xml";
    std::vector<std::string> addresses;
    std::vector<std::string> found;
};

TEST_F(UpdatesTest, OffersTheNewestItemOfTheAllowedChannelsFromTheChosenFeed)
{
    updater();
    EXPECT_EQ(userCheck().update->version, "1.2");
    settings.set(keys::receiveBetaUpdates, true);
    EXPECT_EQ(userCheck().update->version, "1.10");
    settings.set(keys::receiveAlphaUpdates, true);
    EXPECT_THAT(UpdaterDelegate(settings).allowedChannels(), ElementsAre("alpha", "beta"));
    settings.set(keys::receiveBetaUpdates, false);
    settings.set(keys::updateFeedAddress, "http://127.0.0.1:8000/appcast.xml");
    EXPECT_EQ(userCheck().update->version, "2.0a1");
    EXPECT_THAT(addresses, ElementsAre(defaultFeed, defaultFeed, "http://127.0.0.1:8000/appcast.xml"));

    updater("2.0");
    EXPECT_EQ(userCheck().outcome, Outcome::upToDate);
    download = {.error = "Host not found"};
    EXPECT_EQ(userCheck().error, "Host not found");

    // Without a feed nothing is asked.
    settings.remove(keys::updateFeedAddress);
    defaultFeed.clear();
    updater();
    EXPECT_THAT(userCheck().error, Not(IsEmpty()));
    EXPECT_EQ(downloads(), 5u);
}

TEST_F(UpdatesTest, ChecksAfterTheWizardAndDailyWhileAutomaticChecksAreOn)
{
    updater().start(); // the setting is absent: on
    runtime.advance(Updater::checkInterval * 2);
    EXPECT_EQ(downloads(), 0u) << "not before the user decided on automatic checks";
    settings.set(keys::didShowOnboardingWizard, true);
    runtime.runMainQueue();
    EXPECT_EQ(downloads(), 1u);
    EXPECT_THAT(found, ElementsAre("1.2"));
    runtime.advance(Updater::checkInterval - Seconds(1));
    EXPECT_EQ(downloads(), 1u);
    runtime.advance(Seconds(1));
    EXPECT_EQ(downloads(), 2u);
    EXPECT_THAT(found, ElementsAre("1.2")) << "a version is announced once";

    settings.set(keys::automaticUpdateChecks, false);
    runtime.advance(Updater::checkInterval * 3);
    EXPECT_EQ(downloads(), 2u);

    // No callback after the updater is gone.
    settings.set(keys::automaticUpdateChecks, true);
    updater().start();
    updater_.reset();
    runtime.advance(Updater::checkInterval);
    EXPECT_EQ(found.size(), 1u);
}

// Settings a peer changed arrive through the sync folder, and with a changed
// channel its notification, which the application answers with a cycle reset.
// None of it asks the feed, not even automatic checks turned on over there:
// the next daily check, counted from the change, asks for the new channel.
TEST_F(UpdatesTest, SettingsArrivingThroughSyncDoNotAskTheFeed)
{
    test::SyncMachine here{runtime, "here", Seconds(0)}, peer{runtime, "peer", Seconds(0)};
    test::SyncCopier copier{{&here, &peer}};
    const auto settle = [&] {
        for (int i = 0; i < 10; ++i) {
            runtime.advance(Seconds(2));
            copier.deliverAll();
            runtime.runMainQueue();
        }
    };
    here.settings.set(keys::didShowOnboardingWizard, true);
    here.settings.set(keys::automaticUpdateChecks, false);
    here.startProgram();
    peer.startProgram();
    domain = &here.settings;
    updater().start();
    const auto reset = [this] { updater_->resetUpdateCycleAfterShortDelay(); };
    here.notifications.addObserver(notifications::receiveBetaUpdatesChanged, reset);
    settle();

    runtime.advance(Seconds(3600));
    peer.settings.set(keys::pinnedShortcuts, platform::PlistArray{"a|Save|⌘S"});
    peer.settings.set(keys::receiveBetaUpdates, true);
    peer.settings.set(keys::automaticUpdateChecks, true);
    settle();
    ASSERT_TRUE(here.settings.boolean(keys::automaticUpdateChecks) && here.settings.boolean(keys::receiveBetaUpdates));
    EXPECT_EQ(downloads(), 0u);
    runtime.advance(Updater::checkInterval - Seconds(60));
    EXPECT_EQ(downloads(), 0u);
    runtime.advance(Seconds(60));
    EXPECT_EQ(downloads(), 1u);
    EXPECT_THAT(found, ElementsAre("1.10"));

    // Favourites changed over there every hour leave the daily check on time.
    for (int hour = 1; hour <= 24; ++hour) {
        peer.settings.set(keys::pinnedShortcuts, platform::PlistArray{"a|Save " + std::to_string(hour) + "|⌘S"});
        settle();
        runtime.advance(Seconds(3600 - 20));
    }
    runtime.advance(Seconds(60));
    EXPECT_EQ(downloads(), 2u);
    updater_.reset();
}

TEST_F(UpdatesTest, OffInTheWizardOrFromThePackageManagerOnlyTheUsersOwnCheckGoesOut)
{
    updater().start();
    settings.set(keys::automaticUpdateChecks, false);
    settings.set(keys::didShowOnboardingWizard, true);
    runtime.advance(Updater::checkInterval * 2);
    EXPECT_EQ(downloads(), 0u);
    userCheck();
    EXPECT_EQ(downloads(), 1u);

    settings.set(keys::automaticUpdateChecks, true);
    updater("1.0", UpdateSource::packageManager).start();
    EXPECT_FALSE(updater_->automaticChecksEnabled());
    runtime.advance(Updater::checkInterval * 2);
    updater_->resetUpdateCycleAfterShortDelay();
    runtime.advance(Updater::checkInterval * 2);
    EXPECT_EQ(userCheck().outcome, Outcome::fromPackageManager);
    EXPECT_EQ(downloads(), 1u);
}

} // namespace
} // namespace hb
