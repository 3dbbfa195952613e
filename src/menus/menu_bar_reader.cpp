#include "menus/menu_bar_reader.h"

#include "model/key_notation.h"
#include "model/text.h"

#include <algorithm>
#include <chrono>
#include <set>

namespace hb {

using platform::ElementRef;
using platform::LogCategory;
using platform::privately;
namespace ax = platform::ax;

namespace {

constexpr int maxSubmenuDepth = 9;

std::string optionalText(const std::optional<std::string>& value)
{
    return value ? "'" + *value + "'" : "nil";
}

std::string optionalNumber(std::optional<std::int64_t> value)
{
    return value ? std::to_string(*value) : "nil";
}

std::string_view lazyHint(std::size_t childCount)
{
    return childCount == 0 ? "; likely lazy-populated" : "";
}

Shortcut row(std::string title, std::string keys, ElementRef element)
{
    Shortcut shortcut;
    shortcut.title = std::move(title);
    shortcut.keys = std::move(keys);
    shortcut.axElement = std::move(element);
    // Searches in the popup compare folded texts; each read folds them once.
    shortcut.foldTexts();
    return shortcut;
}

} // namespace

// The key-equivalent attributes of one item, as read.
struct MenuBarReader::ItemKeys {
    std::optional<std::string> character;
    std::optional<std::int64_t> virtualKey;
    std::optional<std::int64_t> glyph;
    std::optional<std::int64_t> modifiers;
    std::optional<std::string> notation;
};

MenuBarReader::MenuBarReader(platform::Accessibility& accessibility, platform::Log& log)
    : accessibility_(accessibility), log_(log)
{}

ElementRef MenuBarReader::applicationOf(pid_t pid) const
{
    auto application = accessibility_.applicationElement(pid);
    accessibility_.setMessagingTimeout(application, MenuBarReader::messagingTimeout);
    return application;
}

MenuBarReader::ItemKeys MenuBarReader::readKeys(const ElementRef& item) const
{
    ItemKeys keys;
    keys.character = platform::readText(accessibility_, item, ax::cmdChar);
    keys.virtualKey = platform::readInteger(accessibility_, item, ax::cmdVirtualKey);
    keys.glyph = platform::readInteger(accessibility_, item, ax::cmdGlyph);
    keys.modifiers = platform::readInteger(accessibility_, item, ax::cmdModifiers);
    keys.notation = notation::menuKeyNotation(keys.character, keys.virtualKey, keys.glyph, keys.modifiers);
    return keys;
}

MenuReadResult MenuBarReader::readMenus(const MenuReadOptions& options) const
{
    const auto start = std::chrono::steady_clock::now();
    auto application = applicationOf(options.pid);
    auto menuBar = platform::readElement(accessibility_, application, ax::menuBar);
    auto shortcutsWindow = platform::readElement(accessibility_, application, ax::shortcutsWindow);
    if (!menuBar && !shortcutsWindow) {
        log_.error(LogCategory::scraper, "Could not read menu bar (pid {})", options.pid);
        return {};
    }
    if (!menuBar)
        log_.debug(LogCategory::scraper, "pid {} shows no menu bar; its shortcuts window is read", options.pid);

    MenuReadResult result;
    auto& sections = result.sections;
    Budget budget{maxItemsPerRead};
    const text::PatternSet ignoredMenus(options.ignoredMenuTitles);
    const text::PatternSet ignoredTitles(options.ignoredTitles);
    if (menuBar) {
        sections = readSections(menuBar, options, ignoredMenus, ignoredTitles, budget, result.ignoredShortcuts);
        if (budget.exhausted)
            log_.error(LogCategory::scraper, "Menu bar of pid {} has more than {} items; read stopped there",
                       options.pid, maxItemsPerRead);
        // An application that quit or stopped answering part-way left the rest unread.
        else if (platform::readChildren(accessibility_, menuBar).empty())
            log_.error(LogCategory::scraper, "pid {} stopped answering during the read; {} menus read", options.pid,
                       sections.size());
    }
    if (shortcutsWindow) {
        auto listed =
            readSections(shortcutsWindow, options, ignoredMenus, ignoredTitles, budget, result.ignoredShortcuts);
        for (auto& section : listed)
            for (auto& group : section.groups)
                for (auto& shortcut : group.shortcuts)
                    shortcut.cannotRunHere =
                        platform::readBoolean(accessibility_, shortcut.axElement, ax::runsHere) == false;
        log_.debug(LogCategory::scraper, "pid {}: its shortcuts window lists {} groups", options.pid, listed.size());
        sections = withShortcutsWindow(std::move(sections), std::move(listed));
    }

    std::size_t rowCount = 0;
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            rowCount += group.shortcuts.size();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    log_.info(LogCategory::scraper, "pid {}: {} menus, {} items in {:.3f}s", options.pid, sections.size(), rowCount,
              elapsed.count());
    return result;
}

std::vector<MenuSection> MenuBarReader::readSections(const ElementRef& menuBar, const MenuReadOptions& options,
                                                     const text::PatternSet& ignoredMenus,
                                                     const text::PatternSet& ignoredTitles, Budget& budget,
                                                     std::vector<Shortcut>& ignoredRows) const
{
    std::vector<MenuSection> sections;
    for (const auto& item : platform::readChildren(accessibility_, menuBar)) {
        if (!budget.take())
            break;
        auto title = text::sanitizedMenuTitle(platform::readText(accessibility_, item, ax::title).value_or(""));
        auto children = platform::readChildren(accessibility_, item);
        if (children.empty())
            continue;
        // The popup still answers the keys of a hidden menu's rows.
        if (ignoredMenus.matches(title)) {
            auto hidden = readSubmenu(children.front(), false, 0, text::PatternSet(), budget);
            ignoredRows.insert(ignoredRows.end(), std::make_move_iterator(hidden.rows.begin()),
                               std::make_move_iterator(hidden.rows.end()));
            continue;
        }
        auto groups = readMenu(children.front(), options, ignoredTitles, budget);
        if (groups.empty())
            continue;
        sections.push_back(MenuSection{Uuid::random(), std::move(title), std::move(groups)});
    }
    return sections;
}

std::vector<ShortcutGroup> MenuBarReader::readMenu(const ElementRef& menu, const MenuReadOptions& options,
                                                   const text::PatternSet& ignoredTitles, Budget& budget) const
{
    std::vector<Shortcut> ownRows;
    std::vector<ShortcutGroup> submenuGroups;

    for (const auto& item : platform::readChildren(accessibility_, menu)) {
        if (!budget.take())
            break;
        auto title = text::sanitizedMenuTitle(platform::readText(accessibility_, item, ax::title).value_or(""));
        if (title.empty()) {
            ownRows.push_back(Shortcut::separator());
            continue;
        }
        if (ignoredTitles.matches(title))
            continue;

        auto keys = readKeys(item);
        auto children = platform::readChildren(accessibility_, item);
        const bool hasSubmenu = !children.empty();

        if (keys.notation) {
            ownRows.push_back(row(title, *keys.notation, item));
        } else if (!hasSubmenu) {
            if (options.includeAll)
                ownRows.push_back(row(title, "", item));
            if (log_.debugLoggingEnabled())
                log_.debug(LogCategory::scraper, "No shortcut for '{}': char={} vkey={} glyph={} mods={}",
                           privately(title), privately(optionalText(keys.character)),
                           privately(optionalNumber(keys.virtualKey)), privately(optionalNumber(keys.glyph)),
                           privately(optionalNumber(keys.modifiers)));
            continue;
        }
        if (!hasSubmenu)
            continue;

        auto submenu = readSubmenu(children.front(), options.includeAll, 0, ignoredTitles, budget);
        if (submenu.rows.empty()) {
            log_.debug(LogCategory::scraper, "Submenu '{}' yielded 0 items ({} child items{})", privately(title),
                       submenu.childCount, privately(lazyHint(submenu.childCount)));
            continue;
        }
        const bool tooLarge =
            options.maxSubmenuSize && static_cast<std::int64_t>(submenu.rows.size()) > *options.maxSubmenuSize;
        const bool withoutKeys = std::all_of(submenu.rows.begin(), submenu.rows.end(),
                                             [](const Shortcut& shortcut) { return shortcut.keys.empty(); });
        if (tooLarge && withoutKeys)
            continue;
        submenuGroups.push_back(ShortcutGroup{Uuid::random(), title, std::move(submenu.rows)});
    }

    std::vector<ShortcutGroup> groups;
    if (!ownRows.empty())
        groups.push_back(ShortcutGroup{Uuid::random(), std::nullopt, std::move(ownRows)});
    groups.insert(groups.end(), std::make_move_iterator(submenuGroups.begin()),
                  std::make_move_iterator(submenuGroups.end()));
    return groups;
}

MenuBarReader::SubmenuRows MenuBarReader::readSubmenu(const ElementRef& submenu, bool includeAll, int depth,
                                                      const text::PatternSet& ignoredTitles, Budget& budget) const
{
    SubmenuRows result;
    if (depth > maxSubmenuDepth)
        return result;

    auto items = platform::readChildren(accessibility_, submenu);
    result.childCount = items.size();
    for (const auto& item : items) {
        if (!budget.take())
            break;
        auto title = text::sanitizedMenuTitle(platform::readText(accessibility_, item, ax::title).value_or(""));
        if (title.empty()) {
            result.rows.push_back(Shortcut::separator());
            continue;
        }
        if (ignoredTitles.matches(title))
            continue;

        auto keys = readKeys(item);
        auto children = platform::readChildren(accessibility_, item);
        if (keys.notation)
            result.rows.push_back(row(title, *keys.notation, item));
        else if (children.empty() && includeAll)
            result.rows.push_back(row(title, "", item));
        if (children.empty())
            continue;

        auto nested = readSubmenu(children.front(), includeAll, depth + 1, ignoredTitles, budget);
        if (nested.rows.empty())
            log_.debug(LogCategory::scraper, "Nested submenu '{}' yielded 0 items ({} child items{})", privately(title),
                       nested.childCount, privately(lazyHint(nested.childCount)));
        result.rows.insert(result.rows.end(), std::make_move_iterator(nested.rows.begin()),
                           std::make_move_iterator(nested.rows.end()));
    }
    return result;
}

std::vector<MenuSection> withShortcutsWindow(std::vector<MenuSection> menuBar, std::vector<MenuSection> window)
{
    if (menuBar.empty())
        return window;
    std::set<std::string, std::less<>> carried;
    for (const auto& section : menuBar)
        for (const auto& group : section.groups)
            for (const auto& shortcut : group.shortcuts)
                carried.insert(shortcut.keys);
    MenuSection extra{Uuid::random(), std::string(shortcutsWindowSectionTitle), {}};
    for (auto& section : window) {
        std::vector<Shortcut> rows;
        for (auto& group : section.groups)
            for (auto& shortcut : group.shortcuts)
                if (!shortcut.isSeparator && !shortcut.keys.empty() && !carried.contains(shortcut.keys))
                    rows.push_back(std::move(shortcut));
        if (!rows.empty())
            extra.groups.push_back(ShortcutGroup{Uuid::random(), std::move(section.title), std::move(rows)});
    }
    if (!extra.groups.empty())
        menuBar.push_back(std::move(extra));
    return menuBar;
}

} // namespace hb
