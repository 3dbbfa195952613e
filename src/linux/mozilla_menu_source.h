#pragma once

#include "base/log.h"
#include "sources/xul_menus.h"
#include "sources/zip_archive.h"

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The menus of Firefox and the applications built like it (Thunderbird,
// SeaMonkey), read from the main window's definition in the application's
// archives ("omni.ja") instead of its accessible menus, which stay empty until
// they are opened. Labels come in the user's language when the archives or a
// language pack carry it, else in en-US.
namespace hb::linux_platform {

struct MozillaMenus {
    sources::XulMenus menus;
    sources::XulMenuItem otherKeysGroup; // otherKeys as one submenu titled otherKeysTitle
    std::string archive;                 // "/usr/lib/firefox-esr/browser/omni.ja"
    std::string document;                // "chrome/browser/content/browser/browser.xhtml"
    std::string language;                // "en-US"

    std::string origin() const { return document + " in " + archive + " (" + language + ")"; }
};

inline constexpr std::string_view otherKeysTitle = "Main Window";

// Bounds for untrusted archives and what they hold.
inline constexpr std::size_t maxDocumentBytes = 8 << 20;
inline constexpr std::size_t maxLocalizationFiles = 256;
inline constexpr std::size_t maxDefinitionFiles = 64;

// Mozilla's language names for the user's languages, best first:
// "de_DE.UTF-8" gives "de-DE"; "de" stays.
std::vector<std::string> mozillaLanguages(const std::vector<std::string>& catalogLanguages);

// Reads the menus of Mozilla applications; each result is kept per archive
// files (path, size and modification time) and language. Safe from several
// threads.
class MozillaMenuSource {
public:
    // Where a process's program lies ("/usr/lib/firefox-esr" for Firefox).
    using ProgramFolder = std::function<std::filesystem::path(pid_t)>;
    static std::filesystem::path programFolder(pid_t pid);

    explicit MozillaMenuSource(platform::Log& log, sources::ZipLimits limits = {},
                               ProgramFolder programFolder = MozillaMenuSource::programFolder);

    // The menus of the process; null when its program is no Mozilla
    // application or its definition cannot be read.
    std::shared_ptr<const MozillaMenus> read(pid_t pid);
    // The same for the installation folder of a program ("/usr/lib/firefox-esr"),
    // in the first of `languages` it carries.
    std::shared_ptr<const MozillaMenus> readInstallation(const std::filesystem::path& folder,
                                                         const std::vector<std::string>& languages);

private:
    platform::Log& log_;
    sources::ZipLimits limits_;
    ProgramFolder programFolder_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const MozillaMenus>> cache_;
};

} // namespace hb::linux_platform
