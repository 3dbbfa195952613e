#pragma once

#include "base/log.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

// Update checks. The program never replaces its own files: it reads the
// appcast feed and tells the user when a newer version is published. A copy
// that the system's package manager installed gets its updates from there,
// and then no check leaves the machine.

// Where this copy's updates come from.
enum class UpdateSource { feed, packageManager };

namespace updateChannels {
inline constexpr std::string_view beta = "beta";
inline constexpr std::string_view alpha = "alpha";
} // namespace updateChannels

// One release in the feed.
struct AppcastItem {
    std::string title;
    std::string version;        // the feed's build number
    std::string displayVersion; // shown to the user; the version when the feed gives none
    std::string channel;        // empty: the default channel, offered to everyone
    std::string releaseNotesLink;
    std::string notes;        // the item's description (HTML or text), may be empty
    std::string downloadLink; // the download page, else the enclosure's address
};

struct AppcastParse {
    std::vector<AppcastItem> items;
    std::string error; // empty on success; a sentence for the user otherwise
};

inline constexpr std::size_t maximumAppcastSize = 1024 * 1024;

// Reads an RSS appcast. Items without a version or an https link are left
// out; a feed that is not RSS, malformed or larger than maximumAppcastSize is
// an error.
AppcastParse parseAppcast(std::string_view feed);

// Negative, zero or positive as `a` is older than, the same as or newer than
// `b`. Versions are compared part by part: runs of digits as numbers (1.10 is
// newer than 1.9), other runs as text; separators only split. Missing numeric
// parts count as zero (1.0 equals 1.0.0); a text part where the other version
// has ended marks a pre-release (1.0b1 is older than 1.0); a number is newer
// than text at the same place (1.0.1 is newer than 1.0b1).
int compareVersions(std::string_view a, std::string_view b);

// The item's version in this program's scheme (dotted numbers, "0.1.0"): its
// build number when that has the scheme's form, else its display version
// (a bare build number such as "1234" says nothing about the release).
std::string_view releaseVersion(const AppcastItem& item);

// The answers the updater asks of the application.
class UpdaterDelegate {
public:
    explicit UpdaterDelegate(platform::SettingsDomain& settings) : settings_(settings) {}

    // The setting decides; the user is never asked for permission to check.
    bool shouldPromptForPermissionToCheckForUpdates() const { return false; }
    // The channels besides the default one whose releases count.
    std::set<std::string, std::less<>> allowedChannels() const;

private:
    platform::SettingsDomain& settings_;
};

// The newest item newer than `runningVersion` on the default channel or one
// of `allowedChannels`; none when this version is current.
std::optional<AppcastItem> newestAllowedItem(const std::vector<AppcastItem>& items, std::string_view runningVersion,
                                             const std::set<std::string, std::less<>>& allowedChannels);

struct UpdateCheckResult {
    enum class Outcome { updateAvailable, upToDate, failed, fromPackageManager };
    Outcome outcome = Outcome::failed;
    std::optional<AppcastItem> update; // when available
    std::string error;                 // when failed
};

// What a download of the feed brings: the document, or why there is none.
struct FeedDownload {
    std::string body;
    std::string error;
};

struct UpdaterServices {
    platform::MainQueue& mainQueue;
    platform::SettingsDomain& settings;
    platform::Log& log;
    UpdaterDelegate& delegate;
    std::string runningVersion;
    UpdateSource source = UpdateSource::feed;
    // The feed when the setting updateFeedAddress names none; may be empty.
    std::string defaultFeedAddress;
    // Downloads the feed at the address and calls back once, on the main thread.
    std::function<void(const std::string& address, std::function<void(FeedDownload)> done)> downloadFeed;
};

// Runs checks: at launch and once a day while automatic checks are on (the
// setting absent counts as on), and when the user asks; nothing else reaches
// the network. On a first launch the automatic checks wait until the user has
// finished the onboarding wizard, whose last step decides them. With updates
// from the package manager there are no checks at all: a user's check is
// answered with `fromPackageManager`. Main thread only.
class Updater {
public:
    static constexpr platform::Seconds checkInterval{24 * 60 * 60};

    explicit Updater(UpdaterServices services);
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Checks now (when automatic checks are on) and starts the daily cycle;
    // before the onboarding wizard is finished, waits for that first.
    void start();
    // A check the user asked for; its result always reaches `done`.
    void checkForUpdates(std::function<void(const UpdateCheckResult&)> done);
    // After a channel change: the daily cycle starts again from now, and the
    // next check asks for the new channels. No check is made for the change
    // itself, so a synchronised setting never reaches the network.
    void resetUpdateCycleAfterShortDelay();

    // An automatic check found a version not announced before in this run.
    std::function<void(const UpdateCheckResult&)> onUpdateFound;

    bool automaticChecksEnabled() const;
    // The setting updateFeedAddress, else the default; empty: none.
    std::string feedAddress() const;

private:
    void startChecking();
    void scheduleNext(platform::Seconds delay);
    void automaticCheck();
    void check(std::function<void(const UpdateCheckResult&)> done);
    UpdateCheckResult evaluate(const FeedDownload& download) const;

    UpdaterServices services_;
    std::optional<platform::MainQueue::TaskId> nextCheck_;
    std::optional<platform::SettingsDomain::ObserverId> wizardObserver_;
    std::string lastAnnounced_;
    std::shared_ptr<Updater*> self_;
};

} // namespace hb
