#include "app/updates.h"

#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Outcome = UpdateCheckResult::Outcome;

std::string item(std::string_view version, std::string_view channel)
{
    std::string text = "<item><title>Hintboard " + std::string(version) + "</title>";
    text += "<sparkle:version>" + std::string(version) + "</sparkle:version>";
    if (!channel.empty())
        text += "<sparkle:channel>" + std::string(channel) + "</sparkle:channel>";
    text += "<sparkle:releaseNotesLink>https://example.org/notes/" + std::string(version) +
            "</sparkle:releaseNotesLink>";
    text += "<link>https://example.org/download</link><description><![CDATA[<p>Fixes</p>]]></description></item>";
    return text;
}

std::string feed(const std::vector<std::string>& items)
{
    std::string text = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
                       "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
                       "<title>Hintboard</title>";
    for (const auto& i : items)
        text += i;
    return text + "</channel></rss>";
}

const std::string releaseFeed = feed({item("1.2", ""), item("1.10", "beta"), item("2.0a1", "alpha")});

class UpdatesTest : public ::testing::Test {
protected:
    Updater& updater(std::string running = "1.0", UpdateSource source = UpdateSource::feed)
    {
        updater_ = std::make_unique<Updater>(UpdaterServices{
            .mainQueue = runtime,
            .settings = settings,
            .log = log,
            .delegate = delegate,
            .runningVersion = std::move(running),
            .source = source,
            .defaultFeedAddress = defaultFeed,
            .downloadFeed = [this](const std::string& address, std::function<void(FeedDownload)> done) {
                ++downloads;
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

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    UpdaterDelegate delegate{settings};
    FeedDownload download{.body = releaseFeed};
    std::unique_ptr<Updater> updater_;
    std::string defaultFeed = "https://example.org/appcast.xml";
    int downloads = 0;
    std::vector<std::string> addresses;
    std::vector<std::string> found;
};

TEST(VersionComparison, ComparesPartByPart)
{
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_LT(compareVersions("1.9", "1.10"), 0);
    EXPECT_EQ(compareVersions("1.0", "1.0.0"), 0);
    EXPECT_EQ(compareVersions("01.2", "1.2"), 0);
    EXPECT_GT(compareVersions("1.0.1", "1.0"), 0);
    EXPECT_LT(compareVersions("1.0b1", "1.0"), 0);
    EXPECT_LT(compareVersions("1.0a2", "1.0b1"), 0);
    EXPECT_GT(compareVersions("1.0.1", "1.0b1"), 0);
    EXPECT_LT(compareVersions("2.0a1", "2.0"), 0);
    EXPECT_GT(compareVersions("99999999999999999999999", "9999999999999999999999"), 0);
    EXPECT_GT(compareVersions("1", ""), 0);
    EXPECT_EQ(compareVersions("", ""), 0);
}

TEST(Appcast, ReadsItemsAndRejectsBadFeeds)
{
    const AppcastParse parsed = parseAppcast(releaseFeed);
    ASSERT_THAT(parsed.error, IsEmpty());
    ASSERT_EQ(parsed.items.size(), 3u);
    EXPECT_EQ(parsed.items[1].version, "1.10");
    EXPECT_EQ(parsed.items[1].channel, "beta");
    EXPECT_EQ(parsed.items[1].releaseNotesLink, "https://example.org/notes/1.10");
    EXPECT_EQ(parsed.items[1].downloadLink, "https://example.org/download");
    EXPECT_EQ(parsed.items[1].notes, "<p>Fixes</p>");

    // The version and address may come from the enclosure; other schemes are dropped.
    const AppcastParse enclosure = parseAppcast(feed({
        "<item><enclosure url=\"https://example.org/h.deb\" sparkle:version=\"3\" "
        "sparkle:shortVersionString=\"3.0\"/></item>",
        "<item><sparkle:version>4</sparkle:version><link>file:///etc/passwd</link></item>",
        "<item><sparkle:version>5</sparkle:version><link>http://example.org/h.deb</link></item>",
        "<item><link>https://example.org/</link></item>",
    }));
    ASSERT_EQ(enclosure.items.size(), 1u);
    EXPECT_EQ(enclosure.items[0].downloadLink, "https://example.org/h.deb");
    EXPECT_EQ(enclosure.items[0].displayVersion, "3.0");

    EXPECT_THAT(parseAppcast("<rss><channel><item>").error, ::testing::Not(IsEmpty()));
    EXPECT_THAT(parseAppcast("<feed><entry/></feed>").error, ::testing::Not(IsEmpty()));
    EXPECT_THAT(parseAppcast("").error, ::testing::Not(IsEmpty()));
    EXPECT_THAT(parseAppcast(std::string(maximumAppcastSize + 1, ' ')).error, ::testing::Not(IsEmpty()));
    for (std::size_t length = 0; length < releaseFeed.size(); ++length) {
        const AppcastParse cut = parseAppcast(std::string_view(releaseFeed).substr(0, length));
        EXPECT_TRUE(!cut.error.empty() || cut.items.size() <= 3u);
    }
}

TEST_F(UpdatesTest, DelegateAllowsTheChosenChannels)
{
    EXPECT_THAT(delegate.allowedChannels(), IsEmpty());
    settings.set(keys::receiveBetaUpdates, true);
    settings.set(keys::receiveAlphaUpdates, true);
    EXPECT_THAT(delegate.allowedChannels(), ElementsAre("alpha", "beta"));
}

TEST(ReleaseVersion, ABuildNumberOutsideTheSchemeGivesWayToTheDisplayVersion)
{
    const AppcastItem build{.version = "1234", .displayVersion = "0.0.9"};
    EXPECT_EQ(releaseVersion(build), "0.0.9");
    EXPECT_TRUE(newestAllowedItem({build}, "0.1.0", {}) == std::nullopt) << "1234 is not newer than 0.1.0";
    const AppcastItem dotted{.version = "0.2.0", .displayVersion = "0.2 (spring)"};
    EXPECT_EQ(releaseVersion(dotted), "0.2.0");
    EXPECT_EQ(newestAllowedItem({build, dotted}, "0.1.0", {})->version, "0.2.0");
    EXPECT_EQ(releaseVersion(AppcastItem{.version = "7"}), "7") << "nothing else to go by";
}

TEST_F(UpdatesTest, OffersTheNewestItemOfTheAllowedChannels)
{
    updater();
    UpdateCheckResult result = userCheck();
    ASSERT_EQ(result.outcome, Outcome::updateAvailable);
    EXPECT_EQ(result.update->version, "1.2");

    settings.set(keys::receiveBetaUpdates, true);
    EXPECT_EQ(userCheck().update->version, "1.10");

    settings.set(keys::receiveBetaUpdates, false);
    settings.set(keys::receiveAlphaUpdates, true);
    EXPECT_EQ(userCheck().update->version, "2.0a1");

    updater("2.0");
    EXPECT_EQ(userCheck().outcome, Outcome::upToDate);

    download = {.body = "<rss><channel><item>"};
    result = userCheck();
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_THAT(result.error, ::testing::Not(IsEmpty()));

    download = {.error = "Host not found"};
    EXPECT_EQ(userCheck().error, "Host not found");
}

TEST_F(UpdatesTest, ChecksAtLaunchAndDailyWhileAutomaticChecksAreOn)
{
    settings.set(keys::didShowOnboardingWizard, true);
    updater().start();  // the setting is absent: on
    runtime.runMainQueue();
    EXPECT_EQ(downloads, 1);
    EXPECT_THAT(found, ElementsAre("1.2"));

    runtime.advance(Updater::checkInterval - platform::Seconds(1));
    EXPECT_EQ(downloads, 1);
    runtime.advance(platform::Seconds(1));
    EXPECT_EQ(downloads, 2);
    EXPECT_THAT(found, ElementsAre("1.2")) << "a version is announced once";

    settings.set(keys::automaticUpdateChecks, false);
    runtime.advance(Updater::checkInterval * 3);
    EXPECT_EQ(downloads, 2);

    settings.set(keys::automaticUpdateChecks, true);
    runtime.advance(Updater::checkInterval);
    EXPECT_EQ(downloads, 3);
}

TEST_F(UpdatesTest, AFirstLaunchWaitsForTheWizardAndAChannelChangeMakesNoRequest)
{
    updater().start();
    runtime.advance(Updater::checkInterval * 2);
    EXPECT_EQ(downloads, 0) << "not before the user decided on automatic checks";

    settings.set(keys::didShowOnboardingWizard, true);
    runtime.runMainQueue();
    EXPECT_EQ(downloads, 1);

    // A channel switched on here or by synchronisation: the next daily check
    // asks for it, and the cycle starts again from the change.
    runtime.advance(platform::Seconds(3600));
    settings.set(keys::receiveBetaUpdates, true);
    updater_->resetUpdateCycleAfterShortDelay();
    runtime.advance(Updater::checkInterval - platform::Seconds(1));
    EXPECT_EQ(downloads, 1);
    runtime.advance(platform::Seconds(1));
    EXPECT_EQ(downloads, 2);
    EXPECT_THAT(found, ElementsAre("1.2", "1.10"));
}

TEST_F(UpdatesTest, AutomaticChecksSwitchedOffInTheWizardMakeNoRequest)
{
    updater().start();
    settings.set(keys::automaticUpdateChecks, false);
    settings.set(keys::didShowOnboardingWizard, true);
    runtime.advance(Updater::checkInterval * 2);
    EXPECT_EQ(downloads, 0);
    userCheck();
    EXPECT_EQ(downloads, 1) << "the user's own check still goes out";
}

TEST_F(UpdatesTest, FromThePackageManagerNothingLeavesTheMachine)
{
    settings.set(keys::automaticUpdateChecks, true);
    updater("1.0", UpdateSource::packageManager).start();
    EXPECT_FALSE(updater_->automaticChecksEnabled());
    settings.set(keys::didShowOnboardingWizard, true);
    runtime.advance(Updater::checkInterval * 2);
    updater_->resetUpdateCycleAfterShortDelay();
    runtime.advance(Updater::checkInterval * 2);
    EXPECT_EQ(userCheck().outcome, Outcome::fromPackageManager);
    EXPECT_EQ(downloads, 0);
}

TEST_F(UpdatesTest, TheFeedIsTheSettingsElseTheBuildsAndWithoutOneNoneIsAsked)
{
    updater();
    userCheck();
    settings.set(keys::updateFeedAddress, "http://127.0.0.1:8000/appcast.xml");
    userCheck();
    EXPECT_THAT(addresses, ElementsAre(defaultFeed, "http://127.0.0.1:8000/appcast.xml"));

    settings.remove(keys::updateFeedAddress);
    defaultFeed.clear();
    updater();
    const UpdateCheckResult result = userCheck();
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_THAT(result.error, ::testing::HasSubstr("No update feed is set"));
    settings.set(keys::didShowOnboardingWizard, true);
    updater_->start();
    runtime.advance(Updater::checkInterval);
    EXPECT_EQ(downloads, 2);
}

TEST_F(UpdatesTest, NoCallbackAfterTheUpdaterIsGone)
{
    settings.set(keys::didShowOnboardingWizard, true);
    updater().start();
    updater_.reset();
    runtime.runMainQueue();
    runtime.advance(Updater::checkInterval);
    EXPECT_EQ(downloads, 1);
    EXPECT_THAT(found, IsEmpty());
}

} // namespace
} // namespace hb
