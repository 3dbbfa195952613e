#pragma once

#include "base/property_list.h"

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

// The place of an edit in the order of all edits: hybrid logical clock time
// (milliseconds since 1970, never behind what its machine had seen), a counter
// for edits within one millisecond, and the machine that made the edit.
struct SyncStamp {
    std::int64_t milliseconds = 0;
    std::int64_t counter = 0;
    std::string machine;

    auto operator<=>(const SyncStamp&) const = default;
};

// A stamp per machine.
using MachineStamps = std::map<std::string, SyncStamp, std::less<>>;

// Raises the stamp `stamps` holds for `machine` to at least `stamp`.
inline void raiseStamp(MachineStamps& stamps, const std::string& machine, const SyncStamp& stamp)
{
    auto [entry, inserted] = stamps.try_emplace(machine, stamp);
    if (entry->second < stamp)
        entry->second = stamp;
}

// Gives each local edit a stamp later than every stamp seen so far, even when
// this machine's clock is behind the others'.
class HybridClock {
public:
    SyncStamp tick(std::int64_t physicalMilliseconds, const std::string& machine);
    void observe(const SyncStamp& seen);
    const SyncStamp& last() const { return last_; }

private:
    SyncStamp last_;
};

// The value of a scalar key and the stamp of its edit; no value: removed.
struct SyncRegister {
    SyncStamp stamp;
    std::optional<platform::PlistValue> value;

    friend bool operator==(const SyncRegister&, const SyncRegister&) = default;
};

// The add and remove marks of one element of a set key. The element is
// present while some add mark has no remove mark: a removal marks only the
// additions it saw, so a concurrent addition survives it.
struct SyncElement {
    std::set<SyncStamp> adds;
    std::set<SyncStamp> removes;

    friend bool operator==(const SyncElement&, const SyncElement&) = default;
};

// What this machine knows of the synchronised keys: a register per scalar
// key, marks per element for the keys that hold sets (favourites, ignore
// rules). Merging is commutative, associative and idempotent, so copies may
// be merged in any order, late or more than once.
class SyncState {
public:
    // Elements are named by a JSON array of texts: [entry] for favourites,
    // [kind, ...] for ignore rules.
    using Elements = std::map<std::string, SyncElement, std::less<>>;

    static bool holdsSet(std::string_view key);
    // Whether `id` names an element of the set key `key`.
    static bool isElement(std::string_view key, std::string_view id);

    // Gives the keys whose entries gained something, or lost it to a clear.
    std::set<std::string> merge(const SyncState& other);
    // Whether merging `other` would add nothing.
    bool covers(const SyncState& other) const;
    // The value this state gives the key; none: absent.
    std::optional<platform::PlistValue> value(std::string_view key) const;
    bool hasEntries(std::string_view key) const;
    // Records a local edit: the key now holds `local` (none: removed). A set
    // key records marks for the elements added and removed since what the
    // state holds (also elements value() leaves out: another name of an
    // application);
    // a scalar key records a new register unless the value is unchanged and
    // `restamp` is false. True when something was recorded.
    bool recordEdit(std::string_view key, const std::optional<platform::PlistValue>& local, const SyncStamp& stamp,
                    bool restamp = false);

    // The newest stamp the state holds.
    std::optional<SyncStamp> newestStamp() const;

    // The synchronised settings were cleared at `stamp`: drops every entry
    // stamped then or before, now and in every later merge. Gives the keys
    // that lost entries.
    std::set<std::string> clearUpTo(const SyncStamp& stamp);
    const std::optional<SyncStamp>& cleared() const { return cleared_; }

    // Forgets the elements that no addition keeps present and of which
    // `settled` says every machine knows the removal, raising the watermark of
    // each mark's machine to it. Gives the keys that lost elements.
    std::set<std::string>
    forgetRemoved(const std::function<bool(std::string_view key, std::string_view id, const SyncElement&)>& settled);
    // Per machine, the newest of its marks forgotten here or in a state merged
    // here. A mark at or below it that the state does not hold was forgotten
    // (every mark of that machine up to it was known when it was raised), so
    // a merge drops it from either side and takes the higher watermark: a
    // stale copy cannot bring a forgotten element back, even to a machine
    // that never held it.
    using Watermarks = MachineStamps;
    const Watermarks& forgotten() const { return forgotten_; }
    // Keeps only the watermarks at or below `upTo`'s stamp for their machine:
    // a file's are trusted no further than what it acknowledges having merged.
    void limitForgotten(const Watermarks& upTo);

