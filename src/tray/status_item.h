#pragma once

#include "settings/settings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hb {

// One line of the status menu.
struct StatusMenuEntry {
    enum class Kind { action, information, separator };

    Kind kind = Kind::action;
    std::string title;
    // The key shown beside the title, and whether Command goes with it.
    std::string keyEquivalent;
    bool commandModifier = false;
    // The same keys as the key-labels setting writes them ("Ctrl+," or "⌃,").
    std::string keyText;
    // The keys in key notation ("⌃,", "⌥⌘K"), for screen readers and for
    // hosts that draw the menu themselves.
    std::string keys;
    bool enabled = true;
    std::function<void()> action;
};

// A click on the status icon, as the desktop reported it.
struct StatusClick {
    bool secondaryButton = false;    // the right button (or the host's context request)
    std::uint64_t modifierFlags = 0; // event modifier flags held at the click
};

// The program's icon in the panel's tray area, with its menu and its ready
// hint. The tray host may be missing: then nothing is shown and `exists` is
// false. Main thread only.
class StatusItem {
public:
    virtual ~StatusItem() = default;

    // Whether the icon can be shown (a tray host is there).
    virtual bool exists() const = 0;
    virtual void setIconStyle(MenuBarIconStyle style) = 0;
    // Opens the menu at the icon; the entries live until the next opening.
    virtual void showMenu(std::vector<StatusMenuEntry> entries) = 0;
    // A small bubble at the icon until `closeReadyHint`.
    virtual void showReadyHint(const std::string& title, const std::string& text) = 0;
    virtual void closeReadyHint() = 0;
    // The about box: version, author, web site, feedback address.
    virtual void showAbout() = 0;

    // Set by the owner; the item calls it for every click on the icon.
    std::function<void(const StatusClick&)> onClick;
    // Set by the owner; a tray host that draws the menu itself (from the
    // menu the item exports) asks for the entries each time it opens it.
    std::function<std::vector<StatusMenuEntry>()> onMenuOpening;
};

} // namespace hb
