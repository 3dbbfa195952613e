#pragma once

#include "sources/fluent.h"
#include "sources/xml_tree.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The menu bar and keys of a Mozilla application's main window (Firefox's
// browser.xhtml, Thunderbird's messenger.xhtml), read from the window's
// definition: <menubar> with <menu>, <menupopup>, <menuitem key="…"> and
// <menuseparator>, and the <key> elements the items name. Labels and key
// letters come from Fluent messages (data-l10n-id) or attributes whose
// entities were already expanded (label="&newTab.label;").
namespace hb::sources {

// One item: a command (with its key in GTK's accelerator syntax, empty when
// it has none), a separator (empty title), or a submenu (`items`).
struct XulMenuItem {
    std::string title;
    std::string accelerator;
    std::vector<XulMenuItem> items;
    bool isSubmenu = false;
};

struct XulMenus {
    std::vector<XulMenuItem> menus;     // the menu bar's menus, each a submenu
    std::vector<XulMenuItem> otherKeys; // keys no visible menu item carries, named after what runs them
    std::size_t keyCount = 0;           // <key> elements in the document
};

// The Fluent files the document asks for (<link rel="localization"
// href="browser/menubar.ftl"/>), in order.
std::vector<std::string> localizationFiles(const xml::Element& document);

// The main window's menus: the menu bar with id "main-menubar" or
// "mail-menubar", else the first one. Hidden menus, items and separators are
// left out. Absent when the document has no menu bar.
std::optional<XulMenus> readXulMenus(const xml::Element& document, const fluent::Bundle& messages);

// A <key> element's combination in GTK's accelerator syntax ("<Control><Shift>t"),
// with "accel" as Control; empty for a disabled key or one whose key cannot be named.
std::string keyAccelerator(const xml::Element& key, const fluent::Bundle& messages);

} // namespace hb::sources
