#include "popup/hintboard_action.h"

#include <gtest/gtest.h>

namespace hb {
namespace {

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
} // namespace hb
