#pragma once

#include "linux/shortcut_runner.h"
#include "linux/shortcuts_window_source.h"
#include "platform/accessibility.h"

namespace hb::linux_platform {

// The accessibility interface of the desktop with each application's
// shortcuts window added: an application's platform::ax::shortcutsWindow is
// its window's rows shaped like a menu bar (an item per group, whose first
// child holds the rows; each row with its accelerator as key equivalent), and
// pressing a row runs it with the runner. Everything else goes to `inner`.
class ShortcutsWindowAccessibility final : public platform::Accessibility {
public:
    ShortcutsWindowAccessibility(platform::Accessibility& inner, ShortcutsWindowSource& source, ShortcutRunner& runner);

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
    class Listed;

    platform::Accessibility& inner_;
    ShortcutsWindowSource& source_;
    ShortcutRunner& runner_;
};

} // namespace hb::linux_platform
