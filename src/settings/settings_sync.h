#pragma once

#include "base/log.h"
#include "platform/notification_center.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "platform/sync_folder.h"
#include "settings/sync_state.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace hb {

class FavouritesStore;
class IgnoreListStore;
class ThemeSettings;

struct SettingsSyncServices {
    platform::SettingsDomain& settings;
    platform::SyncFolder& folder;
    platform::MainQueue& mainQueue;
    platform::Clock& clock;
    platform::NotificationCenter& notifications;
    platform::Log& log;
    // Refreshed after values from other machines were applied.
    FavouritesStore& favourites;
    IgnoreListStore& ignoreList;
    ThemeSettings& theme;
    // This machine's name in the folder when it has none yet; empty: a random one.
    std::string newMachineName = {};
    // The computer this runs on. A record made on another one (a copied home
    // folder) takes a new machine name, so that two computers never edit
    // under one; empty: not checked.
    std::string computer = {};
};

// Keeps the synchronised settings keys in step between machines through a
// sync folder without losing an edit, whatever order, delay or duplication
// the folder's copies arrive in.
//
// Each machine writes one file of its own, "hintboard-<machine>.plist",
// holding everything it knows (SyncState) and replaced whole; every machine
// reads all such files, conflict copies included, and merges them. Edits are
// ordered by a hybrid logical clock; scalar keys keep their latest edit, set
// keys merge element by element. Every value from the folder is checked
// against its key before it reaches the local settings. This machine's
// knowledge is kept in the local settings under `__syncState`, written in
// the same write as the values it gives, so a kill at any moment loses
// nothing. The local settings stay what every consumer reads. Main thread only.
class SettingsSync {
public:
    static constexpr platform::Seconds pushDelay{1};
    static constexpr std::string_view filePrefix = "hintboard-";
    static constexpr std::size_t maxFileBytes = 4 << 20;
    // The file of a machine that wrote nothing new for this long is removed
    // once this machine's file holds all it held.
    static constexpr platform::Seconds departedAfter{400 * 24 * 3600};

    explicit SettingsSync(SettingsSyncServices services);
    ~SettingsSync();
    SettingsSync(const SettingsSync&) = delete;
    SettingsSync& operator=(const SettingsSync&) = delete;

    // Records local edits made while stopped, merges the folder, writes what
    // the folder lacks, and follows both sides from then on.
    void start();
    // As start(), but the folder's settings replace local ones for every key
    // the folder holds ("Use Synced Settings").
    void useSyncedSettings();
    // As start(), but every local value is recorded as a new edit, so that it
    // replaces the folder's ("Keep Local Settings").
    void keepLocalSettings();
    // Stops following; a pending push runs first.
    void stop();
    bool isRunning() const { return settingsObserver_.has_value(); }

    // One round: local edits, the folder's files, the values they give, this
    // machine's file.
    void synchronize();
    // Synchronises 1 second after the last of a burst of local edits.
    void schedulePush();
    // Runs a pending push now (before quitting).
    void flush();

    // Removes this program's files from the folder, leaving one that says
    // when, so that the other machines forget what they knew too instead of
    // writing it back; forgets what this machine knew; stops.
    void clearICloudData();
    // Whether the folder holds settings that would change local ones.
    bool hasNewerRemoteSettings();

    // The folder's file of a machine.
    static std::string fileNameOf(std::string_view machine)
    {
        return std::string(filePrefix).append(machine) + ".plist";
    }
    std::string ownFileName() const { return fileNameOf(machine_); }
    // Stamps older than this are of machines that departed.
    std::int64_t departedCutoff() const;

private:
    enum class LocalEdits { recordChanged, keepFolders, recordAll };

    void begin(LocalEdits mode);
    void round(LocalEdits mode);
    void load();
    std::int64_t nowMilliseconds() const;
    // Records the edits of the keys written since the last round (all keys
    // after a start); gives the keys recorded.
    std::set<std::string> recordLocalEdits(bool restamp, bool onlyKeysWithoutEntries);
    // Every readable file of the folder merged; empty while the folder is gone.
    const SyncState& folderState();
    void writeOwnFile();
    // Removes the files of machines silent for longer than departedAfter
    // whose every edit this machine's file holds.
    void removeDepartedFiles();
    // Raises the acknowledgements from the files just merged; notices a
    // second machine writing under this one's name.
    void acknowledge();
    // The newest stamp of each peer's file, in order: the peers' clocks.
    std::vector<std::int64_t> peerClocks(const std::vector<std::string>& names);
    // Forgets the removed elements every machine present knows were removed.
    std::set<std::string> forgetSettled();
    bool ownFileOutdated() const;
    // What this machine's file says it merged: seen_, raised to the watermarks, and its own clock.
    SyncAcknowledgements acknowledgements() const;
    static bool isSyncFileName(std::string_view name);
    void observe();
    // Reloads what depends on the values just applied.
    void refreshStores(const platform::SettingsDomain::Changes& applied);
    void logOnce(const std::string& line);

    SettingsSyncServices s_;
    bool loaded_ = false;
    std::string machine_;
    HybridClock clock_;
    SyncState state_;
    bool applying_ = false;
    // Keys written locally since the last round; every key when none was followed.
    std::set<std::string, std::less<>> written_;
    bool everyKeyWritten_ = true;
    std::set<std::string> logged_;
    // This machine's record must be written in the next round (a new machine name).
    bool recordOutdated_ = false;
    // The files read so far and what they held (no state: not readable), so
    // that unchanged ones are not decoded again.
    struct File {
        std::string content;
        std::optional<SyncState> state;
        std::string machine;
        SyncAcknowledgements seen;
        bool twins = false;
    };
    std::map<std::string, File, std::less<>> files_;
    // The newest stamp a machine's file holds of it, or says it made.
    static std::optional<SyncStamp> ownAcknowledgement(const File& file);
    // Per machine, the newest stamp of its file merged here.
    SyncAcknowledgements seen_;
    // A file holds edits made under this machine's name that it never made
    // (a copied home folder): it forgets nothing meanwhile.
    bool twins_ = false;
    // Stamps refused for lying too far ahead: refused again whenever seen.
    std::set<SyncStamp> refused_;
    // Keys whose local value cannot be sent: kept as they are.
    std::set<std::string, std::less<>> held_;
    // Files holding another machine's record under a name not its own (conflict copies).
    std::set<std::string, std::less<>> copies_;
    // All of them merged, while no file changed; and the files other than copies merged.
    std::optional<SyncState> folderState_;
    SyncState folderCovering_;
    std::vector<std::string> folderFiles_;
    std::optional<platform::MainQueue::TaskId> debounceTask_;
    std::optional<platform::MainQueue::TaskId> mergeTask_;
    std::optional<platform::SyncFolder::ObserverId> folderObserver_;
    std::optional<platform::SettingsDomain::ObserverId> settingsObserver_;
};

} // namespace hb
