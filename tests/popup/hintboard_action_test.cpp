#include "popup/hintboard_action.h"

#include <gtest/gtest.h>

#include <tuple>

namespace hb {
namespace {

TEST(HintboardAction, TableMatchesExactKeyTextAndNeedsItsHandler)
{
    std::string ran;
    const HintboardActionHandlers all{[&] { ran += "quit "; }, [&] { ran += "settings "; }, [&] { ran += "close "; }};

    const std::vector<std::tuple<const char*, const char*, std::optional<std::string>>> table{
        {"⌃Q", "Quit Hintboard", std::nullopt},
        {"⌃⌥Q", "Quit Hintboard", std::nullopt},
        {"⌃,", "Open Hintboard Settings", std::nullopt},
        {"⌃W", "Close Hintboard Popup", "Tip: press Esc to dismiss the popup"},
    };
    for (const auto& [keys, title, note] : table) {
        auto action = hintboardAction(keys, all);
        ASSERT_TRUE(action) << keys;
        EXPECT_EQ(action->title, title);
        EXPECT_EQ(action->note, note);
        action->handler();
    }
    EXPECT_EQ(ran, "quit quit settings close ");

    // The other desktop's Command keys are the applications' own here.
    for (const char* keys : {"⌘Q", "⌘W", "⌃⌘Q", "⌃q", "⌃W ", ""})
        EXPECT_FALSE(hintboardAction(keys, all)) << keys;

    const HintboardActionHandlers quitOnly{[] {}, nullptr, nullptr};
    EXPECT_FALSE(hintboardAction("⌃W", quitOnly));
    EXPECT_TRUE(hintboardAction("⌃Q", quitOnly));
}

} // namespace
} // namespace hb
