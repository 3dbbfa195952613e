#pragma once

#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/memory_sync_folder.h"
#include "fake/virtual_runtime.h"
#include "platform/notification_center.h"
#include "settings/favourites_store.h"
#include "settings/ignore_list_store.h"
#include "settings/settings_sync.h"
#include "settings/theme_settings.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hb::test {

// A machine's record as its file or its settings hold it, read with no clock limit.
inline std::optional<DecodedSyncState> decodeRecord(const platform::PlistValue& stored)
{
    std::string failure;
    return decodeSyncState(stored, std::numeric_limits<std::int64_t>::max() / 2, failure);
}

inline platform::PlistValue stamp(platform::PlistValue seconds, std::int64_t counter, const std::string& machine)
{
    return platform::PlistArray{std::move(seconds), platform::PlistValue(counter), platform::PlistValue(machine)};
}

// A value as a record holds it, stamped by `machine` at `seconds`.
inline platform::PlistValue stamped(double seconds, const std::string& machine, platform::PlistValue value)
{
    return platform::PlistDictionary{{"s", stamp(seconds, 0, machine)}, {"v", std::move(value)}};
}

// A machine file as another release or a damaged copy could hold it.
inline platform::PlistValue machineRecord(const std::string& machine, platform::PlistDictionary values,
                                          platform::PlistDictionary sets = {})
{
    return platform::PlistDictionary{{"format", "org.mirelo.Hintboard.sync"},
                                     {"version", 2},
                                     {"machine", machine},
                                     {"values", platform::PlistValue(std::move(values))},
                                     {"sets", platform::PlistValue(std::move(sets))}};
}

struct OffsetClock : platform::Clock {
    OffsetClock(platform::Clock& base, platform::Seconds offset) : base(base), offset(offset) {}
    platform::TimePoint now() const override { return base.now() + offset; }
    platform::Clock& base;
    platform::Seconds offset;
};

// One simulated machine: what survives the program (its settings and its
// copy of the sync folder) and the program itself, which can be killed: from
// `killAfterWrites` writes on, every write is lost, as if the process had died
// right before it; `restart` then runs the program anew from what was written.
struct SyncMachine {
    SyncMachine(fake::VirtualRuntime& runtime, std::string name, platform::Seconds clockOffset)
        : runtime(runtime), name(std::move(name)), clock(runtime, clockOffset), notifications(runtime)
    {
        settings.allowWrite = folder.allowWrite = [this] { return writeAllowed(); };
    }
    ~SyncMachine() { stopProgram(); }

    // The stores of a program about to start, and what it is given.
    SettingsSyncServices prepareProgram()
    {
        favourites.emplace(settings);
        ignoreList.emplace(settings);
        theme.emplace(settings, [] { return RgbColor{}; });
        return {settings, folder, runtime, clock, notifications, log, *favourites, *ignoreList, *theme, name, computer};
    }
    void startProgram()
    {
        sync = std::make_unique<SettingsSync>(prepareProgram());
        sync->start();
    }
    void stopProgram()
    {
        sync.reset();
        theme.reset();
        ignoreList.reset();
        favourites.reset();
    }
    void killAfter(int writes) { writesLeft = writes; }
    // Whether a settings message holds `text`.
    bool logged(std::string_view text) const
    {
        return std::ranges::any_of(logSink.messages(platform::LogCategory::settings),
                                   [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    bool isDead() const { return writesLeft == 0; }
    void restart()
    {
        writesLeft = 0; // a dead process writes nothing more while it goes
        stopProgram();
        writesLeft = -1;
        startProgram();
    }

    // Dead, nothing is written; marked to die, the last writes count down.
    bool writeAllowed() { return writesLeft < 0 || (writesLeft > 0 && --writesLeft >= 0); }

    fake::VirtualRuntime& runtime;
    std::string name, computer;
    OffsetClock clock;
    fake::MemorySettingsDomain settings;
    fake::MemorySyncFolder folder;
    platform::NotificationCenter notifications;
    fake::MemoryLogSink logSink;
    platform::Log log{logSink, [] { return false; }};
    int writesLeft = -1; // -1: alive without limit; 0: dead
    std::optional<FavouritesStore> favourites;
    std::optional<IgnoreListStore> ignoreList;
    std::optional<ThemeSettings> theme;
    std::unique_ptr<SettingsSync> sync;
};

// Stands in for a file-synchronisation tool: every file a machine writes is
// queued as a copy for each other machine, delivered when the test says, and
// kept in the file's history.
struct SyncCopier {
    struct Copy {
        SyncMachine* to;
        std::string name, content;
    };

    explicit SyncCopier(std::vector<SyncMachine*> machines = {})
    {
        for (auto* machine : machines)
            add(machine);
    }
    // A machine joins: it gets the copies written from now on.
    void add(SyncMachine* from)
    {
        machines.push_back(from);
        from->folder.onWrite = [this, from](const std::string& name, const std::string& content) {
            history[name].push_back(content);
            written.insert(content);
            for (auto* to : this->machines) {
                if (to != from)
                    pending.push_back({to, name, content});
            }
        };
    }

    ~SyncCopier()
    {
        for (auto* machine : machines)
            machine->folder.onWrite = nullptr;
    }

    // Delivers every copy in the order written; copies for a folder that is gone wait.
    void deliverAll()
    {
        std::deque<Copy> waiting;
        while (!pending.empty()) {
            auto copy = std::move(pending.front());
            pending.pop_front();
            if (copy.to->folder.isAvailable())
                copy.to->folder.place(copy.name, std::move(copy.content));
            else
                waiting.push_back(std::move(copy));
        }
        pending = std::move(waiting);
    }

    std::vector<SyncMachine*> machines;
    std::deque<Copy> pending;
    std::map<std::string, std::vector<std::string>> history;
    std::set<std::string> written;
};

} // namespace hb::test