    const std::map<std::string, SyncRegister, std::less<>>& registers() const { return registers_; }
    const std::map<std::string, Elements, std::less<>>& sets() const { return sets_; }
    friend bool operator==(const SyncState&, const SyncState&) = default;

private:
    friend struct SyncStateCoding;
    bool isCleared(const SyncStamp& stamp) const { return cleared_ && stamp <= *cleared_; }
    // Whether a mark of an element that a state with watermarks `forgotten`
    // holds as `known` (none: absent) was forgotten there.
    static bool isForgotten(const Watermarks& forgotten, const SyncStamp& mark, const SyncElement* known);
    // Drops the marks `other` forgot; gives the keys that lost some.
    std::set<std::string> dropForgottenBy(const SyncState& other);

    std::map<std::string, SyncRegister, std::less<>> registers_;
    std::map<std::string, Elements, std::less<>> sets_;
    std::optional<SyncStamp> cleared_;
    Watermarks forgotten_;
};

// Per machine, the newest stamp of that machine's file merged here.
using SyncAcknowledgements = MachineStamps;

// The stored form, a property-list dictionary shared by the sync folder's
// machine files and this machine's own record:
//   format "org.mirelo.Hintboard.sync", version 2, machine <id>,
//   values {key: {s: stamp, v: value (absent when removed)}},
//   sets {key: [{e: element, a: [stamps], r: [stamps]}]},
//   cleared: stamp (when the settings were cleared; absent when never),
//   seen {machine: stamp} (the newest stamp of each machine's file merged),
//   twins: true (two records were seen claiming one machine),
//   forgotten {machine: stamp} (the watermarks),
// each stamp an array [seconds since 1970, counter, machine].
inline constexpr std::string_view syncFormatName = "org.mirelo.Hintboard.sync";
inline constexpr std::int64_t syncFormatVersion = 2;

// A stamp refused as lying too far ahead stays refused: remembered by this
// machine (in its own record only, member "refused"), at most this many, the
// newest kept.
inline constexpr std::size_t maxRefusedStamps = 1000;

// `refused` and `computer`, when given, are written as members "refused" and
// "computer" (this machine's own record; never the folder's files).
platform::PlistValue encodeSyncState(const SyncState& state, std::string_view machine,
                                     const std::set<SyncStamp>* refused = nullptr, std::string_view computer = {},
                                     const SyncAcknowledgements& seen = {}, bool twins = false);

struct DecodedSyncState {
    SyncState state;
    std::string machine;
    // "key: reason" for each entry left out.
    std::vector<std::string> skipped;
    // Member "refused".
    std::set<SyncStamp> refused;
    // Member "computer": the computer the record was made on; empty when unknown.
    std::string computer;
    SyncAcknowledgements seen;
    bool twins = false;
};
// Reads the stored form, checking every entry: a value of the wrong type or
// outside its bounds, an element that is not one, and a stamp that is not
// finite or lies more than a day after `nowMilliseconds` are left out and
// listed in `skipped`. With `refused` given, each stamp refused for lying
// ahead is added to it, and a stamp already in it is refused whatever the
// time now. None when the whole is not of this format and version
// (`failure` says why).
std::optional<DecodedSyncState> decodeSyncState(const platform::PlistValue& stored, std::int64_t nowMilliseconds,
                                                std::string& failure, std::set<SyncStamp>* refused = nullptr);

// A total order of values, the same on every machine: ties between equal
// stamps are broken by it.
std::strong_ordering compareValues(const platform::PlistValue& a, const platform::PlistValue& b);

// A record of the one-file-per-key folder written by earlier releases:
// member "value" and member "__ts_" (seconds since 1970). The state it
// stands for: the value stamped at that time by the machine "legacy".
std::optional<SyncState> legacySyncState(std::string_view key, const platform::PlistValue& record,
                                         std::int64_t nowMilliseconds, std::string& failure);

} // namespace hb
