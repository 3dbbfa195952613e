#pragma once

#include "base/log.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The shortcuts window of a GTK application (GtkShortcutsWindow, or
// libadwaita's AdwShortcutsDialog), read from its user-interface definition
// (GtkBuilder XML) as untrusted data.
namespace hb::sources {

// A text of the definition, with what its translation needs.
struct UiText {
    std::string text;
    std::string context; // gettext message context; empty for none
    bool translatable = false;
};

// One key combination the window lists: one accelerator of a shortcut, in
// GTK's accelerator syntax ("<Primary><Shift>n").
struct WindowShortcut {
    UiText title;
    std::string accelerator;
    std::string actionName; // "app.new-window", "win.save"; empty when none is named
};

// One group of the window (GtkShortcutsGroup) or, in a dialog, one section.
struct WindowGroup {
    UiText section; // the section's title; empty when it has none
    UiText title;
    std::vector<WindowShortcut> shortcuts;
};

struct ShortcutsWindow {
    // <interface domain="…">; empty when the definition names none, or a
    // domain that is no plain file name ("/etc/x", "../x").
    std::string textDomain;
    std::vector<WindowGroup> groups;
    std::size_t sectionCount = 0;
};

inline constexpr std::size_t maxAcceleratorBytes = 1024;
inline constexpr std::size_t maxWindowShortcuts = 10'000;
// Longer titles and contexts are cut to this many bytes.
inline constexpr std::size_t maxTitleBytes = 1024;

// Whether the text may define a shortcuts window; a cheap test before parsing.
bool mentionsShortcutsWindow(std::string_view definition);

// The shortcuts window in the definition; absent when the text is not XML
// (or too deep, or too large for the XML reader) or defines no shortcut with
// an accelerator. Gestures, ranges ("<alt>1...9"), sequences, accelerators
// longer than maxAcceleratorBytes and shortcuts without an accelerator are
// skipped with a debug line. Several accelerators of one shortcut (separated
// by spaces) give one entry each.
std::optional<ShortcutsWindow> readShortcutsWindow(std::string_view definition, platform::Log& log);

// The title a group shows: "Section — Group" when the window has several
// titled sections, else the group's title, else the section's, else
// `fallback`. `translate` gives a text in the user's language.
using Translate = std::function<std::string(const UiText&)>;
std::string groupTitle(const ShortcutsWindow& window, const WindowGroup& group, const Translate& translate,
                       std::string_view fallback);

} // namespace hb::sources
