#pragma once

#include "platform/accessibility.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace hb::fake {

class FakeAccessibility;

// One element of a scripted application. Attributes are plain values; any of
// them can be made to fail or to hold a value of another type.
class FakeElement : public platform::AccessibleElement, public std::enable_shared_from_this<FakeElement> {
public:
    FakeElement& set(std::string_view attribute, platform::AttributeValue value);
    FakeElement& fail(std::string_view attribute);
    FakeElement& setEnabled(bool enabled);
    FakeElement& setTitle(std::string title);
    FakeElement& add(FakeElement& child); // appends a child (may be an ancestor: cycles are allowed)

    int pressCount() const { return pressCount_; }
    void refusePress() { refusePress_ = true; }

private:
    friend class FakeAccessibility;

    pid_t pid_ = 0;
    std::map<std::string, platform::AttributeValue, std::less<>> attributes_;
    std::set<std::string, std::less<>> failing_;
    std::vector<FakeElement*> children_;
    std::atomic<int> pressCount_ = 0;
    bool refusePress_ = false;
};

// Describes a menu tree in a few lines of test code.
struct FakeItem {
    std::string title;
    std::optional<std::string> character;
    std::optional<std::int64_t> modifiers;
    std::optional<std::int64_t> virtualKey;
    std::optional<std::int64_t> glyph;
    std::vector<FakeItem> submenu;
    bool hasSubmenu = false;
};
FakeItem item(std::string title, std::optional<std::string> character = {}, std::optional<std::int64_t> modifiers = {});
FakeItem separator();
FakeItem submenu(std::string title, std::vector<FakeItem> items);
inline FakeItem menu(std::string title, std::vector<FakeItem> items)
{
    return submenu(std::move(title), std::move(items));
}

// An in-memory desktop of scripted applications.
class FakeAccessibility : public platform::Accessibility {
public:
    bool isProcessTrusted() override { return trusted_; }
    bool requestTrust() override { return trusted_; }
    platform::ElementRef applicationElement(pid_t pid) override;
    void setMessagingTimeout(const platform::ElementRef& application, std::chrono::duration<double> timeout) override;
    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;
    bool answers(pid_t pid) override;

    // Adds an application; with no menus it has no menu bar.
    FakeElement& addApplication(pid_t pid, const std::vector<FakeItem>& menus);
    FakeElement& newElement(pid_t pid);
    // The menu bar's top-level item with this title, or a descendant path of titles.
    FakeElement* find(pid_t pid, const std::vector<std::string>& titlePath);
    // Every later read and press for the process fails.
    void quit(pid_t pid);
    // The same, and the process counts as not answering.
    void hang(pid_t pid);

    void setTrusted(bool trusted) { trusted_ = trusted; }
    int attributeReads() const { return attributeReads_; }
    // Each fetch of an application's menu bar.
    int menuBarReads() const { return menuBarReads_; }
    std::optional<double> messagingTimeout(pid_t pid) const;

private:
    FakeElement& build(pid_t pid, const FakeItem& item);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeElement>> elements_;
    std::map<pid_t, FakeElement*> applications_;
    std::set<pid_t> quit_;
    std::set<pid_t> hung_;
    std::map<pid_t, double> timeouts_;
    std::atomic<bool> trusted_ = true;
    std::atomic<int> attributeReads_ = 0;
    std::atomic<int> menuBarReads_ = 0;
};

} // namespace hb::fake
