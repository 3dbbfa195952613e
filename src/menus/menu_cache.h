#pragma once

#include "menus/menu_bar_reader.h"
#include "model/shortcut.h"
#include "platform/accessibility.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"
#include "platform/workspace.h"
#include "settings/ignore_list_store.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace hb {

// The options a read was made with; two reads are interchangeable only when
// their keys are equal.
using PrecacheKey = MenuReadOptions;

// The single cache entry.
struct MenuCache {
    PrecacheKey key;
    std::vector<MenuSection> sections;
    std::vector<Shortcut> ignoredShortcuts;
    platform::TimePoint readAt; // when its read ended, however much later it was stored
};

// Set by the owner of a task to ask it to stop at its next check.
// Main thread only.
class Cancellation {
public:
    void cancel() { cancelled_ = true; }
    bool isCancelled() const { return cancelled_; }

private:
    bool cancelled_ = false;
};

// Reads applications' menus through a single short-lived cache entry, and
// reads the menus of each newly activated application ahead of the popup.
// Reads run as background tasks and hand their plain results back to the main
// queue; everything else lives on the main thread.
class CachedMenuReader {
public:
    // Runs on a background thread: must not touch anything but its argument
    // and immutable state.
    using ReadMenus = std::function<MenuReadResult(const MenuReadOptions&)>;
    using Completion = std::function<void(const MenuReadResult&)>;

    static constexpr platform::Seconds freshness{20};

    // `readMenus` of the reader, which must outlive every read started with it.
    static ReadMenus menuBarReads(const MenuBarReader& reader);

    CachedMenuReader(ReadMenus read, platform::Clock& clock, platform::MainQueue& mainQueue,
                     platform::BackgroundTasks& background, platform::Accessibility& accessibility,
                     platform::SettingsDomain& settings, const IgnoreListStore& ignoreList);
    ~CachedMenuReader();
    CachedMenuReader(const CachedMenuReader&) = delete;
    CachedMenuReader& operator=(const CachedMenuReader&) = delete;

    // The key of a popup read for the application, from the read settings and
    // the ignore rules at this moment.
    PrecacheKey requestKey(const platform::RunningApplication& app) const;

    // Starts a read of a newly activated application's menus at utility
    // priority, unless a fresh entry or a read in flight makes it needless.
    void precache(const platform::RunningApplication& app);

    // Gives the menus for the key: waits for a read in flight first, then
    // reuses a fresh entry with this key or reads anew. `completion` runs on
    // the main thread (at once when a fresh entry serves), and never once the
    // show task is cancelled; a fresh read is cached all the same.
    //
    // With `refreshed`, an entry with this key that is no longer fresh serves
    // `completion` at once all the same, and the read that replaces it (one in
    // flight, or a new one) goes to `refreshed` when it ends.
    void obtainMenus(const PrecacheKey& key, std::shared_ptr<const Cancellation> showTask, Completion completion,
                     Completion refreshed = {});

    const std::optional<MenuCache>& menuCache() const { return menuCache_; }
    const std::optional<PrecacheKey>& preCacheKey() const { return preCacheKey_; }
    bool hasDetachedRead() const { return detachedScrapeTask_ != nullptr; }

private:
    class ScrapeTask;

    std::shared_ptr<ScrapeTask> startRead(const PrecacheKey& key, platform::TaskPriority priority);
    bool isFresh(const PrecacheKey& key) const;
    // Gives an entry with this key that is no longer fresh to `completion`;
    // false when there is none.
    bool servedStale(const PrecacheKey& key, const Cancellation& showTask, const Completion& completion);
    void store(const PrecacheKey& key, const MenuReadResult& result, platform::TimePoint readAt);
    void serveFromCacheOrRead(const PrecacheKey& key, std::shared_ptr<const Cancellation> showTask,
                              Completion completion);

    ReadMenus read_;
    platform::Clock& clock_;
    platform::MainQueue& mainQueue_;
    platform::BackgroundTasks& background_;
    platform::Accessibility& accessibility_;
    platform::SettingsDomain& settings_;
    const IgnoreListStore& ignoreList_;

    std::optional<MenuCache> menuCache_;
    std::optional<PrecacheKey> preCacheKey_;
    std::shared_ptr<ScrapeTask> detachedScrapeTask_;
    // Continuations check it so that none runs after this object is gone.
    std::shared_ptr<CachedMenuReader*> self_;
};

} // namespace hb
