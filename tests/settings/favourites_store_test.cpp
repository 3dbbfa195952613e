#include "settings/favourites_store.h"

#include "settings/settings_keys.h"
#include "support/counted_settings.h"
#include "support/model_builders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hb {
namespace {

using platform::PlistArray;
using test::row;
using testing::UnorderedElementsAre;

struct FavouritesStoreTest : test::CountedSettings {
    FavouritesStoreTest() : CountedSettings(keys::pinnedShortcuts) {}
    std::optional<platform::PlistValue> stored() const { return settings.object(keys::pinnedShortcuts); }
};

TEST_F(FavouritesStoreTest, ToggleWritesTheIdentityWithEveryBarDoubledAndTwiceRestoresTheSet)
{
    EXPECT_EQ(FavouritesStore::identity(row("A|B", "⌘|"), "x|y"), "x||y|A||B|⌘||");
    EXPECT_EQ(FavouritesStore::legacyIdentity(row("A|B", "⌘|"), "x|y"), "x|y|A|B|⌘|");
    FavouritesStore store(settings);
    int notifications = 0;
    store.addObserver([&] { ++notifications; });
    const auto split = row("Split | Join", "⌥⌘J");
    store.toggle(split, "Mousepad"); // an application without bundle identifier: its name
    EXPECT_TRUE(store.isPinned(split, "Mousepad"));
    EXPECT_EQ(stored(), platform::PlistValue(PlistArray{"Mousepad|Split || Join|⌥⌘J"}));
    EXPECT_TRUE(store.hasFavourites("Mousepad"));
    store.toggle(split, "Mousepad");
    EXPECT_FALSE(store.isPinned(split, "Mousepad"));
    EXPECT_EQ(stored(), platform::PlistValue(PlistArray{}));
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(notifications, 2);

    // Reloading takes the stored list without writing it.
    settings.set(keys::pinnedShortcuts, PlistArray{"app|Open|⌘O", 7, true});
    writes = 0;
    store.reload();
    EXPECT_THAT(store.pinned(), UnorderedElementsAre("app|Open|⌘O"));
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(notifications, 3);
    settings.set(keys::pinnedShortcuts, "app|Save|⌘S");
    EXPECT_TRUE(FavouritesStore(settings).pinned().empty());
}

TEST_F(FavouritesStoreTest, LegacyEntriesAreMigratedOnLookupAndMatchOnlyWholeIdentifiers)
{
    settings.set(keys::pinnedShortcuts, PlistArray{"app|Copy|⌘C", "app|A|B|⌘B", "org.app.editor|Save|⌘S"});
    writes = 0;
    FavouritesStore store(settings);
    EXPECT_TRUE(store.isPinned(row("A|B", "⌘B"), "app"));
    EXPECT_THAT(*stored()->as<PlistArray>(),
                UnorderedElementsAre("app|Copy|⌘C", "app|A||B|⌘B", "org.app.editor|Save|⌘S"));
    EXPECT_EQ(writes, 1);
    // Plain entries need no migration and are not written again.
    EXPECT_TRUE(store.isPinned(row("Copy", "⌘C"), "app"));
    EXPECT_TRUE(store.isPinned(row("A|B", "⌘B"), "app"));
    EXPECT_FALSE(store.isPinned(row("Paste", "⌘V"), "app"));
    EXPECT_EQ(writes, 1);

    EXPECT_TRUE(store.hasFavourites("org.app.editor"));
    EXPECT_FALSE(store.hasFavourites("org.app"));
    EXPECT_FALSE(store.hasFavourites("org.app.edit"));
    settings.set(keys::pinnedShortcuts, PlistArray{"legacy|app|Open|⌘O"});
    EXPECT_TRUE(FavouritesStore(settings).hasFavourites("legacy|app")); // written unescaped by an earlier version
}

} // namespace
} // namespace hb
