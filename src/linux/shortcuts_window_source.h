#pragma once

#include "base/log.h"
#include "sources/message_catalog.h"
#include "sources/shortcuts_window_reader.h"

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The shortcuts window that a running GTK application carries in its
// GResource bundles: in its executable (ELF sections ".gresource.*"), in
// ".gresource" files it has mapped, or in its private libraries.
namespace hb::linux_platform {

// One row of the window, its title in the user's language.
struct ListedShortcut {
    std::string title;
    std::string accelerator; // GTK's syntax, one combination
    std::string actionName;  // empty when the window names none
};

struct ListedGroup {
    std::string title;
    std::vector<ListedShortcut> shortcuts;
};

struct ListedShortcuts {
    std::string resourcePath; // "/org/gnome/TextEditor/ui/help-overlay.ui"
    std::string file;         // the file that holds the bundle
    std::vector<ListedGroup> groups;

    std::string origin() const { return resourcePath + " in " + file; }
};

// Bounds for untrusted bundles.
inline constexpr std::size_t maxBundleBytes = 64 << 20;
inline constexpr std::size_t maxDefinitionBytes = 4 << 20;
inline constexpr std::size_t maxBundleEntries = 100'000;

// A shortcuts window found in a bundle: the resource path and the window.
struct BundledWindow {
    std::string resourcePath;
    sources::ShortcutsWindow window;
};

// The first shortcuts window among the user-interface definitions (".ui") of
// a GResource bundle held in memory; absent when the bundle is malformed or
// holds none. Definitions larger than maxDefinitionBytes are passed over.
std::optional<BundledWindow> findShortcutsWindow(std::string_view bundle, platform::Log& log);

// Translates titles with a text domain's message catalogues in the user's
// language (sources::catalogLanguages of the environment).
class TitleTranslator {
public:
    // The catalogues of the first domain of `domains` that has one for the
    // language, looked for below each of `localeFolders` ("/usr/share/locale").
    TitleTranslator(const std::vector<std::string>& domains, const std::vector<std::filesystem::path>& localeFolders,
                    const std::vector<std::string>& languages);
    std::string operator()(const sources::UiText& text) const;
    const std::string& domain() const { return domain_; }

private:
    std::string domain_;
    std::vector<sources::MessageCatalog> catalogs_;
};

// The rows of a window with translated titles.
ListedShortcuts listedShortcuts(const sources::ShortcutsWindow& window, const sources::Translate& translate,
                                std::string resourcePath, std::string file);

// Finds and reads the shortcuts windows of running processes. Each result is
// kept per executable and bundle files (path, size and modification time)
// and language, so that a second read of the same program costs a look at
// /proc. Safe from several threads.
class ShortcutsWindowSource {
public:
    explicit ShortcutsWindowSource(platform::Log& log);
    // The rows of the process's shortcuts window; null when its executable
    // cannot be read or no bundle holds a readable shortcuts window.
    std::shared_ptr<const ListedShortcuts> read(pid_t pid);
    // The same for a program file (opened at `program`, known as `shownPath`)
    // and the files it maps that may hold bundles (ELF files or bundles).
    std::shared_ptr<const ListedShortcuts> readProgram(const std::string& program, const std::string& shownPath,
                                                       const std::vector<std::string>& bundleFiles);

private:
    platform::Log& log_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const ListedShortcuts>> cache_;
};

} // namespace hb::linux_platform
