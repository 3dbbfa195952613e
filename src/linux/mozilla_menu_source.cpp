#include "linux/mozilla_menu_source.h"

#include "sources/dtd_entities.h"
#include "sources/fluent.h"
#include "sources/message_catalog.h"
#include "sources/xml_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fmt/format.h>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;
using sources::ZipArchive;

constexpr std::size_t maxCachedInstallations = 16;
constexpr std::size_t maxFolderEntries = 1000;

// The main window's definition in the archives of the applications known to
// be built this way.
constexpr std::string_view mainWindowDocuments[] = {
    "chrome/browser/content/browser/browser.xhtml",       "chrome/messenger/content/messenger/messenger.xhtml",
    "chrome/browser/content/browser/browser.xul",         "chrome/messenger/content/messenger/messenger.xul",
    "chrome/navigator/content/navigator/navigator.xhtml", "chrome/navigator/content/navigator/navigator.xul",
};

struct OpenedArchive {
    std::string path;
    std::unique_ptr<ZipArchive> archive;
};

std::string fileKey(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return fmt::format("{}|{}|{}.{}", path.string(), status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
}

// The application's archives, its own before the platform's.
std::vector<std::filesystem::path> archivePaths(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> paths;
    for (const auto& path : {folder / "browser" / "omni.ja", folder / "omni.ja"})
        if (!fileKey(path).empty())
            paths.push_back(path);
    return paths;
}

// Language packs installed beside the application ("langpack-de@firefox-esr.mozilla.org.xpi").
std::map<std::string, std::filesystem::path> languagePacks(const std::filesystem::path& folder)
{
    std::map<std::string, std::filesystem::path> packs;
    for (const auto& extensions : {folder / "browser" / "extensions", folder / "extensions"}) {
        std::error_code error;
        std::size_t seen = 0;
        for (auto it = std::filesystem::directory_iterator(extensions, error);
             !error && it != std::filesystem::directory_iterator() && seen < maxFolderEntries;
             it.increment(error), ++seen) {
            const auto name = it->path().filename().string();
            const auto at = name.find('@');
            if (name.starts_with("langpack-") && name.ends_with(".xpi") && at != std::string::npos)
                packs.try_emplace(name.substr(9, at - 9), it->path());
        }
    }
    return packs;
}

bool hasPrefix(const ZipArchive& archive, std::string_view prefix)
{
    return std::ranges::any_of(archive.entryNames(), [&](const std::string& name) { return name.starts_with(prefix); });
}

// Reads the definition and its texts from opened archives.
class Reader {
public:
    Reader(platform::Log& log, std::vector<OpenedArchive>& archives, std::unique_ptr<ZipArchive> languagePack,
           std::string language)
        : log_(log), archives_(archives), pack_(std::move(languagePack)), language_(std::move(language))
    {}

    std::optional<MozillaMenus> read()
    {
        MozillaMenus result;
        std::optional<std::string> document;
        for (const auto& opened : archives_) {
            for (auto candidate : mainWindowDocuments) {
                if (!opened.archive->contains(candidate))
                    continue;
                std::string problem;
                document = opened.archive->read(candidate, maxDocumentBytes, &problem);
                if (!document) {
                    log_.error(LogCategory::scraper, "Mozilla menus: {} in {} cannot be read: {}", candidate,
                               opened.path, problem);
                    return std::nullopt;
                }
                result.archive = opened.path;
                result.document = candidate;
                break;
            }
            if (document)
                break;
        }
        if (!document)
            return std::nullopt;

        auto split = dtd::splitDocumentType(*document);
        document.reset();
        auto entities = definitions(split.internalSubset);
        auto expanded = dtd::withEntities(split.document, entities, 2 * maxDocumentBytes);
        if (!expanded) {
            log_.error(LogCategory::scraper, "Mozilla menus: {} grows beyond {} bytes with its entities",
                       result.document, 2 * maxDocumentBytes);
            return std::nullopt;
        }
        split.document.clear();
        const auto root = xml::parse(*expanded);
        if (!root) {
            log_.error(LogCategory::scraper, "Mozilla menus: {} in {} is no XML the reader accepts", result.document,
                       result.archive);
            return std::nullopt;
        }
        const auto messages = localization(sources::localizationFiles(*root));
        auto menus = sources::readXulMenus(*root, messages);
        if (!menus) {
            log_.info(LogCategory::scraper, "Mozilla menus: {} holds no menu bar", result.document);
            return std::nullopt;
        }
        result.menus = std::move(*menus);
        result.otherKeysGroup = sources::XulMenuItem{std::string(otherKeysTitle), {}, result.menus.otherKeys, true};
        result.language = language_;
        return result;
    }

private:
    // The entry's text from the language pack or the archives; absent when none holds it.
    std::optional<std::string> text(const std::vector<std::string>& names)
    {
        auto readFrom = [&](const ZipArchive& archive, const std::string& path) -> std::optional<std::string> {
            for (const auto& name : names)
                if (archive.contains(name)) {
                    std::string problem;
                    auto bytes = archive.read(name, &problem);
                    if (!bytes)
                        log_.error(LogCategory::scraper, "Mozilla menus: {} in {} refused: {}", name, path, problem);
                    return bytes;
                }
            return std::nullopt;
        };
        if (pack_)
            if (auto found = readFrom(*pack_, "the language pack"))
                return found;
        for (const auto& opened : archives_)
            if (auto found = readFrom(*opened.archive, opened.path))
                return found;
        return std::nullopt;
    }

    std::vector<std::string> languages() const
    {
        std::vector<std::string> list{language_};
        if (language_ != "en-US")
            list.emplace_back("en-US");
        return list;
    }

    fluent::Bundle localization(const std::vector<std::string>& files)
    {
        fluent::Bundle bundle;
        std::size_t read = 0;
        for (const auto& language : languages())
            for (const auto& file : files) {
                if (read >= maxLocalizationFiles)
                    break;
                if (auto found = text(
                        {"localization/" + language + "/" + file, "browser/localization/" + language + "/" + file})) {
                    bundle.add(*found);
                    ++read;
                }
            }
        return bundle;
    }

    // The entities of the internal subset and of the locale files it names
    // ("chrome://browser/locale/browser.dtd").
    dtd::Entities definitions(const std::string& internalSubset)
    {
        dtd::Declarations declarations;
        dtd::addDeclarations(internalSubset, declarations);
        std::size_t files = 0;
        for (std::size_t i = 0; i < declarations.externalFiles.size() && files < maxDefinitionFiles; ++i) {
            const std::string address = declarations.externalFiles[i];
            constexpr std::string_view scheme = "chrome://";
            const auto locale = address.find("/locale/");
            if (!address.starts_with(scheme) || locale == std::string::npos)
                continue;
            const auto package = address.substr(scheme.size(), locale - scheme.size());
            const auto rest = address.substr(locale + 8);
            for (const auto& language : languages()) {
                // Thunderbird: chrome/<lang>/locale/<lang>/<package>/…; Firefox of old: chrome/<lang>/locale/<package>/….
                const auto found = text({"chrome/" + language + "/locale/" + language + "/" + package + "/" + rest,
                                         "chrome/" + language + "/locale/" + package + "/" + rest,
                                         "chrome/locale/" + language + "/" + package + "/" + rest});
                if (found) {
                    dtd::addDeclarations(*found, declarations);
                    ++files;
                    break;
                }
            }
        }
        if (!declarations.complete)
            log_.error(LogCategory::scraper, "Mozilla menus: more than {} entities; the rest are left out",
                       dtd::maxEntities);
        auto expanded = dtd::expanded(declarations);
        if (!expanded) {
            log_.error(LogCategory::scraper,
                       "Mozilla menus: entities refused (nested deeper than {}, circular, or growing beyond {} bytes)",
                       dtd::maxNesting, dtd::maxExpandedBytes);
            return {};
        }
        return std::move(*expanded);
    }

    platform::Log& log_;
    std::vector<OpenedArchive>& archives_;
    std::unique_ptr<ZipArchive> pack_;
    std::string language_;
};

std::vector<std::string> userCatalogLanguages()
{
    auto variable = [](const char* name) -> std::optional<std::string_view> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string_view>(value) : std::nullopt;
    };
    return sources::catalogLanguages(variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"),
                                     variable("LANG"));
}

} // namespace

