#include "settings/ignore_list_store.h"

#include "settings/settings_keys.h"
#include "support/counted_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::PlistData;
using testing::ElementsAre;
using testing::Pair;

PlistData bytes(std::string_view text) { return PlistData(text.begin(), text.end()); }

std::optional<IgnoreData> stored(const platform::SettingsDomain& settings)
{
    auto value = settings.object(keys::ignoreList);
    const auto* data = value ? value->as<PlistData>() : nullptr;
    return data ? decodeIgnoreData(*data) : std::nullopt;
}

struct IgnoreListStoreTest : test::CountedSettings {
    IgnoreListStoreTest() : CountedSettings(keys::ignoreList) {}
};

TEST_F(IgnoreListStoreTest, FreshInstallationHasNoRulesAndStoredOnesAreKeptAsTheyAre)
{
    {
        IgnoreListStore store(settings);
        EXPECT_TRUE(store.globalTitles().empty());
        EXPECT_TRUE(store.ignoredMenuTitles().empty());
        EXPECT_FALSE(store.isEnabled());
        EXPECT_FALSE(store.showWhenFiltering());
        EXPECT_EQ(writes, 0);
    }
    // Rules stored by a version that seeded other desktops' defaults stay.
    IgnoreData earlier;
    earlier.globalTitles = {"Minimize", "Print…"};
    earlier.ignoredMenuTitles = {"Apple"};
    settings.set(keys::ignoreList, encodeIgnoreData(earlier));
    writes = 0;
    IgnoreListStore store(settings);
    EXPECT_EQ(store.data(), earlier);
    EXPECT_EQ(writes, 0);
}

TEST_F(IgnoreListStoreTest, GlobalRulesAreTrimmedAndNotDuplicated)
{
    IgnoreListStore store(settings);
    int notifications = 0;
    store.addObserver([&] { ++notifications; });

    store.addGlobalRule("  Print…\t");
    store.addGlobalRule("Print…");
    store.addGlobalRule("   ");
    store.addGlobalRule("print…");  // exact text equality only
    EXPECT_THAT(store.globalTitles(), ElementsAre("Print…", "print…"));
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(notifications, 2);

    store.addIgnoredMenu(" Help ");
    store.addIgnoredMenu("Help");
    store.addIgnoredMenu("Window");
    store.removeIgnoredMenus({0, 7});
    EXPECT_THAT(store.ignoredMenuTitles(), ElementsAre("Window"));
    EXPECT_EQ(stored(settings), store.data());
}

TEST_F(IgnoreListStoreTest, PerApplicationRulesKeepDisplayNamesInStep)
{
    IgnoreListStore store(settings);
    store.addGlobalRule("Fill");
    store.addAppRule(" Close Tab ", "org.app", "App");
    store.addAppRule("Close*", "org.app", "App");
    store.addAppRule("Close Tab", "org.app", "App");
    EXPECT_EQ(writes, 3);
    EXPECT_THAT(store.patterns("org.app"), ElementsAre("Fill", "Close Tab", "Close*"));
    EXPECT_THAT(store.patterns("org.other"), ElementsAre("Fill"));
    EXPECT_THAT(store.patterns(std::nullopt), ElementsAre("Fill"));

    store.removeAppRules("org.app", {0});
    EXPECT_THAT(store.appDisplayNames(), ElementsAre(Pair("org.app", "App")));
    store.removeAppRules("org.app", {0});
    EXPECT_TRUE(store.perApp().empty());
    EXPECT_TRUE(store.appDisplayNames().empty());

    store.addAppRule("Quit", "org.b", "B");
    store.removeAllRules("org.b");
    EXPECT_TRUE(store.perApp().empty());
    EXPECT_TRUE(store.appDisplayNames().empty());
    EXPECT_EQ(stored(settings), store.data());
}

TEST_F(IgnoreListStoreTest, SwitchesAndIgnoredAppsWriteAtOnce)
{
    IgnoreListStore store(settings);
    store.setEnabled(true);
    store.setShowWhenFiltering(true);
    store.addIgnoredApp("org.game", "Game");
    EXPECT_TRUE(settings.boolean(keys::ignoreListEnabled));
    EXPECT_TRUE(settings.boolean(keys::ignoreListShowWhenFiltering));
    EXPECT_THAT(stored(settings)->ignoredApps, ElementsAre(Pair("org.game", "Game")));
    store.removeIgnoredApp("org.game");
    EXPECT_TRUE(stored(settings)->ignoredApps.empty());
}

TEST_F(IgnoreListStoreTest, DataOfEarlierVersionsLoadsAndBadDataIsIgnored)
{
    auto old = decodeIgnoreData(bytes(R"({"globalTitles":["Fill"],"perApp":{"org.a":["Quit"]},"appDisplayNames":{"org.a":"A"}})"));
    ASSERT_TRUE(old);
    EXPECT_THAT(old->perApp.at("org.a"), ElementsAre("Quit"));
    EXPECT_TRUE(old->ignoredApps.empty());
    EXPECT_TRUE(old->ignoredMenuTitles.empty());

    EXPECT_FALSE(decodeIgnoreData(bytes(R"({"globalTitles":["Fill"],"perApp":{}})")));
    EXPECT_FALSE(decodeIgnoreData(bytes(R"({"globalTitles":[1],"perApp":{},"appDisplayNames":{}})")));
    EXPECT_FALSE(decodeIgnoreData(bytes("[]")));
    EXPECT_FALSE(decodeIgnoreData(bytes("{\"globalTitles\":")));

    IgnoreListStore store(settings);
    store.addGlobalRule("Fill");
    settings.set(keys::ignoreList, bytes("not json"));
    settings.set(keys::ignoreListEnabled, true);
    store.reload();
    EXPECT_TRUE(store.isEnabled());
    EXPECT_THAT(store.globalTitles(), ElementsAre("Fill"));  // unchanged

    settings.set(keys::ignoreList, encodeIgnoreData(*old));
    store.reload();
    EXPECT_EQ(store.data(), *old);
}

} // namespace
} // namespace hb
