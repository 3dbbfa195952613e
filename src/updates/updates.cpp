#include "updates/updates.h"

#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "sources/xml_tree.h"

#include <algorithm>
#include <cctype>

namespace hb {
namespace {

using platform::LogCategory;

std::string trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::string childText(const xml::Element& element, std::string_view name)
{
    const xml::Element* child = element.child(name);
    return child ? trimmed(child->text) : std::string();
}

// Only https addresses leave the program: the feed must not make it open
// local files or other handlers, nor send the user to a page anyone on the
// way can change.
std::string webAddress(std::string address)
{
    constexpr std::string_view https = "https://";
    const bool secure = address.size() > https.size()
                        && std::equal(https.begin(), https.end(), address.begin(),
                                      [](char p, char c) { return p == std::tolower(static_cast<unsigned char>(c)); });
    return secure ? address : std::string();
}

std::optional<AppcastItem> readItem(const xml::Element& item)
{
    const xml::Element* enclosure = item.child("enclosure");
    const auto enclosureAttribute = [&](std::string_view key) {
        auto value = enclosure ? enclosure->attribute(key) : std::nullopt;
        return value ? trimmed(*value) : std::string();
    };
    AppcastItem result;
    result.title = childText(item, "title");
    result.version = childText(item, "sparkle:version");
    if (result.version.empty())
        result.version = enclosureAttribute("sparkle:version");
    result.displayVersion = childText(item, "sparkle:shortVersionString");
    if (result.displayVersion.empty())
        result.displayVersion = enclosureAttribute("sparkle:shortVersionString");
    if (result.displayVersion.empty())
        result.displayVersion = result.version;
    result.channel = childText(item, "sparkle:channel");
    result.releaseNotesLink = webAddress(childText(item, "sparkle:releaseNotesLink"));
    result.notes = childText(item, "description");
    result.downloadLink = webAddress(childText(item, "link"));
    if (result.downloadLink.empty())
        result.downloadLink = webAddress(enclosureAttribute("url"));
    if (result.version.empty() || result.downloadLink.empty())
        return std::nullopt;
    return result;
}

struct VersionPart {
    bool numeric;
    std::string_view text;
};

std::vector<VersionPart> versionParts(std::string_view version)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isSeparator = [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); };
    std::vector<VersionPart> parts;
    std::size_t at = 0;
    while (at < version.size()) {
        if (isSeparator(version[at])) {
            ++at;
            continue;
        }
        const bool numeric = isDigit(version[at]);
        std::size_t end = at;
        while (end < version.size() && !isSeparator(version[end]) && isDigit(version[end]) == numeric)
            ++end;
        std::string_view text = version.substr(at, end - at);
        if (numeric) {
            while (text.size() > 1 && text.front() == '0')
                text.remove_prefix(1);
        }
        parts.push_back({numeric, text});
        at = end;
    }
    return parts;
}

int comparePart(const VersionPart& a, const VersionPart& b)
{
    if (a.numeric != b.numeric)
        return a.numeric ? 1 : -1;
    if (a.numeric && a.text.size() != b.text.size())
        return a.text.size() < b.text.size() ? -1 : 1;
    const int order = a.text.compare(b.text);
    return (order > 0) - (order < 0);
}

// How the parts left over at the end of the longer version weigh.
int remainderWeight(const std::vector<VersionPart>& parts, std::size_t from)
{
    for (std::size_t i = from; i < parts.size(); ++i) {
        if (!parts[i].numeric)
            return -1;
        if (parts[i].text != "0")
            return 1;
    }
    return 0;
}

} // namespace

AppcastParse parseAppcast(std::string_view feed)
{
    if (feed.size() > maximumAppcastSize)
        return {.error = "The update feed is too large."};
    const std::optional<xml::Element> root = xml::parse(feed);
    if (!root)
        return {.error = "The update feed could not be read."};
    const xml::Element* channel = root->name == "rss" ? root->child("channel") : nullptr;
    if (!channel)
        return {.error = "The update feed is not an RSS feed."};
    AppcastParse result;
    for (const xml::Element& child : channel->children) {
        if (child.name != "item")
            continue;
        if (auto item = readItem(child))
            result.items.push_back(std::move(*item));
    }
    return result;
}

int compareVersions(std::string_view a, std::string_view b)
{
    const std::vector<VersionPart> left = versionParts(a);
    const std::vector<VersionPart> right = versionParts(b);
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = comparePart(left[i], right[i]))
            return order;
    }
    return remainderWeight(left, common) - remainderWeight(right, common);
}

std::set<std::string, std::less<>> UpdaterDelegate::allowedChannels() const
{
    std::set<std::string, std::less<>> channels;
    if (settings_.boolean(keys::receiveBetaUpdates))
        channels.emplace(updateChannels::beta);
    if (settings_.boolean(keys::receiveAlphaUpdates))
        channels.emplace(updateChannels::alpha);
    return channels;
}

std::string_view releaseVersion(const AppcastItem& item)
{
    const std::string_view version = item.version;
    const bool dotted = !version.empty() && std::isdigit(static_cast<unsigned char>(version.front()))
                        && version.find('.') != std::string_view::npos;
    return dotted || item.displayVersion.empty() ? version : std::string_view(item.displayVersion);
}

