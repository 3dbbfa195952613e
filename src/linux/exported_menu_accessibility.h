#pragma once

#include "base/log.h"
#include "linux/exported_menus.h"
#include "platform/accessibility.h"
#include "triggers/trigger_availability.h"

#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace hb::linux_platform {

// The accessibility interface over menus that applications export on the
// session bus, in the shape the menu reader expects: the application's
// "AXMenuBar" is its exported menu bar (with the application menu, when it
// exports one, as first menu), a menu-bar item or submenu item has its menu as
// first child, sections are flattened with separators (empty titles) between
// them, and each item's "accel" becomes its key equivalent. A menu bar is read
// whole when it is asked for, in one request per submenu level; "AXEnabled"
// and presses go to the item's action live, on the application ("app.") or
// window ("win.") object. A dbusmenu menu bar is read in one request and its
// items pressed with a "clicked" event. Elements other than menus are not
// offered.
class ExportedMenuAccessibility final : public platform::Accessibility {
public:
    using AddressLookup = std::function<std::optional<ExportedMenuAddress>(pid_t)>;

    explicit ExportedMenuAccessibility(platform::Log& log, std::unique_ptr<MenuBus> bus = makeSessionMenuBus(),
                                       AddressLookup lookup = exportedMenuAddress);
    ~ExportedMenuAccessibility() override;

    enum class MenuBarState { none, notAnswering, read };
    struct MenuBar {
        MenuBarState state = MenuBarState::none;
        platform::ElementRef element; // null unless `read`
        bool withKeys = false;        // some item names an accelerator
    };
    // The exported menu bar of the process, read now.
    MenuBar readMenuBar(pid_t pid);
    // Whether the element is one of this interface's.
    static bool presents(const platform::ElementRef& element);
    platform::Log& log() { return log_; }

    bool isProcessTrusted() override { return true; }
    bool requestTrust() override { return true; }
    platform::ElementRef applicationElement(pid_t pid) override;
    void setMessagingTimeout(const platform::ElementRef& application, std::chrono::duration<double> timeout) override;
    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;
    // False once a request of the read timed out, until the next read.
    bool answers(pid_t pid) override;

private:
    platform::Log& log_;
    std::unique_ptr<MenuBus> bus_;
    AddressLookup lookup_;
    std::mutex mutex_;
    std::set<pid_t> notAnswering_;
};

// The accessibility interface of the desktop with exported menus preferred:
// the menu bar of a process that exports one with accelerators is read there;
// every other read goes to `fallback` (AT-SPI). Many applications set their
// accelerators apart from the exported model (GtkApplication's
// set_accels_for_action), so an exported menu bar without any is used only
// when `fallback` has no menu bar for the process.
//
// A menu item of `fallback` is still pressed through the exported action of
// the same place in the menus (the same titles from the menu bar down) when
// the process exports one: a GTK application runs the command of an AT-SPI
// press inside the request, and when that command runs a modal dialog, the
// first key typed into it blocks its accessibility bridge for good
// (mousepad's "Save As…"). An action is activated without waiting for the
// command to end. Where the process exports none, an item of a GTK
// application that has an accelerator is run on X11 by pressing the
// accelerator in the application's window, as the user would, once the popup
// has let go of the keyboard. Other items, toolkits and sessions are pressed
// over `fallback`.
class MenuExportingAccessibility final : public platform::Accessibility {
public:
    // Presses a GTK accelerator in the process's window; false when it cannot.
    using PressKeys = std::function<bool(pid_t, const std::string& accelerator)>;

    // `pressKeys` defaults to pressKeysWithXTest.
    MenuExportingAccessibility(ExportedMenuAccessibility& exported, platform::Accessibility& fallback,
                               SessionKind session, PressKeys pressKeys = {});

    bool isProcessTrusted() override;
    bool requestTrust() override;
    platform::ElementRef applicationElement(pid_t pid) override;
    void setMessagingTimeout(const platform::ElementRef& application, std::chrono::duration<double> timeout) override;
    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;
    bool answers(pid_t pid) override;

private:
    class Application;
    std::optional<platform::AttributeValue> menuBar(const Application& application);
    // The exported item at the place of `fallback`'s menu item, or null.
    platform::ElementRef exportedTwin(const platform::ElementRef& item);
    // Presses the accelerator of `fallback`'s GTK menu item, where it can.
    bool pressAccelerator(const platform::ElementRef& item);

    ExportedMenuAccessibility& exported_;
    platform::Accessibility& fallback_;
    const SessionKind session_;
    const PressKeys pressKeys_;
    std::mutex mutex_;
    std::set<pid_t> fallbackPreferred_; // exported menus without accelerators, menus over `fallback`
};

} // namespace hb::linux_platform