std::vector<std::string> mozillaLanguages(const std::vector<std::string>& catalogLanguages)
{
    std::vector<std::string> out;
    for (std::string name : catalogLanguages) {
        name = name.substr(0, name.find_first_of(".@"));
        std::replace(name.begin(), name.end(), '_', '-');
        if (!name.empty() && std::ranges::find(out, name) == out.end())
            out.push_back(std::move(name));
    }
    return out;
}

std::filesystem::path MozillaMenuSource::programFolder(pid_t pid)
{
    std::error_code error;
    auto program = std::filesystem::read_symlink(fmt::format("/proc/{}/exe", pid), error);
    return error ? std::filesystem::path() : program.parent_path();
}

MozillaMenuSource::MozillaMenuSource(platform::Log& log, sources::ZipLimits limits, ProgramFolder programFolder)
    : log_(log), limits_(limits), programFolder_(std::move(programFolder))
{}

std::shared_ptr<const MozillaMenus> MozillaMenuSource::read(pid_t pid)
{
    const auto folder = programFolder_(pid);
    if (folder.empty() || archivePaths(folder).empty())
        return nullptr;
    auto found = readInstallation(folder, mozillaLanguages(userCatalogLanguages()));
    if (found)
        log_.info(LogCategory::scraper, "pid {}: menus from {}", pid, found->origin());
    return found;
}