std::optional<AppcastItem> newestAllowedItem(const std::vector<AppcastItem>& items, std::string_view runningVersion,
                                             const std::set<std::string, std::less<>>& allowedChannels)
{
    const AppcastItem* newest = nullptr;
    for (const AppcastItem& item : items) {
        if (!item.channel.empty() && !allowedChannels.contains(item.channel))
            continue;
        if (compareVersions(releaseVersion(item), newest ? releaseVersion(*newest) : runningVersion) > 0)
            newest = &item;
    }
    return newest ? std::optional<AppcastItem>(*newest) : std::nullopt;
}

Updater::Updater(UpdaterServices services) : services_(std::move(services)), self_(std::make_shared<Updater*>(this)) {}

Updater::~Updater()
{
    if (nextCheck_)
        services_.mainQueue.cancel(*nextCheck_);
    if (wizardObserver_)
        services_.settings.removeObserver(*wizardObserver_);
}

bool Updater::automaticChecksEnabled() const
{
    return services_.source == UpdateSource::feed && Settings(services_.settings).automaticUpdateChecks();
}

std::string Updater::feedAddress() const
{
    const auto stored = services_.settings.object(keys::updateFeedAddress);
    const std::string* address = stored ? stored->as<std::string>() : nullptr;
    return address && !address->empty() ? *address : services_.defaultFeedAddress;
}

void Updater::start()
{
    if (services_.source == UpdateSource::packageManager) {
        services_.log.info(LogCategory::settings, "Updates come from the system's package manager: no update checks");
        return;
    }
    if (services_.settings.boolean(keys::didShowOnboardingWizard)) {
        startChecking();
        return;
    }
    if (wizardObserver_)
        return;
    wizardObserver_ = services_.settings.addObserver([this](std::string_view key) {
        if (key != keys::didShowOnboardingWizard || !services_.settings.boolean(key))
            return;
        // Not from inside the settings' own notification.
        services_.mainQueue.post([weak = std::weak_ptr<Updater*>(self_)] {
            if (auto self = weak.lock()) {
                Updater& updater = **self;
                if (!updater.wizardObserver_)
                    return;
                updater.services_.settings.removeObserver(*updater.wizardObserver_);
                updater.wizardObserver_.reset();
                updater.startChecking();
            }
        });
    });
}

void Updater::startChecking()
{
    automaticCheck();
    scheduleNext(checkInterval);
}

void Updater::resetUpdateCycleAfterShortDelay()
{
    if (nextCheck_)
        scheduleNext(checkInterval);
}

void Updater::scheduleNext(platform::Seconds delay)
{
    if (nextCheck_)
        services_.mainQueue.cancel(*nextCheck_);
    nextCheck_ = services_.mainQueue.postAfter(delay, [weak = std::weak_ptr<Updater*>(self_)] {
        if (auto self = weak.lock()) {
            Updater& updater = **self;
            updater.nextCheck_.reset();
            updater.automaticCheck();
            updater.scheduleNext(checkInterval);
        }
    });
}

void Updater::automaticCheck()
{
    if (!automaticChecksEnabled())
        return;
    check([this](const UpdateCheckResult& result) {
        if (result.outcome != UpdateCheckResult::Outcome::updateAvailable || result.update->version == lastAnnounced_)
            return;
        lastAnnounced_ = result.update->version;
        if (onUpdateFound)
            onUpdateFound(result);
    });
}

void Updater::checkForUpdates(std::function<void(const UpdateCheckResult&)> done)
{
    check(std::move(done));
}

void Updater::check(std::function<void(const UpdateCheckResult&)> done)
{
    if (services_.source == UpdateSource::packageManager) {
        done({.outcome = UpdateCheckResult::Outcome::fromPackageManager});
        return;
    }
    const std::string address = feedAddress();
    if (address.empty() || !services_.downloadFeed) {
        done({.error = "No update feed is set. Enter the address of one in Settings → Developer."});
        return;
    }
    services_.downloadFeed(address,
                           [weak = std::weak_ptr<Updater*>(self_), done = std::move(done)](FeedDownload download) {
                               if (auto self = weak.lock())
                                   done((*self)->evaluate(download));
                           });
}

UpdateCheckResult Updater::evaluate(const FeedDownload& download) const
{
    platform::Log& log = services_.log;
    if (!download.error.empty()) {
        log.error(LogCategory::settings, "Update check failed: {}", download.error);
        return {.error = download.error};
    }
    AppcastParse feed = parseAppcast(download.body);
    if (!feed.error.empty()) {
        log.error(LogCategory::settings, "Update check failed: {}", feed.error);
        return {.error = std::move(feed.error)};
    }
    auto update = newestAllowedItem(feed.items, services_.runningVersion, services_.delegate.allowedChannels());
    if (!update) {
        log.info(LogCategory::settings, "Update check: {} is current", services_.runningVersion);
        return {.outcome = UpdateCheckResult::Outcome::upToDate};
    }
    log.notice(LogCategory::settings, "Update check: {} is available", update->displayVersion);
    return {.outcome = UpdateCheckResult::Outcome::updateAvailable, .update = std::move(update)};
}

} // namespace hb
