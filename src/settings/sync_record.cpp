#include "settings/sync_state.h"

#include "settings/settings.h"
#include "settings/settings_keys.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

// The stored form of a sync state: the record each machine writes.
namespace hb {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

constexpr std::int64_t maxCounter = std::int64_t(1) << 40;
constexpr std::int64_t dayMilliseconds = 24 * 60 * 60 * 1000;
constexpr std::size_t maxMachineBytes = 128;
constexpr std::size_t maxMarksPerElement = 1000;
constexpr std::string_view legacyMachine = "legacy";

PlistValue encodeStamp(const SyncStamp& stamp)
{
    return PlistValue(PlistArray{PlistValue(double(stamp.milliseconds) / 1000.0), PlistValue(stamp.counter),
                                 PlistValue(stamp.machine)});
}

// What a stamp read from a record is checked against.
struct StampWindow {
    std::int64_t now;
    std::set<SyncStamp>* refused; // refused earlier for lying ahead; may be null
};

std::optional<SyncStamp> decodeStamp(const PlistValue& stored, const StampWindow& window, std::string& failure)
{
    const auto* parts = stored.as<PlistArray>();
    if (!parts || parts->size() != 3) {
        failure = "a time stamp that is not [seconds, counter, machine]";
        return std::nullopt;
    }
    double seconds = 0;
    if (const auto* real = (*parts)[0].as<double>())
        seconds = *real;
    else if (const auto* integer = (*parts)[0].as<std::int64_t>())
        seconds = double(*integer);
    else {
        failure = "a time stamp without seconds";
        return std::nullopt;
    }
    if (!std::isfinite(seconds) || seconds < 0) {
        failure = fmt::format("a time stamp of {} seconds", seconds);
        return std::nullopt;
    }
    const auto* counter = (*parts)[1].as<std::int64_t>();
    const auto* machine = (*parts)[2].as<std::string>();
    if (!counter || *counter < 0 || *counter > maxCounter || !machine || machine->empty()
        || machine->size() > maxMachineBytes || storedTextProblem(*machine)) {
        failure = "a time stamp with a wrong counter or machine";
        return std::nullopt;
    }
    const bool ahead = seconds * 1000.0 > double(window.now) + double(dayMilliseconds);
    // Beyond any clock (after the year 5000): never remembered; below that, milliseconds stay exact in a double.
    if (ahead && seconds > 1e11) {
        failure = fmt::format("a time stamp {:.0f} seconds ahead of this machine's clock",
                              seconds - double(window.now) / 1000.0);
        return std::nullopt;
    }
    SyncStamp stamp{std::llround(seconds * 1000.0), *counter, *machine};
    if (window.refused && window.refused->contains(stamp)) {
        failure = "a time stamp refused before as lying ahead of this machine's clock";
        return std::nullopt;
    }
    if (ahead) {
        failure = fmt::format("a time stamp {:.0f} seconds ahead of this machine's clock",
                              seconds - double(window.now) / 1000.0);
        if (window.refused) {
            window.refused->insert(std::move(stamp));
            if (window.refused->size() > maxRefusedStamps)
                window.refused->erase(window.refused->begin());
        }
        return std::nullopt;
    }
    return stamp;
}

std::optional<std::set<SyncStamp>> decodeStamps(const PlistDictionary& entry, std::string_view member,
                                                const StampWindow& now, std::string& failure)
{
    std::set<SyncStamp> stamps;
    auto found = entry.find(member);
    if (found == entry.end())
        return stamps;
    const auto* list = found->second.as<PlistArray>();
    if (!list || list->size() > maxMarksPerElement) {
        failure = "marks that are not a list of at most 1000 time stamps";
        return std::nullopt;
    }
    for (const auto& stored : *list) {
        auto stamp = decodeStamp(stored, now, failure);
        if (!stamp)
            return std::nullopt;
        stamps.insert(std::move(*stamp));
    }
    return stamps;
}

const PlistDictionary* member(const PlistDictionary& dictionary, std::string_view name)
{
    auto found = dictionary.find(name);
    return found == dictionary.end() ? nullptr : found->second.as<PlistDictionary>();
}

bool isSynchronised(std::string_view key)
{
    return std::ranges::find(keys::synchronised, key) != keys::synchronised.end();
}

} // namespace

struct SyncStateCoding {
    static PlistValue encodeStamps(const SyncAcknowledgements& stamps)
    {
        PlistDictionary stored;
        for (const auto& [machine, stamp] : stamps)
            stored.emplace(machine, encodeStamp(stamp));
        return PlistValue(std::move(stored));
    }

