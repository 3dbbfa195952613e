#include "linux/desktop_entries.h"

#include "base/xdg_folders.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace hb::linux_platform {
namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t maximumEntrySize = 1 << 20;

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\r";
    auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string unescaped(std::string_view value)
{
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            result += ' ';
            break;
        case 'n':
            result += '\n';
            break;
        case 't':
            result += '\t';
            break;
        case 'r':
            result += '\r';
            break;
        default:
            result += value[i];
            break;
        }
    }
    return result;
}

// "de_AT.UTF-8@euro" gives de_AT@euro, de_AT, de@euro, de.
std::vector<std::string> localeSuffixes(std::string_view locale)
{
    if (locale.empty() || locale == "C" || locale == "POSIX")
        return {};
    std::string_view modifier;
    if (auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    std::string_view language = locale.substr(0, locale.find('_'));
    std::vector<std::string> suffixes;
    if (language != locale) {
        if (!modifier.empty())
            suffixes.push_back(std::string(locale) + std::string(modifier));
        suffixes.emplace_back(locale);
    }
    if (!modifier.empty())
        suffixes.push_back(std::string(language) + std::string(modifier));
    suffixes.emplace_back(language);
    return suffixes;
}

bool equalIgnoringASCIICase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b,
                              [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string lastComponent(std::string_view id)
{
    return std::string(id.substr(id.rfind('.') + 1));
}

std::string fileID(const fs::path& relative)
{
    std::string id = relative.generic_string();
    id.resize(id.size() - std::string_view(".desktop").size());
    std::ranges::replace(id, '/', '-');
    return id;
}

std::string readSmallFile(const fs::path& path)
{
    std::error_code error;
    if (fs::file_size(path, error) > maximumEntrySize || error)
        return {};
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

// The program of an Exec line: its first word (quoted or not) without folder,
// past an "env VAR=value" prefix.
std::optional<std::string> execProgram(std::string_view exec)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (quoted && c == '\\' && i + 1 < exec.size()) {
            word += exec[++i];
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    auto program = words.begin();
    if (program != words.end() && fs::path(*program).filename() == "env")
        for (++program; program != words.end() && program->find('=') != std::string::npos; ++program) {}
    if (program == words.end())
        return std::nullopt;
    auto file = fs::path(*program).filename().string();
    return file.empty() ? std::nullopt : std::optional(file);
}

} // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view contents, std::string id, std::string_view locale)
{
    std::map<std::string, std::string, std::less<>> values;
    bool inEntryGroup = false;
    while (!contents.empty()) {
        auto end = contents.find('\n');
        std::string_view line = trimmed(contents.substr(0, end));
        contents = end == std::string_view::npos ? std::string_view() : contents.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (inEntryGroup)
                break; // the entry group is complete
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        auto equals = line.find('=');
        if (!inEntryGroup || equals == std::string_view::npos)
            continue;
        values.emplace(std::string(trimmed(line.substr(0, equals))), unescaped(trimmed(line.substr(equals + 1))));
    }

    auto value = [&](std::string_view key) -> std::optional<std::string> {
        auto found = values.find(key);
        if (found == values.end() || found->second.empty())
            return std::nullopt;
        return found->second;
    };
    if (value("Type") != "Application" || value("Hidden") == "true")
        return std::nullopt;
    std::optional<std::string> name;
    for (const auto& suffix : localeSuffixes(locale))
        if ((name = value("Name[" + suffix + "]")))
            break;
    if (!name && !(name = value("Name")))
        return std::nullopt;
    return DesktopEntry{std::move(id), std::move(*name), value("Icon"), value("StartupWMClass"),
                        execProgram(value("Exec").value_or(""))};
}

std::vector<fs::path> applicationFolders()
{
    std::vector<fs::path> folders{platform::xdgDataHome() / "applications"};
    for (const auto& folder : platform::xdgDataDirs())
        folders.push_back(folder / "applications");
    return folders;
}

std::string messagesLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value)
            return value;
    return {};
}

DesktopEntries::DesktopEntries(std::vector<fs::path> folders, std::string locale)
    : folders_(std::move(folders)), locale_(std::move(locale))
{}

std::vector<fs::file_time_type> DesktopEntries::folderTimes() const
{
    std::vector<fs::file_time_type> times;
    for (const auto& folder : folders_) {
        std::error_code error;
        auto time = fs::last_write_time(folder, error);
        times.push_back(error ? fs::file_time_type::min() : time);
    }
    return times;
}

void DesktopEntries::refreshIfChanged()
{
    auto times = folderTimes();
    if (scannedTimes_ == times)
        return;
    scannedTimes_ = std::move(times);
    entries_.clear();
    std::set<std::string> seenIDs; // the first file of an id decides, even when it hides the application
    for (const auto& folder : folders_) {
        std::vector<fs::path> files;
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            if (it->path().extension() == ".desktop" && it->is_regular_file(error))
                files.push_back(it->path());
        }
        std::ranges::sort(files);
        for (const auto& file : files) {
            std::string id = fileID(file.lexically_relative(folder));
            if (!seenIDs.insert(id).second)
                continue;
            if (auto entry = parseDesktopEntry(readSmallFile(file), id, locale_))
                entries_.push_back(std::move(*entry));
        }
    }
}

std::optional<DesktopEntry> DesktopEntries::byID(std::string_view id)
{
    id = id.substr(id.rfind('/') + 1);
    if (id.ends_with(".desktop"))
        id.remove_suffix(std::string_view(".desktop").size());
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    auto found = std::ranges::find(entries_, id, &DesktopEntry::id);
    return found == entries_.end() ? std::nullopt : std::optional(*found);
}

std::optional<DesktopEntry> DesktopEntries::forWindowClass(std::string_view instance, std::string_view className)
{
    auto names = [&](std::string_view value) {
        return (!instance.empty() && equalIgnoringASCIICase(value, instance))
               || (!className.empty() && equalIgnoringASCIICase(value, className));
    };
    std::lock_guard lock(mutex_);
    refreshIfChanged();
    const std::initializer_list<std::function<bool(const DesktopEntry&)>> rules = {
        [&](const DesktopEntry& e) { return e.startupWMClass && names(*e.startupWMClass); },
        [&](const DesktopEntry& e) { return names(e.id); },
        [&](const DesktopEntry& e) { return names(lastComponent(e.id)); },
    };
    for (const auto& rule : rules)
        if (auto found = std::ranges::find_if(entries_, rule); found != entries_.end())
            return *found;
    return std::nullopt;
}

} // namespace hb::linux_platform
