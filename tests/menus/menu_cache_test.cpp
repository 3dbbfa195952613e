#include "menus/menu_cache.h"

#include "fake/fake_accessibility.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

using namespace hb;
using platform::Seconds;
using platform::TaskPriority;

namespace {

platform::RunningApplication application(pid_t pid, std::string bundleIdentifier)
{
    return platform::RunningApplication{pid, "App " + std::to_string(pid), std::move(bundleIdentifier), {}, "app"};
}

const auto appA = application(100, "org.example.a");
const auto appB = application(200, "org.example.b");

// What one show received, if anything.
struct Show {
    std::shared_ptr<Cancellation> task = std::make_shared<Cancellation>();
    std::optional<MenuReadResult> result;
    int calls = 0;
};

class MenuCacheTest : public testing::Test {
protected:
    // Each read gives one section named after the process it read, or nothing with `emptyReads`.
    MenuReadResult readMenus(const MenuReadOptions& options)
    {
        reads.push_back(options);
        MenuSection section;
        section.title = "pid " + std::to_string(options.pid);
        return emptyReads ? MenuReadResult{} : MenuReadResult{{section}, {}};
    }

    // Shows the application's menus; a stale entry's refresh goes to `refreshed` when given.
    std::shared_ptr<Show> show(const platform::RunningApplication& app, std::shared_ptr<Show> refreshed = nullptr)
    {
        auto shown = std::make_shared<Show>();
        const auto into = [](std::shared_ptr<Show> show) {
            return [show](const MenuReadResult& result) {
                show->result = result;
                ++show->calls;
            };
        };
        cache.obtainMenus(cache.requestKey(app), shown->task, into(shown),
                          refreshed ? CachedMenuReader::Completion(into(refreshed)) : nullptr);
        return shown;
    }

    static std::string shownTitle(const Show& show) { return show.result ? show.result->sections.at(0).title : ""; }

    fake::VirtualRuntime runtime;
    fake::FakeAccessibility accessibility;
    fake::MemorySettingsDomain settings;
    IgnoreListStore ignoreList{settings};
    std::vector<MenuReadOptions> reads;
    bool emptyReads = false;
    CachedMenuReader cache{[this](const MenuReadOptions& options) { return readMenus(options); },
                           runtime,
                           runtime,
                           runtime,
                           accessibility,
                           settings,
                           ignoreList};
};

TEST_F(MenuCacheTest, PreReadServesTheNextShowWithTheTimeOfItsRead)
{
    cache.precache(appA);
    EXPECT_EQ(runtime.lastBackgroundPriority(), TaskPriority::utility);
    ASSERT_TRUE(cache.preCacheKey());
    runtime.runUntilIdle();
    const auto readAt = runtime.now();
    EXPECT_FALSE(cache.menuCache()) << "a pre-read result waits to be consumed";

    runtime.advance(Seconds(7));
    auto shown = show(appA);
    EXPECT_EQ(shownTitle(*shown), "pid 100");
    EXPECT_EQ(reads.size(), 1u);
    ASSERT_TRUE(cache.menuCache());
    EXPECT_EQ(cache.menuCache()->readAt, readAt) << "showing does not make a read younger";
    EXPECT_FALSE(cache.preCacheKey());
    EXPECT_FALSE(cache.hasDetachedRead());
}

TEST_F(MenuCacheTest, ShowDuringAPreReadWaitsForItAndReadsAgainOnlyForAnotherKey)
{
    cache.precache(appA);
    auto shown = show(appA);
    EXPECT_EQ(shown->calls, 0);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 1u);

    runtime.runUntilIdle();
    EXPECT_EQ(shown->calls, 1);
    EXPECT_EQ(shownTitle(*shown), "pid 100");
    EXPECT_EQ(reads.size(), 1u);

    // The pre-read's result is no answer to a show with every item.
    runtime.advance(Seconds(30));
    cache.precache(appA);
    settings.set(keys::showAllMenuItems, true);
    auto all = show(appA);
    runtime.runUntilIdle();
    EXPECT_EQ(all->calls, 1);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_TRUE(reads.back().includeAll);
    EXPECT_TRUE(cache.menuCache()->key.includeAll);
}

TEST_F(MenuCacheTest, EntryIsReusedForTwentySecondsFromItsRead)
{
    auto first = show(appA);
    EXPECT_EQ(runtime.lastBackgroundPriority(), TaskPriority::userInitiated);
    runtime.runUntilIdle();
    ASSERT_EQ(first->calls, 1);
    const auto readAt = cache.menuCache()->readAt;

    runtime.advance(Seconds(20));
    auto second = show(appA);
    EXPECT_EQ(second->calls, 1) << "served at once";
    EXPECT_EQ(reads.size(), 1u);
    EXPECT_EQ(cache.menuCache()->readAt, readAt) << "reuse does not renew the entry";

    runtime.advance(Seconds(1));
    auto third = show(appA);
    EXPECT_EQ(third->calls, 0);
    runtime.runUntilIdle();
    EXPECT_EQ(third->calls, 1);
    EXPECT_EQ(reads.size(), 2u);

    // A fresh entry serves a show that would take a refresh, and nothing is read again.
    auto refreshed = std::make_shared<Show>();
    EXPECT_EQ(show(appA, refreshed)->calls, 1);
    runtime.runUntilIdle();
    EXPECT_EQ(refreshed->calls, 0);
    EXPECT_EQ(reads.size(), 2u);
}