    // A dictionary of machine: stamp; entries that are not one are left out.
    static SyncAcknowledgements decodeStampsByMachine(const PlistDictionary& top, std::string_view name)
    {
        SyncAcknowledgements result;
        const auto* stored = member(top, name);
        std::string failure;
        const StampWindow any{std::numeric_limits<std::int64_t>::max() / 2, nullptr};
        for (auto entry = stored ? stored->begin() : PlistDictionary::const_iterator{};
             stored && entry != stored->end() && result.size() < maxRefusedStamps; ++entry) {
            auto stamp = decodeStamp(entry->second, any, failure);
            if (stamp && entry->first.size() <= maxMachineBytes && !storedTextProblem(entry->first))
                result.emplace(entry->first, std::move(*stamp));
        }
        return result;
    }

    static void decodeForgotten(const PlistDictionary& top, SyncState& state)
    {
        state.forgotten_ = decodeStampsByMachine(top, "forgotten");
    }

    static PlistValue encode(const SyncState& state, std::string_view machine, const std::set<SyncStamp>* refused,
                             std::string_view computer, const SyncAcknowledgements& seen, bool twins)
    {
        PlistDictionary values;
        for (const auto& [key, entry] : state.registers_) {
            PlistDictionary stored{{"s", encodeStamp(entry.stamp)}};
            if (entry.value)
                stored.emplace("v", *entry.value);
            values.emplace(key, PlistValue(std::move(stored)));
        }
        PlistDictionary sets;
        for (const auto& [key, elements] : state.sets_) {
            PlistArray stored;
            for (const auto& [id, marks] : elements) {
                PlistArray adds, removes;
                for (const auto& add : marks.adds) {
                    if (!marks.removes.contains(add))
                        adds.push_back(encodeStamp(add));
                }
                for (const auto& remove : marks.removes)
                    removes.push_back(encodeStamp(remove));
                stored.emplace_back(PlistDictionary{
                    {"e", PlistValue(id)}, {"a", PlistValue(std::move(adds))}, {"r", PlistValue(std::move(removes))}});
            }
            sets.emplace(key, PlistValue(std::move(stored)));
        }
        PlistDictionary top{
            {"format", PlistValue(std::string(syncFormatName))},
            {"version", PlistValue(syncFormatVersion)},
            {"machine", PlistValue(std::string(machine))},
            {"values", PlistValue(std::move(values))},
            {"sets", PlistValue(std::move(sets))},
        };
        if (refused && !refused->empty()) {
            PlistArray stamps;
            for (const auto& stamp : *refused)
                stamps.push_back(encodeStamp(stamp));
            top.emplace("refused", PlistValue(std::move(stamps)));
        }
        if (state.cleared_)
            top.emplace("cleared", encodeStamp(*state.cleared_));
        if (!computer.empty())
            top.emplace("computer", PlistValue(std::string(computer)));
        if (!seen.empty())
            top.emplace("seen", encodeStamps(seen));
        if (twins)
            top.emplace("twins", PlistValue(true));
        if (!state.forgotten_.empty())
            top.emplace("forgotten", encodeStamps(state.forgotten_));
        return PlistValue(std::move(top));
    }

    static void decodeRegisters(const PlistDictionary& values, const StampWindow& now, DecodedSyncState& result)
    {
        for (const auto& [key, stored] : values) {
            if (!isSynchronised(key))
                continue;
            const auto* entry = stored.as<PlistDictionary>();
            if (SyncState::holdsSet(key)) {
                auto value = entry ? entry->find("v") : PlistDictionary::const_iterator{};
                auto problem = entry && value != entry->end() ? storedValueProblem(key, value->second) : std::nullopt;
                result.skipped.push_back(key + ": " + problem.value_or("a whole value where element marks belong"));
                continue;
            }
            auto stamp = entry ? entry->find("s") : PlistDictionary::const_iterator{};
            if (!entry || stamp == entry->end()) {
                result.skipped.push_back(key + ": not a stamped value");
                continue;
            }
            std::string failure;
            auto decoded = decodeStamp(stamp->second, now, failure);
            if (!decoded) {
                result.skipped.push_back(key + ": " + failure);
                continue;
            }
            std::optional<PlistValue> value;
            if (auto found = entry->find("v"); found != entry->end()) {
                if (auto problem = storedValueProblem(key, found->second)) {
                    result.skipped.push_back(key + ": " + *problem);
                    continue;
                }
                value = found->second;
            }
            result.state.registers_.insert_or_assign(key, SyncRegister{std::move(*decoded), std::move(value)});
        }
    }

