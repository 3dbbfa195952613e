#pragma once

#include "model/uuid.h"
#include "platform/accessibility.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace hb {

// A row's title and keys in folded form (text::folded), as searches compare
// them, with the texts they were made from.
struct FoldedTexts {
    std::string title;
    std::string keys;
    std::string foldedTitle;
    std::string foldedKeys;     // the notation: "⌃⇧s"
    std::string foldedKeyWords; // as typed by users of key words: "ctrl+shift+s"

    static std::shared_ptr<const FoldedTexts> of(const std::string& title, const std::string& keys);
};

// One row: a command and its key combination.
struct Shortcut {
    Uuid id = Uuid::random();
    std::string title;
    std::string keys;               // key notation; empty when the command has none
    platform::ElementRef axElement; // the live menu item, when read from a menu
    bool isDisabled = false;        // a deactivated system shortcut
    // The desktop lets no program run the command here: the user presses its keys.
    bool cannotRunHere = false;
    bool isSeparator = false;
    // Made once when the row is read and shared by all its copies.
    std::shared_ptr<const FoldedTexts> folds;

    static Shortcut separator();

    // Folds the title and keys as they are now.
    void foldTexts();
    // The folds while they are still those of the title and keys, else null.
    const FoldedTexts* currentFolds() const;

    // The modifier glyphs that occur in the keys, in glyph order; empty for a separator.
    std::vector<std::string> modifierSet() const;

    friend bool operator==(const Shortcut& a, const Shortcut& b) { return a.id == b.id; }
    std::size_t hash() const { return id.hash(); }
};

// A run of rows under an optional sub-heading (one submenu).
struct ShortcutGroup {
    Uuid id = Uuid::random();
    std::optional<std::string> title; // absent for a menu's own items
    std::vector<Shortcut> shortcuts;

    friend bool operator==(const ShortcutGroup&, const ShortcutGroup&) = default;
    std::size_t hash() const;
};

// One top-level menu, or a pseudo-menu supplied by another source.
struct MenuSection {
    Uuid id = Uuid::random();
    std::string title;
    std::vector<ShortcutGroup> groups;

    std::vector<Shortcut> allShortcuts() const;

    friend bool operator==(const MenuSection&, const MenuSection&) = default;
    std::size_t hash() const;
};

// Everything read for one application.
struct AppShortcuts {
    std::string appName;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> iconName; // a freedesktop icon name
    std::vector<MenuSection> sections;
    bool includesItemsWithoutShortcuts = false;
    std::vector<Shortcut> ignoredMenuShortcuts;
    std::optional<pid_t> pid;
    bool answered = true; // false: the menus could not be read, the application is busy or hung

    bool hasNoShortcuts() const;
    // The key texts used by two or more rows.
    std::set<std::string> conflictingKeys() const;
};

// What the popup is asked to show.
struct NeedsPermission {};
struct NoApp {};
using PopupContent = std::variant<AppShortcuts, NeedsPermission, NoApp>;

} // namespace hb

template <>
struct std::hash<hb::Shortcut> {
    std::size_t operator()(const hb::Shortcut& s) const noexcept { return s.hash(); }
};
template <>
struct std::hash<hb::ShortcutGroup> {
    std::size_t operator()(const hb::ShortcutGroup& g) const noexcept { return g.hash(); }
};
template <>
struct std::hash<hb::MenuSection> {
    std::size_t operator()(const hb::MenuSection& s) const noexcept { return s.hash(); }
};
