#pragma once

#include "model/shortcut.h"
#include "platform/event_monitors.h"
#include "popup/hintboard_action.h"
#include "popup/popup_filter_model.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

// A key-down while the popup is open.
using KeyPress = platform::KeyEvent;

// What the popup does with a key press. A consumed key goes no further; any
// other key reaches the search field.
struct KeyOutcome {
    bool consumed = false;
    bool closesPopup = false;
    std::optional<Shortcut> press;   // pressed after the popup has closed
    std::function<void()> ownAction; // run at once

    static KeyOutcome passedOn() { return {}; }
    static KeyOutcome handled()
    {
        KeyOutcome outcome;
        outcome.consumed = true;
        return outcome;
    }
};

// Key handling of the popup: selection, Escape's layers, Return, direct
// shortcut presses and the disambiguation overlay. The state lives in the
// filter model; the caller closes the popup, presses the command or runs the
// action as the outcome says. Main thread only.
class PopupKeyboard {
public:
    explicit PopupKeyboard(HintboardActionHandlers ownActions) : ownActions_(std::move(ownActions)) {}

    KeyOutcome keyDown(const KeyPress& key, PopupFilterModel& model) const;
    // One press removes one layer: the overlay, the query, the toggled
    // modifiers, favourites-only, and last the popup itself.
    KeyOutcome escape(PopupFilterModel& model) const;
    // The outcome of choosing an overlay option (Return or a click).
    KeyOutcome chooseOption(std::size_t option, PopupFilterModel& model) const;
    // Offers the candidates, and the own action for the keys, in the overlay.
    void startDisambiguation(std::vector<Shortcut> candidates, std::string_view keys, PopupFilterModel& model) const;

private:
    KeyOutcome returnKey(PopupFilterModel& model) const;
    void moveOverlayFocus(bool backwards, PopupFilterModel& model) const;
    KeyOutcome shortcutPress(const KeyPress& key, PopupFilterModel& model) const;

    HintboardActionHandlers ownActions_;
};

} // namespace hb
