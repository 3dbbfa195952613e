#pragma once

#include "base/log.h"
#include "platform/accessibility.h"

#include <cstdint>
#include <memory>

namespace hb::linux_platform {

// Attributes the AT-SPI layer adds for the menu-bar search: the role's name
// ("menu bar", "tool bar", "panel"), and whether the object is showing or
// visible (numbers 0 or 1; a closed menu's items are visible, not showing).
namespace atspi_attribute {
inline constexpr std::string_view role = "AXRole";
inline constexpr std::string_view showing = "AXShowing";
inline constexpr std::string_view visible = "AXVisible";
// The object that holds the element, and the process of the element (a number).
inline constexpr std::string_view parent = "AXParent";
inline constexpr std::string_view processIdentifier = "AXProcessIdentifier";
// The accelerator of a GTK application's menu item as GTK names it
// ("<Primary>o"); absent for other toolkits and for items without one.
inline constexpr std::string_view gtkAccelerator = "AXGtkAccelerator";
} // namespace atspi_attribute

// The menu bar of a window, looked for below it through containers (panels,
// panes, viewports) and the window's own tool bars. Of several, the one the
// user sees and whose menus' items carry accelerators: LibreOffice shows a
// native GTK menu bar and keeps a hidden copy with wrong bindings. Null when
// there is none.
platform::ElementRef chooseMenuBar(platform::Accessibility& accessibility, const platform::ElementRef& window);

// The accessibility interface over AT-SPI 2 (libatspi).
//
// Elements are presented in the shape the menu reader expects: a menu-bar
// item or submenu item has its menu as first child (GTK's menu objects, which
// hold their items directly, get a view of themselves as that child),
// separators have an empty title, titles are trimmed, and the toolkits'
// accelerator texts become key-equivalent attributes.
//
// Listing a menu's items also asks each for its title and key binding, all
// requests in flight at once over the application's connection; a read of the
// same read takes those answers once, so that a read costs about one round
// trip per menu rather than two per item. Later reads (and presses) ask anew.
//
// Trust is the session's accessibility switch. Requests wait at most the
// messaging timeout (for the whole connection; 1 second by default); an
// application that lets a request time out counts as not answering until its
// next read (setMessagingTimeout) or press, and reads of its elements fail at
// once meanwhile. Without an
// accessibility bus every read is empty. Safe to use from several threads:
// requests are serialised.
class AtspiAccessibility final : public platform::Accessibility {
public:
    explicit AtspiAccessibility(platform::Log& log);
    ~AtspiAccessibility() override;

    bool isProcessTrusted() override;
    bool requestTrust() override;
    platform::ElementRef applicationElement(pid_t pid) override;
    void setMessagingTimeout(const platform::ElementRef& application, std::chrono::duration<double> timeout) override;
    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;
    bool answers(pid_t pid) override;

    // Where an application stands with the accessibility bus, to tell why its
    // menus cannot be read. Does not wait for an application that let a request
    // of its current read time out.
    enum class Presence { onBus, notOnBus, notAnswering, noBus };
    Presence presence(pid_t pid);

    // The requests made to applications so far, for measurements.
    std::uint64_t requestCount() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace hb::linux_platform
