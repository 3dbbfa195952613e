#pragma once

#include "linux/mozilla_menu_source.h"
#include "linux/shortcut_runner.h"
#include "platform/accessibility.h"

namespace hb::linux_platform {

// The accessibility interface of the desktop with the menus of Mozilla
// applications read from their archives: such an application's menu bar is
// its main window's menus as defined (whether or not they have been opened),
// and its platform::ax::shortcutsWindow the window's keys that no menu item
// carries, as one group. Pressing an item runs its keys with the runner (in
// the application's window, once the popup has let go of the keyboard).
// Everything else, and every other application, goes to `inner`.
class MozillaMenuAccessibility final : public platform::Accessibility {
public:
    MozillaMenuAccessibility(platform::Accessibility& inner, MozillaMenuSource& source, ShortcutRunner& runner);

    bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
    bool requestTrust() override { return inner_.requestTrust(); }
    platform::ElementRef applicationElement(pid_t pid) override;
    void setMessagingTimeout(const platform::ElementRef& application, std::chrono::duration<double> timeout) override;
    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;
    bool answers(pid_t pid) override { return inner_.answers(pid); }

private:
    class Application;
    class Defined;

    platform::Accessibility& inner_;
    MozillaMenuSource& source_;
    ShortcutRunner& runner_;
};

} // namespace hb::linux_platform
