#include "menus/menu_cache.h"

#include "settings/settings_keys.h"

namespace hb {

// One background read as the main thread sees it: its result once it has
// ended, and the continuations waiting for it. Main thread only; the read
// itself only hands its result over through the main queue.
class CachedMenuReader::ScrapeTask {
public:
    explicit ScrapeTask(PrecacheKey key) : key_(std::move(key)) {}

    const PrecacheKey& key() const { return key_; }
    platform::TimePoint endedAt() const { return endedAt_; }

    // Runs `waiter` when the result is there, at once when it already is.
    void then(Completion waiter)
    {
        if (result_)
            waiter(*result_);
        else
            waiters_.push_back(std::move(waiter));
    }

    void finish(MenuReadResult result, platform::TimePoint endedAt)
    {
        endedAt_ = endedAt;
        result_ = std::move(result);
        auto waiters = std::move(waiters_);
        for (auto& waiter : waiters)
            waiter(*result_);
    }

private:
    PrecacheKey key_;
    std::optional<MenuReadResult> result_;
    platform::TimePoint endedAt_{};
    std::vector<Completion> waiters_;
};

namespace {

constexpr std::int64_t largeSubmenuLimit = 5;

} // namespace

CachedMenuReader::ReadMenus CachedMenuReader::menuBarReads(const MenuBarReader& reader)
{
    return [&reader](const MenuReadOptions& options) {
        auto result = reader.readMenus(options);
        result.answered = reader.answered(options.pid);
        return result;
    };
}

CachedMenuReader::CachedMenuReader(ReadMenus read, platform::Clock& clock, platform::MainQueue& mainQueue,
                                   platform::BackgroundTasks& background, platform::Accessibility& accessibility,
                                   platform::SettingsDomain& settings, const IgnoreListStore& ignoreList)
    : read_(std::move(read)), clock_(clock), mainQueue_(mainQueue), background_(background),
      accessibility_(accessibility), settings_(settings), ignoreList_(ignoreList),
      self_(std::make_shared<CachedMenuReader*>(this))
{}

CachedMenuReader::~CachedMenuReader() = default;

PrecacheKey CachedMenuReader::requestKey(const platform::RunningApplication& app) const
{
    PrecacheKey key;
    key.pid = app.pid;
    key.includeAll = settings_.boolean(keys::showAllMenuItems);
    if (key.includeAll && settings_.boolean(keys::hideLargeSubmenus))
        key.maxSubmenuSize = largeSubmenuLimit;
    if (ignoreList_.isEnabled() && !ignoreList_.showWhenFiltering())
        key.ignoredTitles = ignoreList_.patterns(app.bundleIdentifier);
    key.ignoredMenuTitles = ignoreList_.ignoredMenuTitles();
    return key;
}

void CachedMenuReader::precache(const platform::RunningApplication& app)
{
    if (!accessibility_.isProcessTrusted())
        return;
    // Popup reads with include-all never match a pre-read.
    if (settings_.boolean(keys::showAllMenuItems))
        return;
    if (app.bundleIdentifier && ignoreList_.ignoredApps().contains(*app.bundleIdentifier))
        return;

    const auto key = requestKey(app);
    if (menuCache_ && menuCache_->key.pid != key.pid)
        menuCache_.reset();
    // The read for an application no longer in front runs on; its result is dropped.
    if (preCacheKey_ && preCacheKey_->pid != key.pid) {
        detachedScrapeTask_.reset();
        preCacheKey_.reset();
    }
    if (isFresh(key) || detachedScrapeTask_)
        return;
    preCacheKey_ = key;
    detachedScrapeTask_ = startRead(key, platform::TaskPriority::utility);
}

void CachedMenuReader::obtainMenus(const PrecacheKey& key, std::shared_ptr<const Cancellation> showTask,
                                   Completion completion, Completion refreshed)
{
    if (refreshed && servedStale(key, *showTask, completion)) {
        obtainMenus(key, std::move(showTask), std::move(refreshed));
        return;
    }
    auto task = detachedScrapeTask_;
    if (!task) {
        serveFromCacheOrRead(key, std::move(showTask), std::move(completion));
        return;
    }
    std::weak_ptr<CachedMenuReader*> alive = self_;
    task->then([alive, task, key, showTask, completion, refreshed](const MenuReadResult& result) {
        auto self = alive.lock();
        if (!self)
            return;
        auto& reader = **self;
        // A read remembered since this wait began is left alone. The awaited
        // result serves the show even when its read has been forgotten.
        if (reader.detachedScrapeTask_ == task) {
            reader.detachedScrapeTask_.reset();
            reader.preCacheKey_.reset();
        }
        if (task->key() == key) {
            reader.store(key, result, task->endedAt());
            // Not kept, and not asked again at once: the show says it does not answer.
            if (!result.answered) {
                if (!showTask->isCancelled())
                    completion(result);
                return;
            }
        }
        if (showTask->isCancelled())
            return;
        const bool stale = refreshed && reader.servedStale(key, *showTask, completion);
        reader.serveFromCacheOrRead(key, showTask, stale ? refreshed : completion);
    });
}

void CachedMenuReader::serveFromCacheOrRead(const PrecacheKey& key, std::shared_ptr<const Cancellation> showTask,
                                            Completion completion)
{
    if (isFresh(key)) {
        if (!showTask->isCancelled())
            completion(MenuReadResult{menuCache_->sections, menuCache_->ignoredShortcuts});
        return;
    }
    // The key of a pre-read belongs to the read it replaces.
    if (detachedScrapeTask_)
        preCacheKey_.reset();
    auto task = startRead(key, platform::TaskPriority::userInitiated);
    detachedScrapeTask_ = task;
    std::weak_ptr<CachedMenuReader*> alive = self_;
    task->then([alive, task, key, showTask = std::move(showTask),
                completion = std::move(completion)](const MenuReadResult& result) {
        auto self = alive.lock();
        if (!self)
            return;
        auto& reader = **self;
        if (reader.detachedScrapeTask_ == task)
            reader.detachedScrapeTask_.reset();
        reader.store(key, result, task->endedAt());
        if (!showTask->isCancelled())
            completion(result);
    });
}

std::shared_ptr<CachedMenuReader::ScrapeTask> CachedMenuReader::startRead(const PrecacheKey& key,
                                                                          platform::TaskPriority priority)
{
    auto task = std::make_shared<ScrapeTask>(key);
    background_.run(priority, [read = read_, key, task, &mainQueue = mainQueue_, &clock = clock_]() mutable {
        auto result = read(key);
        // Stamped as it reaches the main thread, where the clock is read.
        mainQueue.post([task = std::move(task), result = std::move(result), &clock]() mutable {
            task->finish(std::move(result), clock.now());
        });
    });
    return task;
}

bool CachedMenuReader::servedStale(const PrecacheKey& key, const Cancellation& showTask, const Completion& completion)
{
    if (!menuCache_ || menuCache_->key != key || isFresh(key))
        return false;
    if (!showTask.isCancelled())
        completion(MenuReadResult{menuCache_->sections, menuCache_->ignoredShortcuts});
    return true;
}

bool CachedMenuReader::isFresh(const PrecacheKey& key) const
{
    return menuCache_ && menuCache_->key == key && clock_.now() - menuCache_->readAt <= freshness;
}

void CachedMenuReader::store(const PrecacheKey& key, const MenuReadResult& result, platform::TimePoint readAt)
{
    // An application that did not answer is read anew next time.
    if (!result.answered) {
        menuCache_.reset();
        return;
    }
    menuCache_ = MenuCache{key, result.sections, result.ignoredShortcuts, readAt};
}

} // namespace hb
