#include "settings/favourites_store.h"

#include "settings/settings_keys.h"
#include "support/counted_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/model_builders.h"

namespace hb {
namespace {

using hb::test::row;

using platform::PlistArray;
using testing::UnorderedElementsAre;

std::vector<std::string> storedList(const platform::SettingsDomain& settings)
{
    std::vector<std::string> result;
    auto value = settings.object(keys::pinnedShortcuts);
    for (const auto& entry : *value->as<PlistArray>())
        result.push_back(*entry.as<std::string>());
    return result;
}

struct FavouritesStoreTest : test::CountedSettings {
    FavouritesStoreTest() : CountedSettings(keys::pinnedShortcuts) {}
};

TEST_F(FavouritesStoreTest, IdentityDoublesEveryBarOfEachPart)
{
    EXPECT_EQ(FavouritesStore::identity(row("Save", "⌘S"), "org.xfce.mousepad"), "org.xfce.mousepad|Save|⌘S");
    EXPECT_EQ(FavouritesStore::identity(row("A|B", "⌘|"), "x|y"), "x||y|A||B|⌘||");
    EXPECT_EQ(FavouritesStore::legacyIdentity(row("A|B", "⌘|"), "x|y"), "x|y|A|B|⌘|");
}

TEST_F(FavouritesStoreTest, ToggleWritesThroughAndTwiceRestoresTheSet)
{
    FavouritesStore store(settings);
    int notifications = 0;
    store.addObserver([&] { ++notifications; });
    const auto split = row("Split | Join", "⌥⌘J");

    store.toggle(split, "Mousepad");  // an application without bundle identifier: its name
    EXPECT_TRUE(store.isPinned(split, "Mousepad"));
    EXPECT_THAT(storedList(settings), UnorderedElementsAre("Mousepad|Split || Join|⌥⌘J"));
    EXPECT_TRUE(store.hasFavourites("Mousepad"));

    store.toggle(split, "Mousepad");
    EXPECT_FALSE(store.isPinned(split, "Mousepad"));
    EXPECT_TRUE(storedList(settings).empty());
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(notifications, 2);
}

TEST_F(FavouritesStoreTest, LegacyEntryIsMigratedOnLookup)
{
    settings.set(keys::pinnedShortcuts, PlistArray{"app|Copy|⌘C", "app|A|B|⌘B"});
    writes = 0;
    FavouritesStore store(settings);
    int notifications = 0;
    store.addObserver([&] { ++notifications; });

    EXPECT_TRUE(store.isPinned(row("A|B", "⌘B"), "app"));
    EXPECT_THAT(storedList(settings), UnorderedElementsAre("app|Copy|⌘C", "app|A||B|⌘B"));
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(notifications, 1);

    // Plain entries need no migration and are not written again.
    EXPECT_TRUE(store.isPinned(row("Copy", "⌘C"), "app"));
    EXPECT_TRUE(store.isPinned(row("A|B", "⌘B"), "app"));
    EXPECT_FALSE(store.isPinned(row("Paste", "⌘V"), "app"));
    EXPECT_EQ(writes, 1);
}

TEST_F(FavouritesStoreTest, HasFavouritesNeedsTheSeparatorAfterTheIdentifier)
{
    settings.set(keys::pinnedShortcuts, PlistArray{"org.app.editor|Save|⌘S", "legacy|app|Open|⌘O"});
    FavouritesStore store(settings);
    EXPECT_TRUE(store.hasFavourites("org.app.editor"));
    EXPECT_FALSE(store.hasFavourites("org.app"));
    EXPECT_FALSE(store.hasFavourites("org.app.edit"));
    EXPECT_TRUE(store.hasFavourites("legacy|app"));  // written unescaped by an earlier version
}

TEST_F(FavouritesStoreTest, StoredValuesOfOtherTypesReadAsEmptyOrAreSkipped)
{
    settings.set(keys::pinnedShortcuts, "app|Save|⌘S");
    EXPECT_TRUE(FavouritesStore(settings).pinned().empty());

    settings.set(keys::pinnedShortcuts, PlistArray{"app|Save|⌘S", 7, true});
    EXPECT_THAT(FavouritesStore(settings).pinned(), UnorderedElementsAre("app|Save|⌘S"));
}

TEST_F(FavouritesStoreTest, ReloadTakesTheNewListWithoutSaving)
{
    FavouritesStore store(settings);
    store.toggle(row("Save", "⌘S"), "app");
    int notifications = 0;
    store.addObserver([&] { ++notifications; });

    settings.set(keys::pinnedShortcuts, PlistArray{"app|Open|⌘O"});
    writes = 0;
    store.reload();
    EXPECT_THAT(store.pinned(), UnorderedElementsAre("app|Open|⌘O"));
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(notifications, 1);
}

} // namespace
} // namespace hb
