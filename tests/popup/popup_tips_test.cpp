#include "popup/popup_tips.h"

#include "fake/memory_settings_domain.h"
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

namespace hb {
namespace {

TEST(PopupTips, TipsComeOneAtATimeThenTheNudgeAfterTenOpenings)
{
    fake::MemorySettingsDomain settings;
    std::int64_t tipIndex = settings.integer(keys::popupTipIndex);
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{PopupTip::modifierFilter});
    for (int i = 0; i < 3; ++i)
        tipIndex = dismissTip(tipIndex, settings);
    EXPECT_EQ(settings.integer(keys::popupTipIndex), 3);

    for (int i = 0; i < 9; ++i)
        countPopupOpening(settings);
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{});
    countPopupOpening(settings);
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{PopupNudge::githubStar});
    // Restored from elsewhere, an index past the tips shows no tip and allows the nudge.
    EXPECT_EQ(popupBanner(7, settings), PopupBanner{PopupNudge::githubStar});

    std::vector<std::string> opened;
    followNudge(settings, [&](std::string_view address) { opened.emplace_back(address); });
    EXPECT_EQ(opened, std::vector<std::string>{std::string(repositoryAddress)});
    EXPECT_EQ(popupBanner(tipIndex, settings), PopupBanner{});
}

TEST(PopupTips, DismissedNudgeStaysAwayAndDamagedIndexStartsOver)
{
    fake::MemorySettingsDomain settings;
    settings.set(keys::popupOpenCount, 12);
    EXPECT_EQ(popupBanner(3, settings), PopupBanner{PopupNudge::githubStar});
    dismissNudge(settings);
    EXPECT_EQ(popupBanner(3, settings), PopupBanner{});

    EXPECT_EQ(popupBanner(-4, settings), PopupBanner{PopupTip::modifierFilter});
    EXPECT_EQ(dismissTip(-4, settings), 1);
}

} // namespace
} // namespace hb
