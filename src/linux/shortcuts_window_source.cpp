#include "linux/shortcuts_window_source.h"

#include "base/file_descriptor.h"
#include "base/untrusted_file.h"
#include "sources/elf_sections.h"

#include <gio/gio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fmt/format.h>
#include <functional>
#include <utility>

namespace hb::linux_platform {
namespace {

using platform::LogCategory;

constexpr std::size_t maxCatalogBytes = 32 << 20;
constexpr std::size_t maxMapsBytes = 16 << 20;
constexpr std::size_t maxCachedPrograms = 64;

using Descriptor = platform::FileDescriptor;

// A file of the process, opened once: the key part names the very file read.
struct OpenFile {
    std::string path;
    Descriptor descriptor;
    std::string key; // path, size and modification time
};

std::optional<OpenFile> openRegular(const std::string& openPath, std::string shownPath)
{
    Descriptor fd(::open(openPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    auto key = fmt::format("{}|{}|{}.{}", shownPath, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    return OpenFile{std::move(shownPath), std::move(fd), std::move(key)};
}

std::string linkTarget(const std::string& link)
{
    std::error_code error;
    auto target = std::filesystem::read_symlink(link, error);
    return error ? link : target.string();
}

// The files the process has mapped that may hold its bundles: ".gresource"
// files, and the libraries in a folder named after the program (gedit keeps
// its resources in /usr/lib/…/gedit/libgedit-44.so).
std::vector<std::string> mappedBundles(pid_t pid, const std::string& program)
{
    auto maps = sources::readUntrustedFile(fmt::format("/proc/{}/maps", pid), maxMapsBytes);
    const std::string privateFolder = "/" + std::filesystem::path(program).filename().string() + "/";
    std::vector<std::string> paths;
    std::string_view rest = maps.bytes;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        auto line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        const auto slash = line.find('/');
        if (slash == std::string_view::npos)
            continue;
        const auto path = line.substr(slash);
        const bool privateLibrary =
            path.find(privateFolder) != std::string_view::npos && path.find(".so") != std::string_view::npos;
        if ((path.ends_with(".gresource") || privateLibrary) && std::ranges::find(paths, path) == paths.end())
            paths.emplace_back(path);
    }
    return paths;
}

// Hands the bundles a file holds to `use` one at a time, until it returns
// true: an ELF file's ".gresource.*" sections, or the file itself. Only one
// bundle is in memory at once.
bool searchBundlesIn(const OpenFile& file, const std::function<bool(std::string_view bundle)>& use)
{
    const elf::FileBytes bytes(file.descriptor.get());
    std::array<char, 4> magic{};
    if (!bytes.read(0, magic))
        return false;
    if (std::string_view(magic.data(), magic.size())
        != "\x7f"
           "ELF") {
        auto whole = elf::sectionBytes(bytes, elf::Section{file.path, 0, bytes.size()}, maxBundleBytes);
        return whole && use(*whole);
    }
    for (const auto& section : elf::sectionsNamed(bytes, ".gresource."))
        if (auto content = elf::sectionBytes(bytes, section, maxBundleBytes); content && use(*content))
            return true;
    return false;
}

std::vector<std::string> userLanguages()
{
    auto variable = [](const char* name) -> std::optional<std::string_view> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string_view>(value) : std::nullopt;
    };
    return sources::catalogLanguages(variable("LANGUAGE"), variable("LC_ALL"), variable("LC_MESSAGES"),
                                     variable("LANG"));
}

// Text domains to try: the definition's own, the program's name, and the
// application id's last part as the bundle's resource path names it
// ("/org/gnome/Calculator/…" → "gnome-calculator", "calculator").
std::vector<std::string> textDomains(const sources::ShortcutsWindow& window, const std::string& executable,
                                     std::string_view resourcePath)
{
    std::vector<std::string> domains;
    auto add = [&](std::string domain) {
        if (!domain.empty() && std::ranges::find(domains, domain) == domains.end())
            domains.push_back(std::move(domain));
    };
    add(window.textDomain);
    add(std::filesystem::path(executable).filename().string());
    std::vector<std::string> parts;
    for (const auto& part : std::filesystem::path(resourcePath))
        if (part != "/") {
            std::string lower = part.string();
            std::ranges::transform(lower, lower.begin(),
                                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            parts.push_back(std::move(lower));
        }
    if (parts.size() > 3) {
        add(parts[1] + "-" + parts[2]);
        add(parts[2]);
    }
    return domains;
}

std::vector<std::filesystem::path> localeFolders(const std::string& executable)
{
    std::vector<std::filesystem::path> folders;
    const auto prefix = std::filesystem::path(executable).parent_path().parent_path();
    if (!prefix.empty())
        folders.push_back(prefix / "share/locale");
    if (std::ranges::find(folders, std::filesystem::path("/usr/share/locale")) == folders.end())
        folders.emplace_back("/usr/share/locale");
    return folders;
}

} // namespace

std::optional<BundledWindow> findShortcutsWindow(std::string_view bundle, platform::Log& log)
{
    GBytes* bytes = g_bytes_new(bundle.data(), bundle.size());
    GResource* resource = g_resource_new_from_data(bytes, nullptr);
    g_bytes_unref(bytes);
    if (!resource) {
        log.info(LogCategory::scraper, "Shortcuts window: a GResource bundle of {} bytes cannot be read",
                 bundle.size());
        return std::nullopt;
    }

    std::vector<std::string> definitions;
    std::vector<std::string> folders{"/"};
    std::size_t visited = 0;
    while (!folders.empty() && visited < maxBundleEntries) {
        const auto folder = std::move(folders.back());
        folders.pop_back();
        char** names = g_resource_enumerate_children(resource, folder.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
        for (char** name = names; name && *name && visited < maxBundleEntries; ++name, ++visited) {
            auto path = folder + *name;
            if (path.ends_with('/'))
                folders.push_back(std::move(path));
            else if (path.ends_with(".ui"))
                definitions.push_back(std::move(path));
        }
        g_strfreev(names);
    }
    std::ranges::sort(definitions);

    std::optional<BundledWindow> found;
    // Entries may share one compressed body, inflated again at each lookup: the
    // bytes looked up in one bundle are bounded.
    std::size_t lookedUp = 0;
    for (const auto& path : definitions) {
        gsize size = 0;
        if (!g_resource_get_info(resource, path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, &size, nullptr, nullptr))
            continue;
        if (size > maxDefinitionBytes) {
            log.debug(LogCategory::scraper, "Shortcuts window: {} has {} bytes, passed over", path, size);
            continue;
        }
        if ((lookedUp += size) > maxBundleBytes) {
            log.info(LogCategory::scraper,
                     "Shortcuts window: more than {} bytes of definitions in one bundle; the "
                     "rest passed over",
                     maxBundleBytes);
            break;
        }
        GBytes* data = g_resource_lookup_data(resource, path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
        if (!data)
            continue;
        gsize length = 0;
        const auto* text = static_cast<const char*>(g_bytes_get_data(data, &length));
        const std::string_view definition(text ? text : "", text ? length : 0);
        if (sources::mentionsShortcutsWindow(definition))
            if (auto window = sources::readShortcutsWindow(definition, log))
                found = BundledWindow{path, std::move(*window)};
        g_bytes_unref(data);
        if (found)
            break;
    }
    g_resource_unref(resource);
    return found;
}

TitleTranslator::TitleTranslator(const std::vector<std::string>& domains,
                                 const std::vector<std::filesystem::path>& localeFolders,
                                 const std::vector<std::string>& languages)
{
    for (const auto& domain : domains) {
        for (const auto& language : languages)
            for (const auto& folder : localeFolders) {
                auto file =
                    sources::readUntrustedFile(folder / language / "LC_MESSAGES" / (domain + ".mo"), maxCatalogBytes);
                if (file.status != sources::UntrustedFile::Status::read)
                    continue;
                if (auto catalog = sources::MessageCatalog::parse(file.bytes)) {
                    catalogs_.push_back(std::move(*catalog));
                    break;
                }
            }
        if (!catalogs_.empty()) {
            domain_ = domain;
            return;
        }
    }
}

std::string TitleTranslator::operator()(const sources::UiText& text) const
{
    if (text.translatable)
        for (const auto& catalog : catalogs_)
            if (auto translated = catalog.translate(text.context, text.text))
                return *translated;
    return text.text;
}

ListedShortcuts listedShortcuts(const sources::ShortcutsWindow& window, const sources::Translate& translate,
                                std::string resourcePath, std::string file)
{
    ListedShortcuts listed{std::move(resourcePath), std::move(file), {}};
    for (const auto& group : window.groups) {
        ListedGroup shown{sources::groupTitle(window, group, translate, "Shortcuts"), {}};
        for (const auto& shortcut : group.shortcuts)
            shown.shortcuts.push_back(
                ListedShortcut{translate(shortcut.title), shortcut.accelerator, shortcut.actionName});
        listed.groups.push_back(std::move(shown));
    }
    return listed;
}

ShortcutsWindowSource::ShortcutsWindowSource(platform::Log& log) : log_(log) {}

std::shared_ptr<const ListedShortcuts> ShortcutsWindowSource::read(pid_t pid)
{
    const auto exeLink = fmt::format("/proc/{}/exe", pid);
    const auto program = linkTarget(exeLink);
    auto found = readProgram(exeLink, program, mappedBundles(pid, program));
    if (found)
        log_.info(LogCategory::scraper, "pid {}: shortcuts window {}", pid, found->origin());
    else
        log_.info(LogCategory::scraper, "pid {}: no shortcuts window found", pid);
    return found;
}

std::shared_ptr<const ListedShortcuts> ShortcutsWindowSource::readProgram(const std::string& program,
                                                                          const std::string& shownPath,
                                                                          const std::vector<std::string>& bundleFiles)
{
    const auto start = std::chrono::steady_clock::now();
    auto executable = openRegular(program, shownPath);
    if (!executable) {
        log_.info(LogCategory::scraper, "Shortcuts window: {} cannot be read", shownPath);
        return nullptr;
    }
    std::vector<OpenFile> bundles;
    for (const auto& path : bundleFiles)
        if (auto file = openRegular(path, path))
            bundles.push_back(std::move(*file));
    const auto languages = userLanguages();

    std::string key = executable->key;
    for (const auto& file : bundles)
        key += "\n" + file.key;
    for (const auto& language : languages)
        key += "\n" + language;
    {
        std::lock_guard lock(mutex_);
        if (auto cached = cache_.find(key); cached != cache_.end())
            return cached->second;
    }

    std::optional<BundledWindow> found;
    std::string foundIn;
    auto search = [&](const OpenFile& file) {
        searchBundlesIn(file, [&](std::string_view bundle) {
            if (!(found = findShortcutsWindow(bundle, log_)))
                return false;
            foundIn = file.path;
            return true;
        });
    };
    search(*executable);
    for (const auto& file : bundles)
        if (!found)
            search(file);

    std::shared_ptr<const ListedShortcuts> result;
    if (found) {
        const TitleTranslator translate(textDomains(found->window, executable->path, found->resourcePath),
                                        localeFolders(executable->path), languages);
        auto listed = listedShortcuts(found->window, std::cref(translate), found->resourcePath, foundIn);
        std::size_t rows = 0;
        for (const auto& group : listed.groups)
            rows += group.shortcuts.size();
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        log_.info(LogCategory::scraper, "Shortcuts window {}: {} rows, text domain {}, read in {:.1f} ms",
                  listed.origin(), rows, translate.domain().empty() ? "none" : translate.domain(), elapsed.count());
        result = std::make_shared<const ListedShortcuts>(std::move(listed));
    } else {
        log_.info(LogCategory::scraper, "Shortcuts window: none in {} or the {} bundle files it maps", shownPath,
                  bundles.size());
    }
    std::lock_guard lock(mutex_);
    if (cache_.size() >= maxCachedPrograms)
        cache_.clear();
    cache_.emplace(std::move(key), result);
    return result;
}

} // namespace hb::linux_platform
