#include "settings/settings_sync.h"

#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "settings/theme_settings.h"

#include <algorithm>
#include <random>

namespace hb {
namespace {

using platform::LogCategory;
using platform::PlistValue;

bool isSynchronised(std::string_view key)
{
    return std::ranges::find(keys::synchronised, key) != keys::synchronised.end();
}

// The synchronised key whose record of the one-file-per-key folder this is.
std::optional<std::string_view> legacyRecordKey(std::string_view name)
{
    for (auto key : keys::synchronised) {
        if (name.size() == key.size() + 6 && name.starts_with(key) && name.ends_with(".plist"))
            return key;
    }
    return std::nullopt;
}

std::string randomMachineName()
{
    std::random_device device;
    std::uniform_int_distribution<unsigned> digit(0, 15);
    std::string name;
    for (int i = 0; i < 16; ++i)
        name += "0123456789abcdef"[digit(device)];
    return name;
}

} // namespace

SettingsSync::SettingsSync(SettingsSyncServices services) : s_(std::move(services)) {}

SettingsSync::~SettingsSync()
{
    stop();
}

std::int64_t SettingsSync::nowMilliseconds() const
{
    return std::llround(s_.clock.now().time_since_epoch().count() * 1000.0);
}

void SettingsSync::load()
{
    loaded_ = true;
    state_ = {};
    stored_ = {};
    machine_.clear();
    if (auto stored = s_.settings.object(keys::syncState)) {
        std::string failure;
        if (auto decoded = decodeSyncState(*stored, nowMilliseconds(), failure)) {
            state_ = std::move(decoded->state);
            stored_ = state_;
            machine_ = std::move(decoded->machine);
            for (const auto& line : decoded->skipped)
                s_.log.error(LogCategory::settings, "SettingsSync: skipped '{}' from this machine's record", line);
        } else {
            s_.log.error(LogCategory::settings, "SettingsSync: this machine's record is {}; starting afresh", failure);
        }
    }
    if (machine_.empty())
        machine_ = s_.newMachineName.empty() ? randomMachineName() : s_.newMachineName;
    if (auto newest = state_.newestStamp())
        clock_.observe(*newest);
}

void SettingsSync::start() { begin(LocalEdits::recordChanged); }
void SettingsSync::useSyncedSettings() { begin(LocalEdits::keepFolders); }
void SettingsSync::keepLocalSettings() { begin(LocalEdits::recordAll); }

void SettingsSync::begin(LocalEdits mode)
{
    if (!loaded_)
        load();
    everyKeyWritten_ = true;  // also while stopped
    s_.log.notice(LogCategory::settings, "SettingsSync.start() machine={} folder files={}", machine_,
                  s_.folder.fileNames().size());
    observe();
    round(mode);
}

void SettingsSync::observe()
{
    if (!folderObserver_) {
        folderObserver_ = s_.folder.addChangeObserver([this] {
            if (!mergeTask_)
                mergeTask_ = s_.mainQueue.postAfter(platform::Seconds(0), [this] {
                    mergeTask_.reset();
                    synchronize();
                });
        });
    }
    if (!settingsObserver_) {
        settingsObserver_ = s_.settings.addObserver([this](std::string_view key) {
            if (applying_ || !isSynchronised(key))
                return;
            written_.emplace(key);
            schedulePush();
        });
    }
}

void SettingsSync::stop()
{
    flush();
    if (mergeTask_)
        s_.mainQueue.cancel(*mergeTask_);
    mergeTask_.reset();
    if (folderObserver_)
        s_.folder.removeChangeObserver(*folderObserver_);
    folderObserver_.reset();
    if (settingsObserver_)
        s_.settings.removeObserver(*settingsObserver_);
    settingsObserver_.reset();
}

void SettingsSync::schedulePush()
{
    if (debounceTask_)
        s_.mainQueue.cancel(*debounceTask_);
    debounceTask_ = s_.mainQueue.postAfter(pushDelay, [this] {
        debounceTask_.reset();
        synchronize();
    });
}

void SettingsSync::flush()
{
    if (!debounceTask_)
        return;
    s_.mainQueue.cancel(*debounceTask_);
    debounceTask_.reset();
    synchronize();
}

void SettingsSync::synchronize()
{
    round(LocalEdits::recordChanged);
}

void SettingsSync::logOnce(const std::string& line)
{
    if (logged_.insert(line).second)
        s_.log.error(LogCategory::settings, "{}", line);
}

std::set<std::string> SettingsSync::recordLocalEdits(bool restamp, bool onlyKeysWithoutEntries)
{
    std::set<std::string> recorded;
    const auto now = nowMilliseconds();
    for (auto key : keys::synchronised) {
        if (!everyKeyWritten_ && !written_.contains(key))
            continue;
        if (onlyKeysWithoutEntries && state_.hasEntries(key))
            continue;
        const auto local = s_.settings.object(key);
        if (local) {
            if (auto problem = storedValueProblem(key, *local)) {
                logOnce(fmt::format("SettingsSync: the local '{}' is {}; not synchronised", key, *problem));
                continue;
            }
        }
        if (state_.recordEdit(key, local, clock_.tick(now, machine_), restamp))
            recorded.emplace(key);
    }
    return recorded;
}

SyncState SettingsSync::folderState()
{
    SyncState merged;
    if (!s_.folder.isAvailable())
        return merged;
    const auto now = nowMilliseconds();
    for (const auto& name : s_.folder.fileNames()) {
        const auto legacyKey = legacyRecordKey(name);
        if (!legacyKey && !name.starts_with(filePrefix))
            continue;
        const auto content = s_.folder.read(name, maxFileBytes);
        if (!content)
            continue;
        if (auto cached = files_.find(name); cached != files_.end() && cached->second.first == *content) {
            merged.merge(cached->second.second);
            continue;
        }
        const auto parsed = platform::parsePropertyList(*content);
        std::string failure = "not a property list";
        std::optional<SyncState> state;
        if (parsed && legacyKey) {
            state = legacySyncState(*legacyKey, *parsed, now, failure);
            if (!state)
                failure = fmt::format("'{}': {}", *legacyKey, failure);
        } else if (parsed) {
            if (auto decoded = decodeSyncState(*parsed, now, failure)) {
                for (const auto& skipped : decoded->skipped)
                    logOnce(fmt::format("SettingsSync: skipped '{}' from {}", skipped, name));
                state = std::move(decoded->state);
            }
        }
        if (!state) {
            logOnce(fmt::format("SettingsSync: skipped {} from the sync folder: {}", name, failure));
            continue;
        }
        files_.insert_or_assign(name, std::pair{*content, *state});
        merged.merge(*state);
    }
    return merged;
}

void SettingsSync::round(LocalEdits mode)
{
    if (!loaded_)
        load();
    // Keys whose value may differ from the local one: every key the first time.
    std::set<std::string> touched;
    if (everyKeyWritten_)
        touched.insert(keys::synchronised.begin(), keys::synchronised.end());
    if (mode == LocalEdits::recordChanged)
        touched.merge(recordLocalEdits(false, false));
    const SyncState folder = folderState();
    touched.merge(state_.merge(folder));
    if (auto newest = state_.newestStamp())
        clock_.observe(*newest);
    if (mode != LocalEdits::recordChanged)
        touched.merge(recordLocalEdits(mode == LocalEdits::recordAll, mode == LocalEdits::keepFolders));
    everyKeyWritten_ = false;
    written_.clear();

    platform::SettingsDomain::Changes changes;
    for (const auto& key : touched) {
        auto value = state_.value(key);
        if (s_.settings.object(key) != value) {
            s_.log.notice(LogCategory::settings, "SettingsSync: applying '{}' from the sync folder", key);
            changes.emplace(key, std::move(value));
        }
    }
    const bool appliesValues = !changes.empty();
    if (!(state_ == stored_)) {
        changes.emplace(std::string(keys::syncState), encodeSyncState(state_, machine_));
        stored_ = state_;
    }
    if (!changes.empty()) {
        applying_ = true;
        s_.settings.apply(changes);
        applying_ = false;
    }
    if (appliesValues)
        refreshStores();
    // Only what the folder lacks: a machine that merely learnt others' edits
    // has nothing to add.
    SyncState probe = folder;
    if (s_.folder.isAvailable() && !probe.merge(state_).empty())
        writeOwnFile();
}

void SettingsSync::writeOwnFile()
{
    const auto content =
        platform::serializePropertyList(encodeSyncState(state_, machine_), platform::PlistFormat::binary);
    if (!content) {
        logOnce("SettingsSync: this machine's settings cannot be written as a property list");
        return;
    }
    if (s_.folder.write(ownFileName(), *content))
        files_.insert_or_assign(ownFileName(), std::pair{*content, state_});
}

void SettingsSync::refreshStores()
{
    s_.favourites.reload();
    s_.ignoreList.reload();
    auto color = s_.settings.object(keys::keyAccentColor);
    const auto* data = color ? color->as<platform::PlistData>() : nullptr;
    s_.theme.setCustomColor(data ? unarchiveColor(*data) : std::nullopt);
    s_.notifications.post(notifications::receiveBetaUpdatesChanged);
    s_.notifications.post(notifications::receiveAlphaUpdatesChanged);
}

void SettingsSync::clearICloudData()
{
    stop();
    std::size_t removed = 0;
    for (const auto& name : s_.folder.fileNames()) {
        if ((name.starts_with(filePrefix) || legacyRecordKey(name)) && s_.folder.remove(name))
            ++removed;
    }
    s_.log.notice(LogCategory::settings, "SettingsSync.clearICloudData() wiped {} files", removed);
    s_.settings.remove(keys::syncState);
    files_.clear();
    loaded_ = false;
    everyKeyWritten_ = true;
}

bool SettingsSync::hasNewerRemoteSettings()
{
    if (!loaded_)
        load();
    const SyncState folder = folderState();
    SyncState merged = state_;
    merged.merge(folder);
    return std::ranges::any_of(keys::synchronised, [&](std::string_view key) {
        return folder.hasEntries(key) && merged.value(key) != s_.settings.object(key);
    });
}

} // namespace hb
