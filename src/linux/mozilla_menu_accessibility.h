#pragma once

#include "linux/added_elements_accessibility.h"
#include "linux/mozilla_menu_source.h"
#include "linux/shortcut_runner.h"

namespace hb::linux_platform {

// The accessibility interface of the desktop with the menus of Mozilla
// applications read from their archives: such an application's menu bar is
// its main window's menus as defined (whether or not they have been opened),
// and its platform::ax::shortcutsWindow the window's keys that no menu item
// carries, as one group. Pressing an item runs its keys with the runner (in
// the application's window, once the popup has let go of the keyboard).
// Everything else, and every other application, goes to `inner`.
class MozillaMenuAccessibility final : public AddedElementsAccessibility {
public:
    MozillaMenuAccessibility(platform::Accessibility& inner, MozillaMenuSource& source, ShortcutRunner& runner);

    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;

private:
    class Defined;

    MozillaMenuSource& source_;
    ShortcutRunner& runner_;
};

} // namespace hb::linux_platform
