#include "popup/popup_keyboard.h"

#include "fake/fake_accessibility.h"
#include "fake/memory_settings_domain.h"
#include "model/key_notation.h"
#include "support/model_builders.h"

#include <gtest/gtest.h>

#include <memory>

using namespace hb;
using notation::eventFlag::command;
using notation::eventFlag::control;
using notation::eventFlag::shift;

namespace {

constexpr std::int64_t escapeKey = 53, returnKey = 36, tabKey = 48, leftArrow = 123;

Shortcut menuItem(std::string title, std::string keys)
{
    return Shortcut{
        .title = std::move(title), .keys = std::move(keys), .axElement = std::make_shared<fake::FakeElement>()};
}

KeyPress key(std::int64_t code, std::uint64_t flags = 0, std::optional<std::string> characters = {})
{
    return KeyPress{code, flags, std::move(characters)};
}

class PopupKeyboardTest : public testing::Test {
protected:
    // The title of the command an outcome presses; "" for none.
    static std::string pressed(const KeyOutcome& outcome) { return outcome.press ? outcome.press->title : ""; }

    std::unique_ptr<PopupFilterModel> model(std::vector<Shortcut> rows, std::vector<Shortcut> hidden = {})
    {
        AppShortcuts app{.appName = "Editor",
                         .bundleIdentifier = "org.example.editor",
                         .sections = {test::section("File", {test::group({}, std::move(rows))})},
                         .ignoredMenuShortcuts = std::move(hidden)};
        PopupFilterModel::Columns columns{app.sections};
        return std::make_unique<PopupFilterModel>(std::move(app), std::move(columns), false, settings, favourites,
                                                  ignoreList);
    }

    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
    int closeRequests = 0;
    int settingsRequests = 0;
    PopupKeyboard keyboard{HintboardActionHandlers{[] {}, [this] { ++settingsRequests; }, [this] { ++closeRequests; }}};
};

TEST_F(PopupKeyboardTest, TabMovesTheSelectionReturnRunsItOtherKeysReachTheSearchField)
{
    auto withoutElement = menuItem("Lock Screen", "⌃⌘Q");
    withoutElement.axElement.reset();
    auto m = model({menuItem("New", "⌘N"), menuItem("New Window", "⇧⌘N"), withoutElement});
    EXPECT_FALSE(keyboard.keyDown(key(returnKey), *m).consumed) << "nothing selected, several rows";
    EXPECT_TRUE(keyboard.keyDown(key(tabKey, shift), *m).consumed);
    EXPECT_EQ(m->selectedShortcut()->title, "Lock Screen");
    keyboard.keyDown(key(tabKey), *m);
    EXPECT_EQ(m->selectedShortcut()->title, "New");
    EXPECT_FALSE(keyboard.keyDown(key(leftArrow), *m).consumed) << "arrows are the search field's";
    EXPECT_EQ(pressed(keyboard.keyDown(key(76), *m)), "New"); // Enter

    keyboard.keyDown(key(tabKey, shift), *m);
    const auto outcome = keyboard.keyDown(key(returnKey), *m);
    EXPECT_TRUE(outcome.closesPopup);
    EXPECT_FALSE(outcome.press) << "a row without a menu item only closes the popup";

    // The one row a filter leaves runs with nothing selected, unless it cannot run.
    m->setQuery("new window");
    ASSERT_FALSE(m->selectedShortcut());
    EXPECT_EQ(pressed(keyboard.keyDown(key(returnKey), *m)), "New Window");
    m->setQuery("lock");
    EXPECT_FALSE(keyboard.keyDown(key(returnKey), *m).consumed);
}

TEST_F(PopupKeyboardTest, EscapeRemovesOneLayerPerPress)
{
    auto m = model({menuItem("New", "⌘N"), menuItem("Open", "⌘O")});
    m->setQuery("new");
    m->toggleModifier("⌘");
    m->setShowOnlyFavourites(true);
    m->setHeldModifiers({"⇧"});

    EXPECT_TRUE(keyboard.keyDown(key(escapeKey), *m).consumed);
    EXPECT_EQ(m->query(), "");
    EXPECT_FALSE(keyboard.escape(*m).closesPopup);
    EXPECT_TRUE(m->toggledModifiers().empty());
    EXPECT_FALSE(keyboard.escape(*m).closesPopup);
    EXPECT_FALSE(m->showOnlyFavourites());
    EXPECT_TRUE(keyboard.escape(*m).closesPopup);
    EXPECT_EQ(m->heldModifiers(), PopupFilterModel::ModifierSet{"⇧"}) << "held keys are not Escape's";

    // A query of spaces is no layer; the overlay is the first one.
    m->setQuery("  ");
    keyboard.startDisambiguation({menuItem("New", "⌘N")}, "⌘N", *m);
    EXPECT_FALSE(keyboard.escape(*m).closesPopup);
    EXPECT_FALSE(m->disambiguation());
    EXPECT_TRUE(keyboard.escape(*m).closesPopup);
}

TEST_F(PopupKeyboardTest, ControlWOffersTheCommandTheOwnActionAndCancel)
{
    auto m = model({menuItem("Close Window", "⌃W"), menuItem("Save", "⌘S")});
    m->selectNext();
    EXPECT_TRUE(keyboard.keyDown(key(0, control, "w"), *m).consumed);
    ASSERT_TRUE(m->disambiguation());
    const auto& state = *m->disambiguation();
    ASSERT_EQ(state.shortcuts.size(), 1u);
    EXPECT_EQ(state.shortcuts[0].title, "Close Window");
    ASSERT_TRUE(state.hintboardAction);

    // Tab cycles the overlay's focus, not the selection.
    for (auto [flags, focused] : {std::pair{std::uint64_t(0), 1u}, {shift, 0u}, {shift, 2u}}) {
        keyboard.keyDown(key(tabKey, flags), *m);
        EXPECT_EQ(m->disambiguationFocusedIndex(), focused);
    }
    EXPECT_EQ(m->selectedIndex(), 0u);

    // Cancel keeps the popup and the selection.
    EXPECT_FALSE(keyboard.keyDown(key(returnKey), *m).closesPopup);
    EXPECT_FALSE(m->disambiguation());

    // A new overlay starts focused on the first option.
    keyboard.keyDown(key(0, control, "w"), *m);
    EXPECT_EQ(m->disambiguationFocusedIndex(), 0u);
    EXPECT_EQ(pressed(keyboard.keyDown(key(returnKey), *m)), "Close Window");

    // The own action's option runs its handler.
    keyboard.keyDown(key(0, control, "w"), *m);
    keyboard.keyDown(key(tabKey), *m);
    const auto outcome = keyboard.keyDown(key(returnKey), *m);
    EXPECT_FALSE(outcome.press);
    ASSERT_TRUE(outcome.ownAction);
    outcome.ownAction();
    EXPECT_EQ(closeRequests, 1);
}

TEST_F(PopupKeyboardTest, DirectPressNeedsOneVisiblePressableRow)
{
    auto unpressable = menuItem("Print", "⌘P");
    unpressable.axElement.reset();
    auto m = model({menuItem("Save", "⌘S"), menuItem("Revert", "⌘R"), menuItem("Reload", "⌘R"), unpressable});
    const auto outcome = keyboard.keyDown(key(0, command, "s"), *m);
    EXPECT_TRUE(outcome.closesPopup);
    EXPECT_EQ(pressed(outcome), "Save");
    EXPECT_FALSE(keyboard.keyDown(key(0, command, "r"), *m).consumed) << "a conflict is not resolved";
    EXPECT_FALSE(keyboard.keyDown(key(0, command, "p"), *m).consumed);
    EXPECT_FALSE(m->disambiguation());
    m->setQuery("revert");
    EXPECT_FALSE(keyboard.keyDown(key(0, command, "s"), *m).consumed) << "only visible rows are candidates";
    EXPECT_EQ(pressed(keyboard.keyDown(key(0, command, "r"), *m)), "Revert");
}

TEST_F(PopupKeyboardTest, CommandsHiddenByIgnoreRulesAreOfferedNeverPressed)
{
    auto m = model({menuItem("Revert", "⌘R"), menuItem("Reload", "⌘R")},
                   {menuItem("Hide Editor", "⌘H"), menuItem("Refresh", "⌘R")});
    EXPECT_FALSE(keyboard.keyDown(key(0, command, "h"), *m).closesPopup);
    ASSERT_TRUE(m->disambiguation());
    EXPECT_FALSE(m->disambiguation()->hintboardAction);
    EXPECT_EQ(m->disambiguation()->optionCount(), 2u);

    keyboard.escape(*m);
    keyboard.keyDown(key(0, command, "r"), *m);
    ASSERT_TRUE(m->disambiguation());
    EXPECT_EQ(m->disambiguation()->shortcuts.front().title, "Refresh") << "visible conflicts are not offered";
}

TEST_F(PopupKeyboardTest, SettingsKeysOpenTheSettingsUnlessTheApplicationUsesThem)
{
    auto m = model({menuItem("New", "⌃N")});
    auto outcome = keyboard.keyDown(key(0, control, ","), *m);
    ASSERT_TRUE(outcome.ownAction);
    outcome.ownAction();
    EXPECT_EQ(settingsRequests, 1);

    auto withPreferences = model({menuItem("Preferences", "⌃,")});
    EXPECT_FALSE(keyboard.keyDown(key(0, control, ","), *withPreferences).ownAction);
    ASSERT_TRUE(withPreferences->disambiguation()) << "the application's command and the settings, offered";
    EXPECT_FALSE(keyboard.keyDown(key(0, control, "w"), *m).consumed) << "only the settings keys act alone";
}

TEST(HintboardAction, ExactKeyTextsRunTheirHandlerAndNeedOne)
{
    std::string ran;
    const HintboardActionHandlers all{[&] { ran += "quit "; }, [&] { ran += "settings "; }, [&] { ran += "close "; }};
    for (const char* keys : {"⌃Q", "⌃⌥Q", "⌃,", "⌃W"})
        hintboardAction(keys, all)->handler();
    EXPECT_EQ(ran, "quit quit settings close ");

    // The other desktop's Command keys are the applications' own here.
    for (const char* keys : {"⌘Q", "⌘W", "⌃⌘Q", "⌃q", "⌃W ", ""})
        EXPECT_FALSE(hintboardAction(keys, all)) << keys;
    EXPECT_FALSE(hintboardAction("⌃W", HintboardActionHandlers{[] {}, nullptr, nullptr}));
}

} // namespace
