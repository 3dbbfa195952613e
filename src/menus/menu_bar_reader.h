#pragma once

#include "base/log.h"
#include "model/shortcut.h"
#include "model/text.h"
#include "platform/accessibility.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hb {

// What to read from an application's menu bar.
struct MenuReadOptions {
    pid_t pid = 0;
    bool includeAll = false;                    // keep items without a key equivalent
    std::vector<std::string> ignoredTitles;     // command title patterns
    std::vector<std::string> ignoredMenuTitles; // top-level menu title patterns
    std::optional<std::int64_t> maxSubmenuSize; // drop larger submenus that have no key equivalents

    friend bool operator==(const MenuReadOptions&, const MenuReadOptions&) = default;
};

// What an application's shortcuts window adds to its menu bar: all its groups
// when the menu bar gave nothing, else one section titled
// shortcutsWindowSectionTitle with the rows whose keys no menu item carries
// (a group per group of the window).
inline constexpr std::string_view shortcutsWindowSectionTitle = "Keyboard Shortcuts";
std::vector<MenuSection> withShortcutsWindow(std::vector<MenuSection> menuBar, std::vector<MenuSection> window);

// What one read of an application's menus gives.
struct MenuReadResult {
    std::vector<MenuSection> sections;
    std::vector<Shortcut> ignoredShortcuts; // rows of the menus the ignore rules hide
    bool answered = true;                   // false: a request timed out, the application is busy or hung
};

// Turns another application's live menu bar into sections, with the
// shortcuts its shortcuts window lists (platform::ax::shortcutsWindow). Stateless apart
// from its references; safe to use from several threads at once.
class MenuBarReader {
public:
    // Items one read visits at most; a larger tree is read up to this point.
    static constexpr std::size_t maxItemsPerRead = 250'000;
    // How long one request may keep a read waiting.
    static constexpr std::chrono::duration<double> messagingTimeout{1.0};

    MenuBarReader(platform::Accessibility& accessibility, platform::Log& log);

    // Never fails: an unreadable menu bar gives nothing. One walk of the menu
    // bar gives both the sections and the rows of the top-level menus that
    // `ignoredMenuTitles` hide.
    MenuReadResult readMenus(const MenuReadOptions& options) const;
    std::vector<MenuSection> readMenuBar(const MenuReadOptions& options) const { return readMenus(options).sections; }
    // False when a request of the latest read timed out: the application is busy or hung.
    bool answered(pid_t pid) const { return accessibility_.answers(pid); }

private:
    struct SubmenuRows {
        std::vector<Shortcut> rows;
        std::size_t childCount = 0;
    };
    struct ItemKeys;
    // Items a read may still visit: bounds the work an application's menu
    // tree can cause, whatever its shape (cycles included).
    struct Budget {
        std::size_t itemsLeft;
        bool exhausted = false;
        bool take()
        {
            exhausted = exhausted || itemsLeft == 0;
            return !exhausted && itemsLeft-- > 0;
        }
    };

    platform::ElementRef applicationOf(pid_t pid) const;
    // The sections below a menu bar (or an element shaped like one); the rows
    // of the menus `ignoredMenus` hide go to `ignoredRows`.
    std::vector<MenuSection> readSections(const platform::ElementRef& menuBar, const MenuReadOptions& options,
                                          const text::PatternSet& ignoredMenus, const text::PatternSet& ignoredTitles,
                                          Budget& budget, std::vector<Shortcut>& ignoredRows) const;
    std::vector<ShortcutGroup> readMenu(const platform::ElementRef& menu, const MenuReadOptions& options,
                                        const text::PatternSet& ignoredTitles, Budget& budget) const;
    SubmenuRows readSubmenu(const platform::ElementRef& submenu, bool includeAll, int depth,
                            const text::PatternSet& ignoredTitles, Budget& budget) const;
    ItemKeys readKeys(const platform::ElementRef& item) const;

    platform::Accessibility& accessibility_;
    platform::Log& log_;
};

} // namespace hb
