#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hb {

// One of this program's own actions that a key press in the popup may mean.
struct HintboardAction {
    std::string title;
    std::optional<std::string> note; // shown under the title
    std::function<void()> handler;
};

// What the own actions do; the optional ones apply only when supplied.
struct HintboardActionHandlers {
    std::function<void()> quit;
    std::function<void()> openSettings;
    std::function<void()> closePopup;
};

// The own action bound to a key combination (exact notation), if any.
std::optional<HintboardAction> hintboardAction(std::string_view keys, const HintboardActionHandlers& handlers);

} // namespace hb
