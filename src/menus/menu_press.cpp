#include "menus/menu_press.h"

#include "model/text.h"

namespace hb {

using platform::LogCategory;
using platform::privately;

bool press(platform::Accessibility& accessibility, platform::Log& log, const Shortcut& shortcut)
{
    const auto& element = shortcut.axElement;
    if (!element)
        return false;

    if (platform::readBoolean(accessibility, element, platform::ax::enabled) == false) {
        log.info(LogCategory::accessibility, "Skipping press — item '{}' is now disabled", privately(shortcut.title));
        return false;
    }

    if (auto live = platform::readText(accessibility, element, platform::ax::title)) {
        const auto liveTitle = text::sanitizedMenuTitle(*live);
        if (liveTitle != shortcut.title)
            log.error(LogCategory::accessibility, "Title mismatch at press: displayed '{}' but live element is '{}'",
                      privately(shortcut.title), privately(liveTitle));
    }

    if (accessibility.performAction(element, platform::ax::press))
        return true;
    log.error(LogCategory::accessibility, "AX press failed for '{}'", privately(shortcut.title));
    return false;
}

} // namespace hb
