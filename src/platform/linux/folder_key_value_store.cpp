#include "platform/linux/folder_key_value_store.h"

#include "platform/linux/atomic_file.h"
#include "sources/untrusted_file.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;

constexpr std::string_view recordSuffix = ".plist";
constexpr std::size_t maxFileNameBytes = 255;
constexpr std::uint32_t folderEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF
                                       | IN_MOVE_SELF | IN_ONLYDIR;

bool keptAsIs(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string errorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

} // namespace

std::optional<std::string> FolderKeyValueStore::recordName(std::string_view key)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        if (keptAsIs(byte)) {
            name += c;
        } else {
            name += '%';
            name += hex[byte >> 4];
            name += hex[byte & 0xF];
        }
    }
    name += recordSuffix;
    if (name.size() > maxFileNameBytes)
        return std::nullopt;
    return name;
}

std::optional<std::string> FolderKeyValueStore::keyOfRecord(std::string_view fileName)
{
    if (!fileName.ends_with(recordSuffix))
        return std::nullopt;
    const auto escaped = fileName.substr(0, fileName.size() - recordSuffix.size());
    std::string key;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const auto c = static_cast<unsigned char>(escaped[i]);
        if (keptAsIs(c)) {
            key += escaped[i];
            continue;
        }
        if (c != '%' || i + 2 >= escaped.size())
            return std::nullopt;
        const int high = hexDigit(escaped[i + 1]);
        const int low = hexDigit(escaped[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        // Only the one escaped form of a key names its record.
        const auto byte = static_cast<unsigned char>(high * 16 + low);
        if (keptAsIs(byte))
            return std::nullopt;
        key += static_cast<char>(byte);
        i += 2;
    }
    return key;
}

FolderKeyValueStore::FolderKeyValueStore(std::filesystem::path folder, ReadableWatches& watches, platform::Log& log,
                                         std::string companionPrefix)
    : folder_(std::move(folder)), companionPrefix_(std::move(companionPrefix)), watches_(watches), log_(log)
{
    startWatching();
}

FolderKeyValueStore::~FolderKeyValueStore()
{
    stopWatching();
    if (inotifyFd_ >= 0)
        ::close(inotifyFd_);
}

void FolderKeyValueStore::startWatching()
{
    if (inotifyFd_ < 0) {
        inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (inotifyFd_ < 0) {
            log_.error(LogCategory::settings, "Changes in the sync folder cannot be watched: {}", errorText(errno));
            return;
        }
    }
    if (folderWatch_ < 0) {
        folderWatch_ = ::inotify_add_watch(inotifyFd_, folder_.c_str(), folderEvents);
        if (folderWatch_ < 0)
            return;  // no folder (yet): writes report it
    }
    if (!watchId_)
        watchId_ = watches_.watch(inotifyFd_, [this] { readEvents(); });
}

void FolderKeyValueStore::stopWatching()
{
    if (watchId_)
        watches_.unwatch(*watchId_);
    watchId_.reset();
    if (folderWatch_ >= 0)
        ::inotify_rm_watch(inotifyFd_, folderWatch_);
    folderWatch_ = -1;
}

void FolderKeyValueStore::readEvents()
{
    std::set<std::string> changed;
    bool folderLost = false;
    bool overflowed = false;
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
            if (event->mask & IN_Q_OVERFLOW)
                overflowed = true;
            if (event->wd == folderWatch_ && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)))
                folderLost = true;
            if (event->len == 0 || event->wd != folderWatch_)
                continue;
            const std::string name(event->name);
            auto key = keyOfRecord(name);
            if (!key)
                continue;
            if (event->mask & IN_MOVED_TO) {
                // This store's own renames keep the inode they were written with.
                auto own = ownWrites_.find(name);
                struct stat status {};
                const bool isOwn = own != ownWrites_.end() && ::stat((folder_ / name).c_str(), &status) == 0
                                   && status.st_ino == own->second;
                if (own != ownWrites_.end() && !isOwn)
                    ownWrites_.erase(own);
                if (isOwn)
                    continue;
            }
            if ((event->mask & IN_DELETE) && ownRemovals_.erase(name))
                continue;
            if (!companionPrefix_.empty())
                changed.insert(companionPrefix_ + *key);
            changed.insert(std::move(*key));
        }
    }
    if (overflowed) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
            if (auto key = keyOfRecord(entry.path().filename().string())) {
                if (!companionPrefix_.empty())
                    changed.insert(companionPrefix_ + *key);
                changed.insert(std::move(*key));
            }
        }
    }
    if (folderLost) {
        log_.error(LogCategory::settings, "The sync folder {} is gone; settings are no longer synchronised",
                   folder_.string());
        stopWatching();
    }
    if (!changed.empty())
        notifyExternalChange(ChangedKeys(changed.begin(), changed.end()));
}

