#include "linux/directory_sync_folder.h"

#include "base/atomic_file.h"
#include "base/untrusted_file.h"

#include <sys/inotify.h>
#include <systemd/sd-id128.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;

constexpr std::uint32_t folderEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t parentEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ONLYDIR;

std::string errorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

bool isVisibleName(std::string_view name)
{
    return !name.empty() && name.front() != '.';
}

} // namespace

std::string thisComputer()
{
    // Hintboard's own application ID: the machine ID is hashed with it.
    constexpr sd_id128_t hintboard = SD_ID128_MAKE(5c, 0e, 8a, 41, 7d, 2b, 4f, 93, a6, 1c, 38, e2, 90, 4d, b7, 15);
    sd_id128_t id;
    if (sd_id128_get_machine_app_specific(hintboard, &id) < 0)
        return {};
    char text[SD_ID128_STRING_MAX];
    return sd_id128_to_string(id, text);
}

DirectorySyncFolder::DirectorySyncFolder(std::filesystem::path folder, ReadableWatches& watches, platform::Log& log)
    : folder_(std::move(folder)), watches_(watches), log_(log)
{
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        log_.error(LogCategory::settings, "Changes in the sync folder cannot be watched: {}", errorText(errno));
        return;
    }
    parentWatch_ = ::inotify_add_watch(inotifyFd_, folder_.parent_path().c_str(), parentEvents);
    if (parentWatch_ < 0)
        log_.error(LogCategory::settings, "The folder holding the sync folder {} cannot be watched: {}",
                   folder_.string(), errorText(errno));
    watchFolder();
    watchId_ = watches_.watch(inotifyFd_, [this] { readEvents(); });
}

DirectorySyncFolder::~DirectorySyncFolder()
{
    if (watchId_)
        watches_.unwatch(*watchId_);
    if (inotifyFd_ >= 0)
        ::close(inotifyFd_);
}

void DirectorySyncFolder::watchFolder()
{
    if (inotifyFd_ >= 0 && folderWatch_ < 0)
        folderWatch_ = ::inotify_add_watch(inotifyFd_, folder_.c_str(), folderEvents);
}

void DirectorySyncFolder::readEvents()
{
    bool changed = false;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(inotifyFd_, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changed = true;
            } else if (event->wd == folderWatch_) {
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                    if (!(event->mask & IN_IGNORED))
                        ::inotify_rm_watch(inotifyFd_, folderWatch_);
                    folderWatch_ = -1;
                    changed = true;
                } else if (event->len > 0 && isVisibleName(event->name)) {
                    changed = true;
                }
            } else if (event->wd == parentWatch_ && event->len > 0 && folder_.filename() == event->name) {
                changed = true;
            }
        }
    }
    if (!changed)
        return;
    const bool wasWatched = folderWatch_ >= 0;
    watchFolder();
    if (!wasWatched && folderWatch_ >= 0)
        log_.notice(LogCategory::settings, "The sync folder {} is back; synchronising again", folder_.string());
    else if (folderWatch_ < 0)
        log_.error(LogCategory::settings, "The sync folder {} is gone; waiting for it to return", folder_.string());
    notifyChange();
}

bool DirectorySyncFolder::isAvailable() const
{
    std::error_code error;
    return std::filesystem::is_directory(folder_, error);
}

std::vector<std::string> DirectorySyncFolder::matchingFileNames(const NameFilter& wanted) const
{
    // Entries looked at, whatever they are: a folder flooded with files is not walked to its end.
    constexpr std::size_t maxEntries = 100'000;
    std::vector<std::string> names;
    std::size_t entries = 0;
    std::size_t matching = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        if (++entries > maxEntries)
            break;
        std::error_code typeError;
        auto name = it->path().filename().string();
        if (!isVisibleName(name) || !wanted(name) || !it->is_regular_file(typeError))
            continue;
        ++matching;
        // The first names in name order, whatever order the folder lists them in.
        if (names.size() == maxListedFiles) {
            std::ranges::pop_heap(names);
            if (name < names.back())
                names.back() = std::move(name);
            std::ranges::push_heap(names);
        } else {
            names.push_back(std::move(name));
            std::ranges::push_heap(names);
        }
    }
    std::ranges::sort_heap(names);
    const bool cutShort = entries > maxEntries || matching > names.size();
    if (cutShort && cutShortLogged_ != matching) {
        log_.error(LogCategory::settings, "The sync folder {} holds too many files: {} of {} matching ones read{}",
                   folder_.string(), names.size(), matching,
                   entries > maxEntries ? fmt::format(" (only the first {} files looked at)", maxEntries) : "");
    }
    cutShortLogged_ = cutShort ? matching : 0;
    return names;
}

std::optional<std::string> DirectorySyncFolder::read(std::string_view name, std::size_t maxBytes) const
{
    auto file = sources::readUntrustedFile(folder_ / name, maxBytes);
    if (file.status == sources::UntrustedFile::Status::oversized)
        log_.error(LogCategory::settings, "{} in the sync folder is larger than {} bytes; left out", name, maxBytes);
    if (file.status != sources::UntrustedFile::Status::read)
        return std::nullopt;
    return std::move(file.bytes);
}

bool DirectorySyncFolder::write(std::string_view name, std::string_view content)
{
    if (const auto error = platform::replaceEntryAtomically(folder_ / name, content, 0644)) {
        log_.error(LogCategory::settings, "{} could not be written to the sync folder {}: {}", name, folder_.string(),
                   error.message());
        return false;
    }
    watchFolder();
    return true;
}

bool DirectorySyncFolder::remove(std::string_view name)
{
    const auto file = folder_ / name;
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
        log_.error(LogCategory::settings, "{} could not be removed from the sync folder {}: {}", name, folder_.string(),
                   errorText(errno));
        return false;
    }
    return true;
}

} // namespace hb::linux_platform
