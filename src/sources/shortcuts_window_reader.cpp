#include "sources/shortcuts_window_reader.h"

#include "sources/desktop_keybindings.h"
#include "sources/xml_tree.h"

#include <algorithm>
#include <array>

namespace hb::sources {
namespace {

using platform::LogCategory;
using platform::privately;

constexpr std::array windowClasses{std::string_view("GtkShortcutsWindow"), std::string_view("AdwShortcutsDialog")};
constexpr std::array sectionClasses{std::string_view("GtkShortcutsSection"), std::string_view("AdwShortcutsSection")};
constexpr std::string_view groupClass = "GtkShortcutsGroup";
constexpr std::array shortcutClasses{std::string_view("GtkShortcutsShortcut"), std::string_view("AdwShortcutsItem")};

bool isOneOf(std::string_view name, const auto& names)
{
    return std::ranges::find(names, name) != names.end();
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// At most `limit` bytes of a UTF-8 text, cut before a character.
std::string_view cut(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return text;
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80)
        --limit;
    return text.substr(0, limit);
}

// A text domain names a catalogue file in a locale folder: a plain file name.
bool isTextDomainName(std::string_view domain)
{
    return !domain.empty() && domain.size() <= 255 && domain.front() != '.'
           && domain.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// A property's name with GtkBuilder's "_" for "-" made one.
std::string propertyName(std::string_view name)
{
    std::string plain(name);
    std::ranges::replace(plain, '_', '-');
    return plain;
}

struct Properties {
    std::optional<UiText> title;
    std::optional<std::string> accelerator;
    std::string actionName;
    std::string shortcutType;
};

Properties propertiesOf(const xml::Element& object)
{
    Properties properties;
    for (const auto& child : object.children) {
        if (child.name != "property")
            continue;
        const auto name = propertyName(child.attribute("name").value_or(""));
        if (name == "title") {
            const auto translatable = child.attribute("translatable").value_or("");
            // Copied once per accelerator and per translation: kept short.
            properties.title = UiText{std::string(cut(trimmed(child.text), maxTitleBytes)),
                                      std::string(cut(child.attribute("context").value_or(""), maxTitleBytes)),
                                      translatable == "yes" || translatable == "true" || translatable == "1"};
        } else if (name == "accelerator") {
            properties.accelerator = child.text;
        } else if (name == "action-name") {
            properties.actionName = trimmed(child.text);
        } else if (name == "shortcut-type") {
            properties.shortcutType = trimmed(child.text);
        }
    }
    return properties;
}

class Reader {
public:
    explicit Reader(platform::Log& log) : log_(log) {}

    void walk(const xml::Element& element, bool insideWindow)
    {
        for (const auto& child : element.children) {
            if (child.name != "object" && child.name != "template") {
                walk(child, insideWindow);
                continue;
            }
            const auto type = child.name == "template" ? child.attribute("parent").value_or("")
                                                       : child.attribute("class").value_or("");
            if (isOneOf(type, windowClasses)) {
                walk(child, true);
            } else if (!insideWindow) {
                walk(child, false);
            } else if (isOneOf(type, sectionClasses)) {
                ++window.sectionCount;
                section_ = propertiesOf(child).title.value_or(UiText{});
                group_.reset();
                walk(child, true);
                group_.reset();
            } else if (type == groupClass) {
                const auto outer = group_;
                group_ = window.groups.size();
                window.groups.push_back(WindowGroup{section_, propertiesOf(child).title.value_or(UiText{}), {}});
                walk(child, true);
                // Empty groups go at once: never more of them than of shortcuts.
                if (window.groups.size() == *group_ + 1 && window.groups.back().shortcuts.empty())
                    window.groups.pop_back();
                group_ = outer;
            } else if (isOneOf(type, shortcutClasses)) {
                addShortcut(propertiesOf(child));
            } else {
                walk(child, true);
            }
        }
    }

    ShortcutsWindow window;

private:
    void addShortcut(const Properties& properties)
    {
        const auto title = properties.title.value_or(UiText{});
        if (!properties.shortcutType.empty() && properties.shortcutType != "accelerator") {
            log_.debug(LogCategory::scraper, "Shortcuts window: '{}' is a {}, skipped", privately(title.text),
                       properties.shortcutType);
            return;
        }
        if (!properties.accelerator || trimmed(*properties.accelerator).empty()) {
            log_.debug(LogCategory::scraper, "Shortcuts window: '{}' names no accelerator, skipped",
                       privately(title.text));
            return;
        }
        if (properties.accelerator->size() > maxAcceleratorBytes) {
            log_.debug(LogCategory::scraper, "Shortcuts window: the accelerator of '{}' has {} bytes, skipped",
                       privately(title.text), properties.accelerator->size());
            return;
        }
        // A dialog's section holds its items directly: it is their group.
        if (!group_) {
            group_ = window.groups.size();
            window.groups.push_back(WindowGroup{UiText{}, section_, {}});
        }
        auto& shortcuts = window.groups[*group_].shortcuts;
        std::string_view accelerators = *properties.accelerator;
        while (!(accelerators = trimmed(accelerators)).empty()) {
            const auto space = accelerators.find_first_of(" \t\r\n");
            const auto accelerator = accelerators.substr(0, space);
            accelerators.remove_prefix(accelerator.size());
            const bool range =
                accelerator.find("...") != std::string_view::npos || accelerator.find("…") != std::string_view::npos;
            if (range || !keybinding::gtkAccelerator(accelerator)) {
                log_.debug(LogCategory::scraper, "Shortcuts window: '{}' {} '{}' cannot be shown, skipped",
                           privately(title.text), range ? "range" : "accelerator", accelerator);
                continue;
            }
            if (shortcutCount_++ >= maxWindowShortcuts)
                return;
            shortcuts.push_back(WindowShortcut{title, std::string(accelerator), properties.actionName});
        }
    }

    platform::Log& log_;
    UiText section_;
    std::optional<std::size_t> group_; // index in window.groups
    std::size_t shortcutCount_ = 0;
};

} // namespace

bool mentionsShortcutsWindow(std::string_view definition)
{
    return std::ranges::any_of(windowClasses,
                               [&](auto name) { return definition.find(name) != std::string_view::npos; });
}

std::optional<ShortcutsWindow> readShortcutsWindow(std::string_view definition, platform::Log& log)
{
    auto root = xml::parse(definition);
    if (!root) {
        log.info(LogCategory::scraper, "Shortcuts window: the definition is not readable XML");
        return std::nullopt;
    }
    Reader reader(log);
    reader.walk(*root, false);
    auto& window = reader.window;
    std::erase_if(window.groups, [](const WindowGroup& group) { return group.shortcuts.empty(); });
    if (window.groups.empty())
        return std::nullopt;
    const auto domain = root->attribute("domain").value_or("");
    if (isTextDomainName(domain))
        window.textDomain = domain;
    else if (!domain.empty())
        log.info(LogCategory::scraper, "Shortcuts window: the text domain '{}' is no file name, not used",
                 privately(std::string(cut(domain, 255))));
    return std::move(window);
}

std::string groupTitle(const ShortcutsWindow& window, const WindowGroup& group, const Translate& translate,
                       std::string_view fallback)
{
    const bool hasSection = !group.section.text.empty();
    const bool hasGroup = !group.title.text.empty();
    if (hasSection && hasGroup && window.sectionCount > 1)
        return translate(group.section) + " — " + translate(group.title);
    if (hasGroup)
        return translate(group.title);
    if (hasSection)
        return translate(group.section);
    return std::string(fallback);
}

} // namespace hb::sources