    static void decodeSets(const PlistDictionary& sets, const StampWindow& now, DecodedSyncState& result)
    {
        for (const auto& [key, stored] : sets) {
            if (!SyncState::holdsSet(key))
                continue;
            const auto* list = stored.as<PlistArray>();
            if (!list || list->size() > maxStoredListEntries) {
                result.skipped.push_back(key + ": not a list of at most " + std::to_string(maxStoredListEntries)
                                         + " elements");
                continue;
            }
            auto& elements = result.state.sets_[key];
            for (const auto& item : *list) {
                const auto* entry = item.as<PlistDictionary>();
                auto id = entry ? entry->find("e") : PlistDictionary::const_iterator{};
                const auto* text = entry && id != entry->end() ? id->second.as<std::string>() : nullptr;
                if (!text || !SyncState::isElement(key, *text)) {
                    result.skipped.push_back(key + ": an element that is not one of its entries");
                    continue;
                }
                std::string failure;
                auto adds = decodeStamps(*entry, "a", now, failure);
                auto removes = adds ? decodeStamps(*entry, "r", now, failure) : std::nullopt;
                if (!removes) {
                    result.skipped.push_back(key + ": " + failure);
                    continue;
                }
                auto& marks = elements[*text];
                marks.adds.insert(adds->begin(), adds->end());
                marks.removes.insert(removes->begin(), removes->end());
            }
        }
    }
};

PlistValue encodeSyncState(const SyncState& state, std::string_view machine, const std::set<SyncStamp>* refused,
                           std::string_view computer, const SyncAcknowledgements& seen, bool twins)
{
    return SyncStateCoding::encode(state, machine, refused, computer, seen, twins);
}

std::optional<DecodedSyncState> decodeSyncState(const PlistValue& stored, std::int64_t nowMilliseconds,
                                                std::string& failure, std::set<SyncStamp>* refused)
{
    const auto* top = stored.as<PlistDictionary>();
    const auto text = [top](std::string_view name) -> const std::string* {
        auto found = top->find(name);
        return found == top->end() ? nullptr : found->second.as<std::string>();
    };
    if (!top || !text("format") || *text("format") != syncFormatName) {
        failure = "not a settings record";
        return std::nullopt;
    }
    const auto version = top->find("version");
    const auto* number = version == top->end() ? nullptr : version->second.as<std::int64_t>();
    if (!number || *number != syncFormatVersion) {
        failure = number && *number > syncFormatVersion ? "written by a newer Hintboard" : "of an unknown version";
        return std::nullopt;
    }
    const auto* machine = text("machine");
    if (!machine || machine->empty() || machine->size() > maxMachineBytes || storedTextProblem(*machine)) {
        failure = "without a machine name";
        return std::nullopt;
    }
    DecodedSyncState result;
    result.machine = *machine;
    if (const auto* computer = text("computer");
        computer && computer->size() <= maxMachineBytes && !storedTextProblem(*computer))
        result.computer = *computer;
    const StampWindow window{nowMilliseconds, refused};
    if (const auto* values = member(*top, "values"))
        SyncStateCoding::decodeRegisters(*values, window, result);
    if (const auto* sets = member(*top, "sets"))
        SyncStateCoding::decodeSets(*sets, window, result);
    if (auto found = top->find("cleared"); found != top->end()) {
        std::string stampFailure;
        if (auto stamp = decodeStamp(found->second, window, stampFailure))
            result.state.clearUpTo(*stamp);
        else
            result.skipped.push_back("cleared: " + stampFailure);
    }
    result.seen = SyncStateCoding::decodeStampsByMachine(*top, "seen");
    SyncStateCoding::decodeForgotten(*top, result.state);
    if (auto found = top->find("twins"); found != top->end() && found->second.as<bool>())
        result.twins = *found->second.as<bool>();
    if (auto found = top->find("refused"); found != top->end()) {
        const auto* stamps = found->second.as<PlistArray>();
        std::string stampFailure;
        for (std::size_t i = 0; stamps && i < stamps->size() && i < maxRefusedStamps; ++i) {
            if (auto stamp = decodeStamp(
                    (*stamps)[i], StampWindow{std::numeric_limits<std::int64_t>::max() / 2, nullptr}, stampFailure))
                result.refused.insert(std::move(*stamp));
        }
    }
    return result;
}

std::optional<SyncState> legacySyncState(std::string_view key, const PlistValue& record, std::int64_t nowMilliseconds,
                                         std::string& failure)
{
    const auto* members = record.as<PlistDictionary>();
    auto value = members ? members->find("value") : PlistDictionary::const_iterator{};
    if (!members || value == members->end()) {
        failure = "a record without a value";
        return std::nullopt;
    }
    if (auto problem = storedValueProblem(key, value->second)) {
        failure = *problem;
        return std::nullopt;
    }
    double seconds = 0;
    if (auto time = members->find("__ts_"); time != members->end()) {
        if (const auto* real = time->second.as<double>())
            seconds = *real;
        else if (const auto* integer = time->second.as<std::int64_t>())
            seconds = double(*integer);
    }
    std::string stampFailure;
    auto stamp =
        decodeStamp(PlistValue(PlistArray{PlistValue(seconds), PlistValue(0), PlistValue(std::string(legacyMachine))}),
                    StampWindow{nowMilliseconds, nullptr}, stampFailure);
    if (!stamp) {
        failure = stampFailure;
        return std::nullopt;
    }
    SyncState state;
    state.recordEdit(key, value->second, *stamp);
    return state;
}

} // namespace hb
