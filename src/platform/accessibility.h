#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hb::platform {

// An element of another application's accessibility tree. Opaque to the core;
// each platform derives its own handle from it.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;
};

// Shared by every copy of the value that holds it (a Shortcut keeps one).
using ElementRef = std::shared_ptr<const AccessibleElement>;

struct AttributeNumber {
    double value = 0;
    std::int64_t integer() const { return static_cast<std::int64_t>(value); }
    bool boolean() const { return value != 0; }
};

using AttributeValue = std::variant<AttributeNumber, std::string, ElementRef, std::vector<ElementRef>>;

// Attribute and action names the core uses.
namespace ax {
inline constexpr std::string_view menuBar = "AXMenuBar";
inline constexpr std::string_view children = "AXChildren";
inline constexpr std::string_view title = "AXTitle";
inline constexpr std::string_view cmdChar = "AXMenuItemCmdChar";
inline constexpr std::string_view cmdVirtualKey = "AXMenuItemCmdVirtualKey";
inline constexpr std::string_view cmdGlyph = "AXMenuItemCmdGlyph";
inline constexpr std::string_view cmdModifiers = "AXMenuItemCmdModifiers";
inline constexpr std::string_view enabled = "AXEnabled";
inline constexpr std::string_view press = "AXPress";
// Of an application: the commands its shortcuts window lists, shaped like a
// menu bar (an item per group, whose first child holds the rows).
inline constexpr std::string_view shortcutsWindow = "AXShortcutsWindow";
// Of a row of the shortcuts window: false when no program can run its command
// in this session, so the user has to press its keys.
inline constexpr std::string_view runsHere = "HBRunsHere";
} // namespace ax

// The accessibility interface of the desktop: reads and presses other
// applications' user-interface elements. Calls block on the application and
// may come from any thread; failures read as absent values or false.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process may read other applications.
    virtual bool isProcessTrusted() = 0;
    // Asks for the permission; gives the trust afterwards.
    virtual bool requestTrust() = 0;

    // The element of a running application; never null.
    virtual ElementRef applicationElement(pid_t pid) = 0;
    virtual void setMessagingTimeout(const ElementRef& application, std::chrono::duration<double> timeout) = 0;

    // The attribute's value, or absent when it is missing or cannot be read.
    virtual std::optional<AttributeValue> copyAttribute(const ElementRef& element, std::string_view attribute) = 0;
    virtual bool performAction(const ElementRef& element, std::string_view action) = 0;

    // False once a request to the application timed out since its latest read
    // began (setMessagingTimeout): it is busy or hung.
    virtual bool answers(pid_t pid) = 0;
};

// Typed reads: a value of another type reads as absent.
std::optional<std::string> readText(Accessibility&, const ElementRef&, std::string_view attribute);
std::optional<std::int64_t> readInteger(Accessibility&, const ElementRef&, std::string_view attribute);
std::optional<bool> readBoolean(Accessibility&, const ElementRef&, std::string_view attribute);
ElementRef readElement(Accessibility&, const ElementRef&, std::string_view attribute);
std::vector<ElementRef> readChildren(Accessibility&, const ElementRef&);

} // namespace hb::platform