TEST_F(MenuCacheTest, ActivatingAnotherApplicationForgetsTheRunningPreRead)
{
    cache.precache(appA);
    cache.precache(appA);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 1u) << "one pre-read at a time";
    cache.precache(appB);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 2u) << "the first read is not cancelled";
    ASSERT_TRUE(cache.preCacheKey());
    EXPECT_EQ(cache.preCacheKey()->pid, appB.pid);

    runtime.runUntilIdle();
    auto shown = show(appB);
    EXPECT_EQ(shownTitle(*shown), "pid 200");
    EXPECT_EQ(reads.size(), 2u);
    EXPECT_EQ(cache.menuCache()->key.pid, appB.pid);

    // Activating A again drops B's entry and reads A afresh.
    cache.precache(appA);
    EXPECT_FALSE(cache.menuCache());
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 1u);
}

TEST_F(MenuCacheTest, PreReadOnlyRunsWhenItCanServeAShow)
{
    settings.set(keys::showAllMenuItems, true);
    cache.precache(appA);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 0u);
    settings.set(keys::showAllMenuItems, false);

    accessibility.setTrusted(false);
    cache.precache(appA);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 0u);
    accessibility.setTrusted(true);

    // An ignored application is never read ahead.
    ignoreList.addIgnoredApp("org.example.a", "A");
    cache.precache(appA);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 0u);

    // A fresh entry with the same key makes a pre-read needless.
    auto shown = show(appB);
    runtime.runUntilIdle();
    cache.precache(appB);
    EXPECT_EQ(runtime.pendingBackgroundTasks(), 0u);
}

TEST_F(MenuCacheTest, ReadKeyFollowsSettingsAndIgnoreRulesAndAChangedPatternForcesANewRead)
{
    auto key = cache.requestKey(appA);
    EXPECT_FALSE(key.includeAll);
    EXPECT_FALSE(key.maxSubmenuSize);
    EXPECT_TRUE(key.ignoredTitles.empty()) << "rules apply only while the list is enabled";
    EXPECT_EQ(key.ignoredMenuTitles, ignoreList.ignoredMenuTitles());

    settings.set(keys::hideLargeSubmenus, true);
    EXPECT_FALSE(cache.requestKey(appA).maxSubmenuSize) << "the limit needs include-all";
    settings.set(keys::showAllMenuItems, true);
    EXPECT_EQ(cache.requestKey(appA).maxSubmenuSize, 5);
    EXPECT_TRUE(cache.requestKey(appA).includeAll);

    ignoreList.setEnabled(true);
    auto first = show(appA);
    runtime.runUntilIdle();
    ASSERT_EQ(reads.size(), 1u);

    ignoreList.addAppRule("Zoom*", "org.example.a", "A");
    auto second = show(appA);
    runtime.runUntilIdle();
    EXPECT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads.back().ignoredTitles.back(), "Zoom*");
    EXPECT_EQ(second->calls, 1);

    // Shown while filtering: the reader no longer drops the commands.
    ignoreList.setShowWhenFiltering(true);
    EXPECT_TRUE(cache.requestKey(appA).ignoredTitles.empty());
}

TEST_F(MenuCacheTest, CancelledShowNeverShowsButItsReadServesOrIsCached)
{
    auto cancelled = show(appA);
    cancelled->task->cancel();
    runtime.runUntilIdle();
    EXPECT_EQ(cancelled->calls, 0);
    ASSERT_TRUE(cache.menuCache());
    EXPECT_EQ(cache.menuCache()->key.pid, appA.pid);
    EXPECT_EQ(show(appA)->calls, 1);
    EXPECT_EQ(reads.size(), 1u);

    // A second trigger during the cancelled show's read: shown once, one read.
    auto first = show(appB);
    first->task->cancel();
    auto second = show(appB);
    runtime.runUntilIdle();
    EXPECT_EQ(first->calls, 0);
    EXPECT_EQ(second->calls, 1);
    EXPECT_EQ(reads.size(), 2u);

    // Cancelled while waiting for a pre-read: nothing shown, the pre-read consumed.
    cache.precache(appA);
    auto third = show(appA);
    third->task->cancel();
    runtime.runUntilIdle();
    EXPECT_EQ(third->calls, 0);
    EXPECT_EQ(cache.menuCache()->key.pid, appA.pid);
    EXPECT_FALSE(cache.hasDetachedRead());
}

TEST_F(MenuCacheTest, ShowWaitingOnAForgottenReadLeavesTheNewPreReadAlone)
{
    cache.precache(appA);
    auto shown = show(appA);
    cache.precache(appB);    // A's read is forgotten while the show waits for it
    runtime.runBackground(); // A's read ends
    EXPECT_EQ(shownTitle(*shown), "pid 100");
    ASSERT_TRUE(cache.preCacheKey());
    EXPECT_EQ(cache.preCacheKey()->pid, appB.pid);
    EXPECT_TRUE(cache.hasDetachedRead());

    runtime.runUntilIdle();
    auto showB = show(appB);
    EXPECT_EQ(shownTitle(*showB), "pid 200");
    EXPECT_EQ(reads.size(), 2u);
}

TEST_F(MenuCacheTest, EmptyReadIsCachedLikeAnyOther)
{
    emptyReads = true;
    for (int i = 0; i < 2; ++i) {
        const auto shown = show(appA);
        runtime.runUntilIdle();
        EXPECT_EQ(shown->calls, 1);
    }
    EXPECT_EQ(reads.size(), 1u);
}

} // namespace
