#pragma once

#include "platform/key_value_store.h"
#include "platform/linux/readable_watches.h"
#include "platform/log.h"

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace hb::linux_platform {

// The shared key-value store as a folder that the user's file-synchronisation
// tool (Syncthing, Nextcloud, a network share) keeps in step between machines.
// One record per file, "<escaped key>.plist", replaced atomically: a
// property-list dictionary (read binary or XML, written XML) whose member
// "value" is the key's value. A key made of `companionPrefix` and a key K is
// kept as member `companionPrefix` of K's file, so that a value and its time
// always travel together through the sync tool. Files that are not
// record names (conflict copies, temporary files) are ignored; a record that
// cannot be read whole within maxRecordBytes reads as absent. Changes that
// other programs make in the folder are seen with inotify and reported as
// external changes. Writes into a folder that is gone, read-only or full fail
// with a log line. Main thread only.
class FolderKeyValueStore final : public platform::KeyValueStore {
public:
    static constexpr std::size_t maxRecordBytes = 1 << 20;
    static constexpr std::string_view valueMember = "value";

    // Watches the folder when it exists; a folder that appears later is
    // watched from the next write or synchronize on. The program passes
    // SettingsSync::timePrefix as `companionPrefix`.
    FolderKeyValueStore(std::filesystem::path folder, ReadableWatches& watches, platform::Log& log,
                        std::string companionPrefix = {});
    ~FolderKeyValueStore() override;
    FolderKeyValueStore(const FolderKeyValueStore&) = delete;
    FolderKeyValueStore& operator=(const FolderKeyValueStore&) = delete;

    std::optional<platform::PlistValue> object(std::string_view key) const override;
    bool set(std::string_view key, const platform::PlistValue& value) override;
    bool remove(std::string_view key) override;
    // Records are durable once written; this only re-establishes a lost watch.
    bool synchronize() override;

    const std::filesystem::path& folder() const { return folder_; }

    // Every byte outside [A-Za-z0-9_-] becomes %XX; none when the name would
    // be longer than a file name may be.
    static std::optional<std::string> recordName(std::string_view key);
    // The key of a record file name; none for any other name.
    static std::optional<std::string> keyOfRecord(std::string_view fileName);

private:
    struct Location {
        std::optional<std::string> name;  // the record's file name
        std::string member;
    };
    Location locate(std::string_view key) const;
    std::optional<platform::PlistDictionary> readRecord(const std::string& name) const;
    // An empty record removes the file.
    bool writeRecord(std::string_view key, const std::string& name, const platform::PlistDictionary& members);
    void startWatching();
    void stopWatching();
    void readEvents();

    const std::filesystem::path folder_;
    const std::string companionPrefix_;
    ReadableWatches& watches_;
    platform::Log& log_;
    int inotifyFd_ = -1;
    int folderWatch_ = -1;
    std::optional<ReadableWatches::WatchId> watchId_;
    // Records this store wrote or removed itself, so that their events are not
    // reported as external changes: record name -> inode written.
    std::map<std::string, ino_t> ownWrites_;
    std::set<std::string> ownRemovals_;
};

} // namespace hb::linux_platform
