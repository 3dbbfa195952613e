#include "settings/ignore_list_store.h"

#include "settings/settings_keys.h"
#include "support/counted_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::PlistData;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Pair;

PlistData bytes(std::string_view text)
{
    return PlistData(text.begin(), text.end());
}

struct IgnoreListStoreTest : test::CountedSettings {
    IgnoreListStoreTest() : CountedSettings(keys::ignoreList) {}
};

TEST_F(IgnoreListStoreTest, RulesAreTrimmedNotDuplicatedAndWrittenAtOnce)
{
    IgnoreListStore store(settings);
    EXPECT_FALSE(store.isEnabled());
    int notifications = 0;
    store.addObserver([&] { ++notifications; });
    store.addGlobalRule("  Fill\t");
    store.addGlobalRule("Fill");
    store.addGlobalRule("   ");
    store.addGlobalRule("fill"); // exact text equality only
    EXPECT_THAT(store.globalTitles(), ElementsAre("Fill", "fill"));
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(notifications, 2);
    store.addIgnoredMenu(" Help ");
    store.addIgnoredMenu("Help");
    store.addIgnoredMenu("Window");
    store.removeIgnoredMenus({0, 7});
    EXPECT_THAT(store.ignoredMenuTitles(), ElementsAre("Window"));

    store.addAppRule(" Close Tab ", "org.app", "App");
    store.addAppRule("Close*", "org.app", "App");
    store.addAppRule("Close Tab", "org.app", "App");
    EXPECT_THAT(store.patterns("org.app"), ElementsAre("Fill", "fill", "Close Tab", "Close*"));
    EXPECT_THAT(store.patterns(std::nullopt), ElementsAre("Fill", "fill"));
    store.removeAppRules("org.app", {0});
    EXPECT_THAT(store.appDisplayNames(), ElementsAre(Pair("org.app", "App")));
    store.removeAppRules("org.app", {0});
    EXPECT_THAT(store.appDisplayNames(), IsEmpty()) << "the name goes with the last rule";
    store.addAppRule("Quit", "org.b", "B");
    store.removeAllRules("org.b");
    EXPECT_THAT(store.perApp(), IsEmpty());
    EXPECT_THAT(store.appDisplayNames(), IsEmpty());

    store.setEnabled(true);
    store.setShowWhenFiltering(true);
    store.addIgnoredApp("org.game", "Game");
    EXPECT_TRUE(settings.boolean(keys::ignoreListEnabled));
    EXPECT_TRUE(settings.boolean(keys::ignoreListShowWhenFiltering));
    EXPECT_EQ(IgnoreListStore(settings).data(), store.data()) << "as stored";
    store.removeIgnoredApp("org.game");
    EXPECT_THAT(IgnoreListStore(settings).data().ignoredApps, IsEmpty());
}

TEST_F(IgnoreListStoreTest, DataOfEarlierVersionsLoadsAsItIsAndBadDataIsIgnored)
{
    const auto old = decodeIgnoreData(
        bytes(R"({"globalTitles":["Fill"],"perApp":{"org.a":["Quit"]},"appDisplayNames":{"org.a":"A"}})"));
    ASSERT_TRUE(old);
    EXPECT_THAT(old->perApp.at("org.a"), ElementsAre("Quit"));
    for (const char* bad : {R"({"globalTitles":["Fill"],"perApp":{}})",
                            R"({"globalTitles":[1],"perApp":{},"appDisplayNames":{}})", "[]", "{\"globalTitles\":"})
        EXPECT_FALSE(decodeIgnoreData(bytes(bad))) << bad;

    settings.set(keys::ignoreList, encodeIgnoreData(*old));
    writes = 0;
    IgnoreListStore store(settings);
    EXPECT_EQ(store.data(), *old);
    settings.set(keys::ignoreList, bytes("not json"));
    writes -= 1;
    store.reload();
    EXPECT_EQ(store.data(), *old); // unchanged
    EXPECT_EQ(writes, 0);
}

} // namespace
} // namespace hb
