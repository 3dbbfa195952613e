#pragma once

#include "linux/added_elements_accessibility.h"
#include "linux/shortcut_runner.h"
#include "linux/shortcuts_window_source.h"

namespace hb::linux_platform {

// The accessibility interface of the desktop with each application's
// shortcuts window added: an application's platform::ax::shortcutsWindow is
// its window's rows shaped like a menu bar (an item per group, whose first
// child holds the rows; each row with its accelerator as key equivalent), and
// pressing a row runs it with the runner. Everything else goes to `inner`.
class ShortcutsWindowAccessibility final : public AddedElementsAccessibility {
public:
    ShortcutsWindowAccessibility(platform::Accessibility& inner, ShortcutsWindowSource& source, ShortcutRunner& runner);

    std::optional<platform::AttributeValue> copyAttribute(const platform::ElementRef& element,
                                                          std::string_view attribute) override;
    bool performAction(const platform::ElementRef& element, std::string_view action) override;

private:
    class Listed;

    ShortcutsWindowSource& source_;
    ShortcutRunner& runner_;
};

} // namespace hb::linux_platform
