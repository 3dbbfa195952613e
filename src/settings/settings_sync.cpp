#include "settings/settings_sync.h"

#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"
#include "settings/theme_settings.h"

#include <algorithm>
#include <limits>
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

constexpr std::int64_t dayMilliseconds = 24 * 60 * 60 * 1000;

// The newest stamp `machine` made in `state`: its clock when it last wrote.
std::optional<SyncStamp> newestEditOf(const SyncState& state, std::string_view machine)
{
    std::optional<SyncStamp> newest;
    const auto consider = [&](const SyncStamp& stamp) {
        if (stamp.machine == machine && (!newest || *newest < stamp))
            newest = stamp;
    };
    for (const auto& [key, entry] : state.registers())
        consider(entry.stamp);
    for (const auto& [key, elements] : state.sets()) {
        for (const auto& [id, marks] : elements)
            std::ranges::for_each(marks.adds, consider);
    }
    return newest;
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
    machine_.clear();
    refused_.clear();
    held_.clear();
    seen_.clear();
    twins_ = false;
    if (auto stored = s_.settings.object(keys::syncState)) {
        std::string failure;
        // What this machine once accepted stays accepted, whatever its clock says now.
        if (auto decoded = decodeSyncState(*stored, std::numeric_limits<std::int64_t>::max() / 2, failure)) {
            state_ = std::move(decoded->state);
            machine_ = std::move(decoded->machine);
            refused_ = std::move(decoded->refused);
            seen_ = std::move(decoded->seen);
            if (!s_.computer.empty() && decoded->computer != s_.computer) {
                // A record without a computer predates the check and is taken as this one's.
                if (!decoded->computer.empty()) {
                    s_.log.notice(LogCategory::settings,
                                  "SettingsSync: machine {} was copied from another computer; this one gets a new name",
                                  machine_);
                    machine_.clear();
                }
                recordOutdated_ = true;
            }
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

void SettingsSync::start()
{
    begin(LocalEdits::recordChanged);
}
void SettingsSync::useSyncedSettings()
{
    begin(LocalEdits::keepFolders);
}
void SettingsSync::keepLocalSettings()
{
    begin(LocalEdits::recordAll);
}

void SettingsSync::begin(LocalEdits mode)
{
    if (!loaded_)
        load();
    everyKeyWritten_ = true; // also while stopped
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
        // Once the synchronised settings were cleared, a value is sent again
        // when it is edited, not because this program started.
        if (everyKeyWritten_ && !restamp && !onlyKeysWithoutEntries && state_.cleared() && !state_.hasEntries(key)
            && !written_.contains(key))
            continue;
        const auto local = s_.settings.object(key);
        if (local) {
            if (auto problem = storedValueProblem(key, *local)) {
                // Kept as it is until the user changes it: neither sent nor replaced.
                logOnce(fmt::format("SettingsSync: the local '{}' is {}; not synchronised", key, *problem));
                held_.insert(std::string(key));
                continue;
            }
        }
        held_.erase(std::string(key));
        if (state_.recordEdit(key, local, clock_.tick(now, machine_), restamp))
            recorded.emplace(key);
    }
    return recorded;
}

bool SettingsSync::isSyncFileName(std::string_view name)
{
    return name.starts_with(filePrefix) || legacyRecordKey(name);
}

const SyncState& SettingsSync::folderState()
{
    static const SyncState none;
    if (!s_.folder.isAvailable())
        return none;
    // Stamps further ahead than a day of what this machine has seen are refused, once and for good.
    auto horizon = std::max(nowMilliseconds(), clock_.last().milliseconds);
    auto names = s_.folder.matchingFileNames(isSyncFileName);
    // This machine's own file is read even when the folder lists too many.
    if (std::ranges::find(names, ownFileName()) == names.end())
        names.push_back(ownFileName());
    // A machine that knows of no edit yet has nothing to lose by trusting the
    // folder's clock over its own when two peers or more agree that its own is
    // behind (the least of their clocks: one file alone cannot move it), and
    // forgets its refusals, which a corrected clock may undo.
    const bool fresh = !state_.newestStamp();
    if (fresh) {
        const auto peers = peerClocks(names);
        if (peers.size() >= 2 && peers.front() > horizon) {
            const auto behind = peers.front() - horizon;
            if (behind > dayMilliseconds)
                logOnce(fmt::format("SettingsSync: this machine's clock is {} hours behind the sync folder's",
                                    behind / (3600 * 1000)));
            horizon += behind;
        }
    }
    auto* refused = fresh ? nullptr : &refused_;
    bool unchanged = folderState_.has_value() && !fresh;
    std::vector<const SyncState*> states;
    std::vector<std::string> read;
    for (const auto& name : names) {
        const auto content = s_.folder.read(name, maxFileBytes);
        if (!content)
            continue;
        auto cached = files_.find(name);
        if (cached != files_.end() && cached->second.content == *content && !fresh) {
            // A file that failed is not decoded again until it changes.
            if (cached->second.state) {
                read.push_back(name);
                states.push_back(&*cached->second.state);
            }
            continue;
        }
        unchanged = false;
        const auto legacyKey = legacyRecordKey(name);
        const auto parsed = platform::parsePropertyList(*content);
        std::string failure = "not a property list";
        File file{*content, std::nullopt, {}, {}, false};
        auto& state = file.state;
        if (parsed && legacyKey) {
            state = legacySyncState(*legacyKey, *parsed, horizon, failure);
            if (!state)
                failure = fmt::format("'{}': {}", *legacyKey, failure);
        } else if (parsed) {
            if (auto decoded = decodeSyncState(*parsed, horizon, failure, refused)) {
                for (const auto& skipped : decoded->skipped)
                    logOnce(fmt::format("SettingsSync: skipped '{}' from {}", skipped, name));
                state = std::move(decoded->state);
                // Watermarks are taken only from a sound file, each no further than the
                // file acknowledges having merged of the machine, nor than a day ahead:
                // a damaged file cannot make genuine marks be dropped.
                auto trusted = decoded->skipped.empty() ? decoded->seen : SyncAcknowledgements{};
                for (auto& [machine, stamp] : trusted)
                    stamp = std::min(stamp, SyncStamp{horizon + dayMilliseconds, 0, {}});
                state->limitForgotten(trusted);
                file.machine = decoded->machine;
                file.seen = std::move(decoded->seen);
                file.twins = decoded->twins;
                if (name != fileNameOf(decoded->machine))
                    copies_.insert(name);
                else
                    copies_.erase(name);
            }
        }
        if (!state)
            logOnce(fmt::format("SettingsSync: skipped {} from the sync folder: {}", name, failure));
        auto& entry = files_.insert_or_assign(name, std::move(file)).first->second;
        if (entry.state) {
            read.push_back(name);
            states.push_back(&*entry.state);
        }
    }
    // Files that went away are forgotten, and change the whole too.
    std::erase_if(files_, [&names](const auto& entry) { return std::ranges::find(names, entry.first) == names.end(); });
    if (unchanged && read == folderFiles_)
        return *folderState_;
    SyncState merged, covering;
    for (std::size_t i = 0; i < states.size(); ++i) {
        merged.merge(*states[i]);
        if (!copies_.contains(read[i]))
            covering.merge(*states[i]);
    }
    folderState_ = std::move(merged);
    folderCovering_ = std::move(covering);
    folderFiles_ = std::move(read);
    return *folderState_;
}

std::vector<std::int64_t> SettingsSync::peerClocks(const std::vector<std::string>& names)
{
    std::vector<std::int64_t> clocks;
    for (const auto& name : names) {
        const auto content = name == ownFileName() ? std::nullopt : s_.folder.read(name, maxFileBytes);
        const auto parsed = content ? platform::parsePropertyList(*content) : std::nullopt;
        std::string failure;
        const auto decoded =
            parsed ? decodeSyncState(*parsed, std::numeric_limits<std::int64_t>::max() / 2, failure) : std::nullopt;
        // A file with entries that are not sound is no witness of the time.
        if (decoded && decoded->skipped.empty() && name == fileNameOf(decoded->machine)) {
            if (auto newest = decoded->state.newestStamp())
                clocks.push_back(newest->milliseconds);
        }
    }
    std::ranges::sort(clocks);
    return clocks;
}

void SettingsSync::acknowledge()
{
    twins_ = false;
    for (const auto& [name, file] : files_) {
        if (!file.state)
            continue;
        // Another machine stamped edits with this one's name that this one never made.
        if (file.machine == machine_ && !twins_) {
            SyncState mine = state_;
            mine.merge(*file.state);
            if (newestEditOf(mine, machine_) != newestEditOf(state_, machine_)) {
                logOnce(fmt::format("SettingsSync: {} holds edits of another machine named {}", name, machine_));
                twins_ = true;
            }
        }
        if (file.machine == machine_ || name != fileNameOf(file.machine))
            continue;
        if (auto newest = ownAcknowledgement(file)) {
            raiseStamp(seen_, file.machine, *newest);
        }
    }
    const auto cutoff = departedCutoff();
    std::erase_if(seen_, [cutoff](const auto& entry) { return entry.second.milliseconds < cutoff; });
}

std::optional<SyncStamp> SettingsSync::ownAcknowledgement(const File& file)
{
    auto newest = file.state ? file.state->newestStamp() : std::nullopt;
    if (auto own = file.seen.find(file.machine); own != file.seen.end() && (!newest || *newest < own->second))
        newest = own->second;
    return newest;
}

SyncAcknowledgements SettingsSync::acknowledgements() const
{
    // Every mark of a machine up to its watermark is held here or was forgotten.
    auto seen = seen_;
    for (const auto& [machine, watermark] : state_.forgotten()) {
        raiseStamp(seen, machine, watermark);
    }
    // This machine's own: every edit it made up to its clock is in its file.
    seen.insert_or_assign(machine_, SyncStamp{clock_.last().milliseconds, clock_.last().counter, machine_});
    return seen;
}

std::set<std::string> SettingsSync::forgetSettled()
{
    const auto now = nowMilliseconds();
    const auto cutoff = departedCutoff();
    // The machines present: this one and each whose file is readable under its name and not departed.
    struct Present {
        const SyncState* state;
        SyncAcknowledgements seen;
    };
    std::vector<Present> present{{&state_, acknowledgements()}};
    std::set<std::string, std::less<>> machines{machine_};
    for (const auto& [name, file] : files_) {
        const auto newest = ownAcknowledgement(file);
        if (!newest || file.machine == machine_ || name != fileNameOf(file.machine) || newest->milliseconds < cutoff)
            continue;
        if (file.twins)
            return {};
        present.push_back({&*file.state, file.seen});
        present.back().seen.insert_or_assign(file.machine, *newest);
        machines.insert(file.machine);
    }
    // A machine heard from lately whose file is gone may not know of a removal
    // yet; one alone may have readers that have not written yet.
    if (twins_ || present.size() < 2
        || std::ranges::any_of(seen_, [&](const auto& entry) { return !machines.contains(entry.first); }))
        return {};
    // Per machine, the newest stamp of its file every machine present has merged.
    SyncAcknowledgements frontier = present.front().seen;
    for (const auto& machine : present) {
        std::erase_if(frontier, [&](auto& entry) { return !machine.seen.contains(entry.first); });
        for (auto& [author, stamp] : frontier)
            stamp = std::min(stamp, machine.seen.at(author));
    }
    // Older than a day: copies still in transit.
    const auto aged = now - dayMilliseconds;
    return state_.forgetRemoved([&](std::string_view key, std::string_view id, const SyncElement& marks) {
        const auto known = [&](const SyncStamp& mark) {
            auto settled = frontier.find(mark.machine);
            return mark.milliseconds < aged && settled != frontier.end() && mark <= settled->second;
        };
        return std::ranges::all_of(marks.removes, known) && std::ranges::all_of(present, [&](const Present& machine) {
                   const auto& sets = machine.state->sets();
                   auto elements = sets.find(key);
                   if (elements == sets.end())
                       return true;
                   auto there = elements->second.find(id);
                   return there == elements->second.end()
                          || std::ranges::includes(there->second.removes, there->second.adds);
               });
    });
}

bool SettingsSync::ownFileOutdated() const
{
    // Nothing to say (the settings were cleared), or this machine looks departed itself.
    if ((state_.registers().empty() && state_.sets().empty()) || clock_.last().milliseconds < departedCutoff())
        return false;
    auto own = files_.find(ownFileName());
    if (own == files_.end() || !own->second.state)
        return true; // written again when it went
    if (own->second.seen != acknowledgements() || own->second.twins != twins_
        || own->second.state->forgotten() != state_.forgotten())
        return true;
    // It still holds elements this machine forgot.
    for (const auto& [key, elements] : own->second.state->sets()) {
        auto mine = state_.sets().find(key);
        for (const auto& [id, marks] : elements) {
            if (mine == state_.sets().end() || !mine->second.contains(id))
                return true;
        }
    }
    return false;
}

void SettingsSync::round(LocalEdits mode)
{
    if (!loaded_)
        load();
    // Keys whose entries changed in this round.
    std::set<std::string> changed;
    const auto refusedBefore = refused_;
    const auto seenBefore = seen_;
    const bool twinsBefore = twins_;
    const auto forgottenBefore = state_.forgotten();
    const SyncState& folder = folderState();
    acknowledge();
    // Local edits come after a clear of the folder, seen or not.
    if (folder.cleared())
        clock_.observe(*folder.cleared());
    if (mode == LocalEdits::recordChanged)
        changed.merge(recordLocalEdits(false, false));
    changed.merge(state_.merge(folder));
    if (!changed.empty())
        clock_.observe(*state_.newestStamp());
    if (mode != LocalEdits::recordChanged)
        changed.merge(recordLocalEdits(mode == LocalEdits::recordAll, mode == LocalEdits::keepFolders));
    const bool forgot = !forgetSettled().empty();

    // Keys whose value may differ from the local one: every key the first time.
    std::set<std::string> touched = changed;
    if (everyKeyWritten_)
        touched.insert(keys::synchronised.begin(), keys::synchronised.end());
    everyKeyWritten_ = false;
    written_.clear();

    platform::SettingsDomain::Changes changes;
    for (const auto& key : touched) {
        // A key without entries (cleared) keeps its local value.
        if (held_.contains(key) || !state_.hasEntries(key))
            continue;
        auto value = state_.value(key);
        // Elements checked one by one may still add up to more than the key holds.
        if (value) {
            if (auto problem = storedValueProblem(key, *value)) {
                logOnce(fmt::format("SettingsSync: the synced '{}' is {}; not applied", key, *problem));
                continue;
            }
        }
        if (s_.settings.object(key) != value) {
            s_.log.notice(LogCategory::settings, "SettingsSync: applying '{}' from the sync folder", key);
            changes.emplace(key, std::move(value));
        }
    }
    const bool appliesValues = !changes.empty();
    if (!changed.empty() || forgot || refused_ != refusedBefore || seen_ != seenBefore || twins_ != twinsBefore
        || state_.forgotten() != forgottenBefore || recordOutdated_)
        changes.emplace(std::string(keys::syncState),
                        encodeSyncState(state_, machine_, &refused_, s_.computer, seen_, twins_));
    recordOutdated_ = false;
    if (!changes.empty()) {
        applying_ = true;
        s_.settings.apply(changes);
        applying_ = false;
    }
    if (appliesValues)
        refreshStores(changes);
    // Only what the folder lacks: a machine that merely learnt others' edits
    // has nothing to add, unless it learnt them from a copy that the others
    // may never get (a conflict copy, or a version since replaced by one they refuse).
    if (s_.folder.isAvailable() && (!folderCovering_.covers(state_) || ownFileOutdated()))
        writeOwnFile();
    removeDepartedFiles();
}

std::int64_t SettingsSync::departedCutoff() const
{
    return nowMilliseconds() - std::llround(departedAfter.count() * 1000.0);
}

void SettingsSync::removeDepartedFiles()
{
    const auto cutoff = departedCutoff();
    std::vector<std::string> departed;
    for (const auto& [name, entry] : files_) {
        const auto& state = entry.state;
        const auto newest = state ? state->newestStamp() : std::nullopt;
        if (name != ownFileName() && name.starts_with(filePrefix) && newest && newest->milliseconds < cutoff
            && state_.covers(*state))
            departed.push_back(name);
    }
    if (departed.empty())
        return;
    // This machine's file takes over what theirs held.
    const auto own = files_.find(ownFileName());
    if (own == files_.end() || !own->second.state || *own->second.state != state_)
        writeOwnFile();
    for (const auto& name : departed) {
        if (s_.folder.remove(name)) {
            s_.log.notice(LogCategory::settings,
                          "SettingsSync: removed {}, silent for over {} days; this machine's file holds all it held",
                          name, departedAfter.count() / 86400);
            files_.erase(name);
            folderState_.reset();
        }
    }
}

void SettingsSync::writeOwnFile()
{
    const auto seen = acknowledgements();
    const auto content = platform::serializePropertyList(encodeSyncState(state_, machine_, nullptr, {}, seen, twins_),
                                                         platform::PlistFormat::binary);
    if (!content) {
        logOnce("SettingsSync: this machine's settings cannot be written as a property list");
        return;
    }
    if (s_.folder.write(ownFileName(), *content)) {
        files_.insert_or_assign(ownFileName(), File{*content, state_, machine_, seen, twins_});
        folderState_.reset();
    }
}

void SettingsSync::refreshStores(const platform::SettingsDomain::Changes& applied)
{
    s_.favourites.reload();
    s_.ignoreList.reload();
    auto color = s_.settings.object(keys::keyAccentColor);
    const auto* data = color ? color->as<platform::PlistData>() : nullptr;
    s_.theme.setCustomColor(data ? unarchiveColor(*data) : std::nullopt);
    // Each one restarts the daily update check: only for a channel that changed.
    if (applied.contains(keys::receiveBetaUpdates))
        s_.notifications.post(notifications::receiveBetaUpdatesChanged);
    if (applied.contains(keys::receiveAlphaUpdates))
        s_.notifications.post(notifications::receiveAlphaUpdatesChanged);
}

void SettingsSync::clearICloudData()
{
    if (!loaded_)
        load();
    stop();
    const auto clearedAt = clock_.tick(nowMilliseconds(), machine_);
    std::size_t removed = 0;
    for (const auto& name : s_.folder.matchingFileNames(isSyncFileName)) {
        if (s_.folder.remove(name))
            ++removed;
    }
    s_.log.notice(LogCategory::settings, "SettingsSync.clearICloudData() wiped {} files", removed);
    // The folder keeps when it was cleared, so that running machines forget
    // what they knew instead of writing it back.
    SyncState cleared;
    cleared.clearUpTo(clearedAt);
    const auto content =
        platform::serializePropertyList(encodeSyncState(cleared, machine_), platform::PlistFormat::binary);
    if (!content || !s_.folder.write(ownFileName(), *content))
        s_.log.error(LogCategory::settings, "SettingsSync: the folder could not be marked as cleared");
    s_.settings.remove(keys::syncState);
    files_.clear();
    folderState_.reset();
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
