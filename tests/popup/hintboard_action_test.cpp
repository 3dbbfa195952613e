#include "popup/hintboard_action.h"

#include <gtest/gtest.h>

namespace hb {
namespace {

TEST(HintboardAction, TableMatchesExactKeyTextAndNeedsItsHandler)
{
    std::string ran;
    const HintboardActionHandlers all{[&] { ran += "quit "; }, [&] { ran += "settings "; }, [&] { ran += "close "; }};

    for (const char* keys : {"⌘Q", "⌥⌘Q"}) {
        auto quit = hintboardAction(keys, all);
        ASSERT_TRUE(quit) << keys;
        EXPECT_EQ(quit->title, "Quit Hintboard");
        EXPECT_EQ(quit->note, std::nullopt);
        quit->handler();
    }
    auto settings = hintboardAction("⌘,", all);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->title, "Open Hintboard Settings");
    EXPECT_EQ(settings->note, std::nullopt);
    settings->handler();
    auto close = hintboardAction("⌘W", all);
    ASSERT_TRUE(close);
    EXPECT_EQ(close->title, "Close Hintboard Popup");
    EXPECT_EQ(close->note, "Tip: press Esc to dismiss the popup");
    close->handler();
    EXPECT_EQ(ran, "quit quit settings close ");

    for (const char* keys : {"⌃⌘Q", "⇧⌘Q", "⌘q", "⌘W ", "⌘N", ""})
        EXPECT_FALSE(hintboardAction(keys, all)) << keys;

    const HintboardActionHandlers quitOnly{[] {}, nullptr, nullptr};
    EXPECT_FALSE(hintboardAction("⌘,", quitOnly));
    EXPECT_FALSE(hintboardAction("⌘W", quitOnly));
    EXPECT_TRUE(hintboardAction("⌘Q", quitOnly));
}

} // namespace
} // namespace hb
