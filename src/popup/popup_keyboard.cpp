#include "popup/popup_keyboard.h"

#include "model/key_notation.h"

namespace hb {
namespace {

namespace keyCode {
constexpr std::int64_t tab = 48;
constexpr std::int64_t returnKey = 36;
constexpr std::int64_t keypadEnter = 76;
constexpr std::int64_t escape = 53;
} // namespace keyCode

constexpr std::string_view settingsKeys = "⌃,";

KeyOutcome closeAndPress(const Shortcut& shortcut)
{
    KeyOutcome outcome = KeyOutcome::handled();
    outcome.closesPopup = true;
    if (shortcut.axElement)
        outcome.press = shortcut;
    return outcome;
}

const Shortcut& rowOf(const Shortcut* row)
{
    return *row;
}
const Shortcut& rowOf(const Shortcut& row)
{
    return row;
}

// The pressable rows whose key combination is `keys`.
template <typename Rows>
std::vector<Shortcut> pressable(const Rows& rows, std::string_view keys)
{
    std::vector<Shortcut> matches;
    for (const auto& entry : rows) {
        const Shortcut& row = rowOf(entry);
        if (row.keys == keys && row.axElement)
            matches.push_back(row);
    }
    return matches;
}

} // namespace

KeyOutcome PopupKeyboard::keyDown(const KeyPress& key, PopupFilterModel& model) const
{
    switch (key.keyCode) {
    case keyCode::escape:
        return escape(model);
    case keyCode::returnKey:
    case keyCode::keypadEnter:
        return returnKey(model);
    case keyCode::tab: {
        const bool backwards = key.modifierFlags & notation::eventFlag::shift;
        if (model.disambiguation())
            moveOverlayFocus(backwards, model);
        else if (backwards)
            model.selectPrevious();
        else
            model.selectNext();
        return KeyOutcome::handled();
    }
    default:
        // Typing, Option and Shift combinations and the arrows go to the search field.
        if (!(key.modifierFlags & (notation::eventFlag::command | notation::eventFlag::control)))
            return KeyOutcome::passedOn();
        return shortcutPress(key, model);
    }
}

KeyOutcome PopupKeyboard::escape(PopupFilterModel& model) const
{
    if (model.disambiguation())
        model.setDisambiguation(std::nullopt);
    else if (model.hasQuery())
        model.setQuery("");
    else if (!model.toggledModifiers().empty())
        model.setToggledModifiers({});
    else if (model.showOnlyFavourites())
        model.setShowOnlyFavourites(false);
    else {
        KeyOutcome outcome = KeyOutcome::handled();
        outcome.closesPopup = true;
        return outcome;
    }
    return KeyOutcome::handled();
}

KeyOutcome PopupKeyboard::returnKey(PopupFilterModel& model) const
{
    if (model.disambiguation())
        return chooseOption(model.disambiguationFocusedIndex(), model);
    if (const auto* selected = model.selectedShortcut())
        return closeAndPress(*selected);
    // Typing down to one row and pressing Return runs it: every keystroke
    // clears the selection, so it could never be selected before Return.
    if (const auto& visible = model.visibleShortcuts(); visible.size() == 1 && visible.front()->axElement)
        return closeAndPress(*visible.front());
    return KeyOutcome::passedOn();
}

KeyOutcome PopupKeyboard::chooseOption(std::size_t option, PopupFilterModel& model) const
{
    if (!model.disambiguation())
        return KeyOutcome::handled();
    auto state = *model.disambiguation();
    model.setDisambiguation(std::nullopt);
    if (option < state.shortcuts.size())
        return closeAndPress(state.shortcuts[option]);
    KeyOutcome outcome = KeyOutcome::handled();
    if (option == state.shortcuts.size() && state.hintboardAction)
        outcome.ownAction = state.hintboardAction->handler;
    return outcome;
}

void PopupKeyboard::moveOverlayFocus(bool backwards, PopupFilterModel& model) const
{
    const auto count = model.disambiguation()->optionCount();
    const auto focused = model.disambiguationFocusedIndex();
    model.setDisambiguationFocusedIndex(backwards ? (focused + count - 1) % count : (focused + 1) % count);
}

KeyOutcome PopupKeyboard::shortcutPress(const KeyPress& key, PopupFilterModel& model) const
{
    const auto keys = notation::eventKeyNotation(key.keyCode, key.modifierFlags, key.characters);
    if (!keys)
        return KeyOutcome::passedOn();

    auto matches = pressable(model.visibleShortcuts(), *keys);
    if (matches.size() == 1) {
        if (!hintboardAction(*keys, ownActions_))
            return closeAndPress(matches.front());
        startDisambiguation(std::move(matches), *keys, model);
        return KeyOutcome::handled();
    }
    // Commands hidden by ignore rules are offered even alone, never pressed blindly.
    auto hidden = pressable(model.app().ignoredMenuShortcuts, *keys);
    if (hidden.empty() && matches.empty() && *keys == settingsKeys) {
        // No command of the application on the settings keys: nothing to choose between.
        if (auto action = hintboardAction(*keys, ownActions_)) {
            KeyOutcome outcome = KeyOutcome::handled();
            outcome.ownAction = std::move(action->handler);
            return outcome;
        }
    }
    if (hidden.empty())
        return KeyOutcome::passedOn();
    startDisambiguation(std::move(hidden), *keys, model);
    return KeyOutcome::handled();
}

void PopupKeyboard::startDisambiguation(std::vector<Shortcut> candidates, std::string_view keys,
                                        PopupFilterModel& model) const
{
    model.setDisambiguationFocusedIndex(0);
    model.setDisambiguation(
        DisambiguationState{std::move(candidates), model.app().appName, hintboardAction(keys, ownActions_)});
}

} // namespace hb
