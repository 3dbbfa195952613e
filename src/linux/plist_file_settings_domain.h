#pragma once

#include "base/log.h"
#include "platform/settings_domain.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace hb::linux_platform {

// The settings domain kept in one XML property-list file. Every write reaches
// the disk atomically before observers hear of it. One process holds the
// domain at a time (an flock on a lock file beside it, released when the
// process ends); a second one is refused. A file that cannot be parsed is
// moved aside, never overwritten, and the domain starts empty; a file this
// user may not read is left as it is and the domain runs in memory only. A
// symbolic link stays: its target is read and replaced.
class PlistFileSettingsDomain final : public platform::SettingsDomain {
public:
    struct Opened {
        std::unique_ptr<PlistFileSettingsDomain> domain;
        std::string error; // why there is no domain
    };

    // $XDG_CONFIG_HOME/hintboard/org.mirelo.Hintboard.plist; empty when no
    // home folder is known.
    static std::filesystem::path defaultPath();
    // Refuses a path that is not absolute.
    static Opened open(const std::filesystem::path& file, platform::Log& log);

    ~PlistFileSettingsDomain() override;

    std::optional<platform::PlistValue> object(std::string_view key) const override;
    void set(std::string_view key, platform::PlistValue value) override;
    void remove(std::string_view key) override;
    // Also a value the file cannot hold refuses the whole write, so that it
    // cannot block every later save.
    void apply(const Changes& changes) override;
    platform::PlistDictionary allValues() const override;
    // Writes again what an earlier write failed to store.
    bool synchronize() override;

    const std::filesystem::path& path() const { return file_; }
    // Why the settings are kept in memory only, for the user; empty when they are saved.
    const std::string& readProblem() const { return readProblem_; }
    // Runs between writing the temporary file and renaming it (tests).
    void setBeforeRename(std::function<void()> hook) { beforeRename_ = std::move(hook); }

private:
    PlistFileSettingsDomain(std::filesystem::path file, int lockFd, platform::Log& log);
    void load();
    bool save();

    const std::filesystem::path file_;
    const int lockFd_;
    platform::Log& log_;
    mutable std::mutex mutex_;
    platform::PlistDictionary values_;
    bool unsaved_ = false;
    // False when an unreadable file could not be moved aside: it is never overwritten.
    bool writable_ = true;
    std::string readProblem_;
    std::function<void()> beforeRename_;
};

} // namespace hb::linux_platform
