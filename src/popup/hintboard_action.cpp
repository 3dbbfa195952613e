#include "popup/hintboard_action.h"

namespace hb {

std::optional<HintboardAction> hintboardAction(std::string_view keys, const HintboardActionHandlers& handlers)
{
    // Control, the primary modifier of Linux applications: their Quit,
    // Preferences and Close sit on the same keys.
    if (keys == "⌃Q" || keys == "⌃⌥Q")
        return HintboardAction{"Quit Hintboard", std::nullopt, handlers.quit};
    if (keys == "⌃," && handlers.openSettings)
        return HintboardAction{"Open Hintboard Settings", std::nullopt, handlers.openSettings};
    if (keys == "⌃W" && handlers.closePopup)
        return HintboardAction{"Close Hintboard Popup", "Tip: press Esc to dismiss the popup", handlers.closePopup};
    return std::nullopt;
}

} // namespace hb
