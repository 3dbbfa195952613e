#include "linux/plist_file_settings_domain.h"

#include "base/atomic_file.h"
#include "base/xdg_folders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fmt/chrono.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;

// The content of the file; none when it exists but cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& file, std::string& failure)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        failure = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream content;
    content << stream.rdbuf();
    if (stream.bad()) {
        failure = "read error";
        return std::nullopt;
    }
    return std::move(content).str();
}

std::filesystem::path corruptName(const std::filesystem::path& file)
{
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const auto base = fmt::format("{}.corrupt-{:%Y%m%dT%H%M%SZ}", file.string(), now);
    std::filesystem::path candidate = base;
    for (int suffix = 2; std::filesystem::exists(std::filesystem::symlink_status(candidate)); ++suffix)
        candidate = fmt::format("{}-{}", base, suffix);
    return candidate;
}

void removeLeftTemporaries(const std::filesystem::path& file)
{
    const auto prefix = platform::temporaryFilePrefix(file);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
        if (entry.path().filename().string().starts_with(prefix))
            std::filesystem::remove(entry.path(), error);
    }
}

} // namespace

std::filesystem::path PlistFileSettingsDomain::defaultPath()
{
    const auto config = platform::xdgConfigHome();
    return config.empty() ? config : config / "hintboard" / "org.mirelo.Hintboard.plist";
}

PlistFileSettingsDomain::Opened PlistFileSettingsDomain::open(const std::filesystem::path& file, platform::Log& log)
{
    // Never a file relative to wherever the program was started.
    if (!file.is_absolute())
        return {nullptr, "No home folder is known ($HOME is not set and the account has none), so the settings "
                         "have no place to be kept"};
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error)
        return {nullptr,
                fmt::format("Cannot create the settings folder {}: {}", file.parent_path().string(), error.message())};

    const auto lockPath = file.string() + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0)
        return {nullptr, fmt::format("Cannot open the settings lock {}: {}", lockPath, std::strerror(errno))};
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(lockFd);
        if (reason == EWOULDBLOCK)
            return {nullptr, fmt::format("The settings in {} are in use by another Hintboard process", file.string())};
        return {nullptr, fmt::format("Cannot lock the settings {}: {}", lockPath, std::strerror(reason))};
    }

    std::unique_ptr<PlistFileSettingsDomain> domain(new PlistFileSettingsDomain(file, lockFd, log));
    domain->load();
    return {std::move(domain), {}};
}

PlistFileSettingsDomain::PlistFileSettingsDomain(std::filesystem::path file, int lockFd, platform::Log& log)
    : file_(std::move(file)), lockFd_(lockFd), log_(log)
{}

PlistFileSettingsDomain::~PlistFileSettingsDomain()
{
    ::close(lockFd_); // releases the lock
}

void PlistFileSettingsDomain::load()
{
    // A link stays: its target is what is read and replaced.
    const auto target = platform::replacedFile(file_);
    // Holding the lock, no other writer exists: temporaries are left from a crash.
    removeLeftTemporaries(target);

    std::error_code error;
    if (!std::filesystem::exists(target, error))
        return;

    std::string failure;
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        // Not ours to read: kept as it is, and never written over.
        writable_ = false;
        readProblem_ = fmt::format("The settings file {} cannot be read ({}). Hintboard runs with default settings "
                                   "and leaves the file untouched; changes are not saved.",
                                   file_.string(), std::strerror(errno));
        log_.error(LogCategory::settings, "{}", readProblem_);
        return;
    }
    if (fd >= 0)
        ::close(fd);
    if (auto content = readFile(target, failure)) {
        auto root = platform::parsePropertyList(*content);
        if (auto* values = root ? root->as<platform::PlistDictionary>() : nullptr) {
            values_ = std::move(*values);
            return;
        }
        failure = root ? "the top level is not a dictionary" : "not a property list";
    }

    const auto aside = corruptName(target);
    std::filesystem::rename(target, aside, error);
    if (error) {
        writable_ = false;
        log_.error(LogCategory::settings,
                   "Settings file {} cannot be read ({}) nor moved aside ({}); settings will not be saved",
                   file_.string(), failure, error.message());
        return;
    }
    log_.error(LogCategory::settings,
               "Settings file {} cannot be read ({}); moved aside to {}, starting with empty settings", file_.string(),
               failure, aside.string());
}

std::optional<platform::PlistValue> PlistFileSettingsDomain::object(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    if (found == values_.end())
        return std::nullopt;
    return found->second;
}

void PlistFileSettingsDomain::set(std::string_view key, platform::PlistValue value)
{
    apply({{std::string(key), std::move(value)}});
}

void PlistFileSettingsDomain::remove(std::string_view key)
{
    apply({{std::string(key), std::nullopt}});
}

void PlistFileSettingsDomain::apply(const Changes& changes)
{
    for (const auto& [key, value] : changes) {
        // Checked one level down, where the file holds it.
        if (value
            && !platform::serializePropertyList(platform::PlistDictionary{{key, *value}}, platform::PlistFormat::xml)) {
            log_.error(LogCategory::settings, "Settings value for {} cannot be stored; the write is ignored", key);
            return;
        }
    }
    {
        std::lock_guard lock(mutex_);
        applyTo(values_, changes);
    }
    save();
    for (const auto& entry : changes)
        notifyWrite(entry.first);
}

platform::PlistDictionary PlistFileSettingsDomain::allValues() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

bool PlistFileSettingsDomain::synchronize()
{
    return !unsaved_ || save();
}

bool PlistFileSettingsDomain::save()
{
    if (!writable_) {
        unsaved_ = true;
        return false;
    }
    std::optional<std::string> content;
    {
        std::lock_guard lock(mutex_);
        content = platform::serializePropertyList(values_, platform::PlistFormat::xml);
    }
    if (auto error = content ? platform::replaceFileAtomically(file_, *content, 0600, beforeRename_)
                             : std::make_error_code(std::errc::invalid_argument)) {
        unsaved_ = true;
        log_.error(LogCategory::settings, "Settings could not be saved to {}: {}", file_.string(), error.message());
        return false;
    }
    unsaved_ = false;
    return true;
}

} // namespace hb::linux_platform