std::shared_ptr<const MozillaMenus> MozillaMenuSource::readInstallation(const std::filesystem::path& folder,
                                                                        const std::vector<std::string>& languages)
{
    const auto start = std::chrono::steady_clock::now();
    const auto paths = archivePaths(folder);
    const auto packs = languagePacks(folder);
    std::string key;
    for (const auto& path : paths)
        key += fileKey(path) + "\n";
    for (const auto& [language, pack] : packs)
        key += fileKey(pack) + "\n";
    for (const auto& language : languages)
        key += language + ",";
    {
        std::lock_guard lock(mutex_);
        if (auto cached = cache_.find(key); cached != cache_.end())
            return cached->second;
    }

    std::vector<OpenedArchive> archives;
    for (const auto& path : paths) {
        std::string problem;
        if (auto archive = ZipArchive::open(path, limits_, &problem))
            archives.push_back(OpenedArchive{path.string(), std::move(archive)});
        else
            log_.error(LogCategory::scraper, "Mozilla menus: archive {} refused: {}", path.string(), problem);
    }

    // The first of the user's languages that a language pack or the archives carry.
    std::string language = "en-US";
    std::unique_ptr<ZipArchive> pack;
    for (const auto& wanted : languages) {
        if (auto found = packs.find(wanted); found != packs.end()) {
            std::string problem;
            if ((pack = ZipArchive::open(found->second, limits_, &problem))) {
                language = wanted;
                break;
            }
            log_.error(LogCategory::scraper, "Mozilla menus: language pack {} refused: {}", found->second.string(),
                       problem);
        }
        if (std::ranges::any_of(archives, [&](const OpenedArchive& opened) {
                return hasPrefix(*opened.archive, "localization/" + wanted + "/")
                       || hasPrefix(*opened.archive, "chrome/" + wanted + "/");
            })) {
            language = wanted;
            break;
        }
    }

    std::shared_ptr<const MozillaMenus> result;
    if (!archives.empty()) {
        if (auto menus = Reader(log_, archives, std::move(pack), language).read()) {
            std::size_t rows = 0;
            auto count = [&](const auto& self, const std::vector<sources::XulMenuItem>& items) -> void {
                for (const auto& item : items) {
                    rows += item.accelerator.empty() ? 0 : 1;
                    self(self, item.items);
                }
            };
            count(count, menus->menus.menus);
            const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
            log_.info(LogCategory::scraper,
                      "Mozilla menus {}: {} menus, {} items with keys, {} other keys of {}, read in {:.1f} ms",
                      menus->origin(), menus->menus.menus.size(), rows, menus->menus.otherKeys.size(),
                      menus->menus.keyCount, elapsed.count());
            result = std::make_shared<const MozillaMenus>(std::move(*menus));
        } else {
            log_.info(LogCategory::scraper, "Mozilla menus: no main window definition read in {}", folder.string());
        }
    }
    std::lock_guard lock(mutex_);
    if (cache_.size() >= maxCachedInstallations)
        cache_.clear();
    cache_.emplace(std::move(key), result);
    return result;
}

} // namespace hb::linux_platform