FolderKeyValueStore::Location FolderKeyValueStore::locate(std::string_view key) const
{
    if (!companionPrefix_.empty() && key.starts_with(companionPrefix_))
        return {recordName(key.substr(companionPrefix_.size())), companionPrefix_};
    return {recordName(key), std::string(valueMember)};
}

std::optional<platform::PlistDictionary> FolderKeyValueStore::readRecord(const std::string& name) const
{
    const auto file = sources::readUntrustedFile(folder_ / name, maxRecordBytes);
    if (file.status != sources::UntrustedFile::Status::read)
        return std::nullopt;
    auto value = platform::parsePropertyList(file.bytes);
    auto* members = value ? std::get_if<platform::PlistDictionary>(&*value) : nullptr;
    if (!members) {
        log_.info(LogCategory::settings, "Synchronised record {} is not a property-list dictionary; read as absent", name);
        return std::nullopt;
    }
    return std::move(*members);
}

bool FolderKeyValueStore::writeRecord(std::string_view key, const std::string& name,
                                      const platform::PlistDictionary& members)
{
    const auto file = folder_ / name;
    if (members.empty()) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            log_.error(LogCategory::settings, "Synchronised setting {} could not be removed from {}: {}", key,
                       folder_.string(), errorText(errno));
            return false;
        }
        ownWrites_.erase(name);
        ownRemovals_.insert(name);
        return true;
    }
    const auto content = platform::serializePropertyList(platform::PlistValue(members), platform::PlistFormat::xml);
    if (!content) {
        log_.error(LogCategory::settings, "Synchronised setting {} cannot be stored in a file", key);
        return false;
    }
    if (const auto error = replaceFileAtomically(file, *content, 0644)) {
        log_.error(LogCategory::settings, "Synchronised setting {} could not be written to {}: {}", key,
                   folder_.string(), error.message());
        return false;
    }
    struct stat status {};
    if (::stat(file.c_str(), &status) == 0)
        ownWrites_.insert_or_assign(name, status.st_ino);
    return true;
}

std::optional<platform::PlistValue> FolderKeyValueStore::object(std::string_view key) const
{
    const auto [name, member] = locate(key);
    auto members = name ? readRecord(*name) : std::nullopt;
    auto found = members ? members->find(member) : platform::PlistDictionary::iterator{};
    if (!members || found == members->end())
        return std::nullopt;
    return std::move(found->second);
}

bool FolderKeyValueStore::set(std::string_view key, const platform::PlistValue& value)
{
    const auto [name, member] = locate(key);
    if (!name) {
        log_.error(LogCategory::settings, "Synchronised setting {} cannot be stored in a file", key);
        return false;
    }
    startWatching();
    // A broken record is replaced.
    auto members = readRecord(*name).value_or(platform::PlistDictionary{});
    members.insert_or_assign(member, value);
    return writeRecord(key, *name, members);
}

bool FolderKeyValueStore::remove(std::string_view key)
{
    const auto [name, member] = locate(key);
    if (!name)
        return true;  // such a key is never stored
    std::error_code ignored;
    if (!std::filesystem::is_directory(folder_, ignored)) {
        log_.error(LogCategory::settings, "Synchronised setting {} could not be removed: the folder {} is gone", key,
                   folder_.string());
        return false;
    }
    auto members = readRecord(*name);
    if (!members || !members->erase(member))
        return true;
    return writeRecord(key, *name, *members);
}

bool FolderKeyValueStore::synchronize()
{
    startWatching();
    std::error_code error;
    return std::filesystem::is_directory(folder_, error);
}

} // namespace hb::linux_platform
