#pragma once

#include "base/log.h"
#include "linux/readable_watches.h"
#include "platform/sync_folder.h"

#include <filesystem>
#include <optional>
#include <string>

namespace hb::linux_platform {

// This computer as the sync folder's records name it: derived from the
// systemd machine ID for this program alone, so that the ID itself is not
// written anywhere; empty where the system has none.
std::string thisComputer();

// The sync folder as a directory that the user's file-synchronisation tool
// (Syncthing, Nextcloud, a network share) keeps in step. Files are replaced
// atomically (temporary file beside, rename). Changes are seen with inotify,
// on the folder and on its parent, so that the folder's removal and its
// return are followed without a restart. Main thread only.
class DirectorySyncFolder final : public platform::SyncFolder {
public:
    DirectorySyncFolder(std::filesystem::path folder, ReadableWatches& watches, platform::Log& log);
    ~DirectorySyncFolder() override;
    DirectorySyncFolder(const DirectorySyncFolder&) = delete;
    DirectorySyncFolder& operator=(const DirectorySyncFolder&) = delete;

    bool isAvailable() const override;
    std::vector<std::string> matchingFileNames(const NameFilter& wanted) const override;
    std::optional<std::string> read(std::string_view name, std::size_t maxBytes) const override;
    bool write(std::string_view name, std::string_view content) override;
    bool remove(std::string_view name) override;

    const std::filesystem::path& folder() const { return folder_; }

private:
    void watchFolder();
    void readEvents();

    const std::filesystem::path folder_;
    ReadableWatches& watches_;
    platform::Log& log_;
    int inotifyFd_ = -1;
    int parentWatch_ = -1;
    int folderWatch_ = -1;
    std::optional<ReadableWatches::WatchId> watchId_;
    // The count last logged of a listing cut short, so that it is logged once.
    mutable std::size_t cutShortLogged_ = 0;
};

} // namespace hb::linux_platform
