#pragma once

#include "model/shortcut.h"
#include "popup/hintboard_action.h"

#include <optional>
#include <string>
#include <vector>

namespace hb {

// The choices offered when one key press could mean several things: the
// application's commands, then this program's own action, then Cancel.
struct DisambiguationState {
    std::vector<Shortcut> shortcuts;
    std::string appName;
    std::optional<HintboardAction> hintboardAction;

    std::size_t optionCount() const { return shortcuts.size() + (hintboardAction ? 1 : 0) + 1; }
};

} // namespace hb
