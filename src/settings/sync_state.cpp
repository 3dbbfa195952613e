#include "settings/sync_state.h"

#include "settings/ignore_list_store.h"
#include "settings/settings.h"
#include "settings/settings_keys.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>
#include <limits>

namespace hb {
namespace {

using nlohmann::json;
using platform::PlistArray;
using platform::PlistData;
using platform::PlistDictionary;
using platform::PlistValue;

// Kinds of ignore-rule elements.
constexpr std::string_view globalTitle = "title";
constexpr std::string_view appRule = "appRule";
constexpr std::string_view appName = "appName";
constexpr std::string_view ignoredApp = "ignoredApp";
constexpr std::string_view ignoredMenu = "menu";

std::string element(std::initializer_list<std::string_view> parts)
{
    json array = json::array();
    for (auto part : parts)
        array.push_back(part);
    return array.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The elements a valid value of a set key holds.
std::set<std::string> elementsOf(std::string_view key, const std::optional<PlistValue>& value)
{
    std::set<std::string> result;
    if (!value)
        return result;
    if (key == keys::pinnedShortcuts) {
        if (const auto* entries = value->as<PlistArray>()) {
            for (const auto& entry : *entries) {
                if (const auto* text = entry.as<std::string>())
                    result.insert(element({*text}));
            }
        }
        return result;
    }
    const auto* bytes = value->as<PlistData>();
    const auto data = bytes ? decodeIgnoreData(*bytes) : std::nullopt;
    if (!data)
        return result;
    for (const auto& title : data->globalTitles)
        result.insert(element({globalTitle, title}));
    for (const auto& [app, patterns] : data->perApp) {
        for (const auto& pattern : patterns)
            result.insert(element({appRule, app, pattern}));
    }
    for (const auto& [app, name] : data->appDisplayNames)
        result.insert(element({appName, app, name}));
    for (const auto& [app, name] : data->ignoredApps)
        result.insert(element({ignoredApp, app, name}));
    for (const auto& title : data->ignoredMenuTitles)
        result.insert(element({ignoredMenu, title}));
    return result;
}

// The texts of an element; none when it is not an element of the key.
std::optional<std::vector<std::string>> partsOf(std::string_view key, std::string_view id)
{
    const auto parsed = json::parse(id, nullptr, false);
    if (!parsed.is_array() || parsed.empty())
        return std::nullopt;
    std::vector<std::string> parts;
    for (const auto& part : parsed) {
        if (!part.is_string() || storedTextProblem(part.get_ref<const std::string&>()))
            return std::nullopt;
        parts.push_back(part.get<std::string>());
    }
    // Only the form this program writes: another spelling of the same texts
    // would be a second element, and bytes after the array (a NUL) would be
    // kept and written back.
    json canonical = json::array();
    for (const auto& part : parts)
        canonical.push_back(part);
    if (canonical.dump(-1, ' ', false, json::error_handler_t::replace) != id)
        return std::nullopt;
    if (key == keys::pinnedShortcuts)
        return parts.size() == 1 ? std::optional(parts) : std::nullopt;
    const auto& kind = parts.front();
    const std::size_t expected = kind == globalTitle || kind == ignoredMenu                 ? 2
                                 : kind == appRule || kind == appName || kind == ignoredApp ? 3
                                                                                            : 0;
    return parts.size() == expected ? std::optional(parts) : std::nullopt;
}

// The present elements in a stable order: by their oldest present addition.
std::vector<std::pair<SyncStamp, std::string>> presentInOrder(const SyncState::Elements& elements)
{
    std::vector<std::pair<SyncStamp, std::string>> present;
    for (const auto& [id, marks] : elements) {
        for (const auto& add : marks.adds) {
            if (!marks.removes.contains(add)) {
                present.emplace_back(add, id);
                break;
            }
        }
    }
    std::ranges::sort(present);
    return present;
}

SyncStamp newestAddition(const SyncElement& marks)
{
    SyncStamp newest;
    for (const auto& add : marks.adds) {
        if (!marks.removes.contains(add))
            newest = std::max(newest, add);
    }
    return newest;
}

PlistValue valueOfElements(std::string_view key, const SyncState::Elements& elements)
{
    const auto present = presentInOrder(elements);
    if (key == keys::pinnedShortcuts) {
        PlistArray entries;
        for (const auto& [stamp, id] : present)
            entries.emplace_back(partsOf(key, id)->front());
        return PlistValue(std::move(entries));
    }
    IgnoreData data;
    std::map<std::string, SyncStamp> nameStamps, appStamps;
    for (const auto& [stamp, id] : present) {
        const auto parts = *partsOf(key, id);
        const auto& kind = parts[0];
        if (kind == globalTitle) {
            data.globalTitles.push_back(parts[1]);
        } else if (kind == ignoredMenu) {
            data.ignoredMenuTitles.push_back(parts[1]);
        } else if (kind == appRule) {
            data.perApp[parts[1]].push_back(parts[2]);
        } else {
            // One name per application: the one added last.
            auto& names = kind == appName ? data.appDisplayNames : data.ignoredApps;
            auto& stamps = kind == appName ? nameStamps : appStamps;
            const auto newest = newestAddition(elements.find(id)->second);
            if (auto known = stamps.find(parts[1]); known == stamps.end() || known->second < newest) {
                stamps[parts[1]] = newest;
                names[parts[1]] = parts[2];
            }
        }
    }
    return PlistValue(encodeIgnoreData(data));
}

} // namespace

SyncStamp HybridClock::tick(std::int64_t physicalMilliseconds, const std::string& machine)
{
    if (physicalMilliseconds > last_.milliseconds) {
        last_.milliseconds = physicalMilliseconds;
        last_.counter = 0;
    } else {
        ++last_.counter;
    }
    last_.machine = machine;
    return last_;
}

void HybridClock::observe(const SyncStamp& seen)
{
    if (std::tie(seen.milliseconds, seen.counter) > std::tie(last_.milliseconds, last_.counter)) {
        last_.milliseconds = seen.milliseconds;
        last_.counter = seen.counter;
    }
}

std::strong_ordering compareValues(const PlistValue& a, const PlistValue& b)
{
    if (a.index() != b.index())
        return a.index() <=> b.index();
    if (const auto* flag = a.as<bool>())
        return *flag <=> *b.as<bool>();
    if (const auto* integer = a.as<std::int64_t>())
        return *integer <=> *b.as<std::int64_t>();
    if (const auto* real = a.as<double>())
        return std::bit_cast<std::uint64_t>(*real) <=> std::bit_cast<std::uint64_t>(*b.as<double>());
    if (const auto* text = a.as<std::string>())
        return *text <=> *b.as<std::string>();
    if (const auto* bytes = a.as<PlistData>())
        return *bytes <=> *b.as<PlistData>();
    if (const auto* date = a.as<platform::PlistDate>())
        return std::bit_cast<std::uint64_t>(date->secondsSince2001)
               <=> std::bit_cast<std::uint64_t>(b.as<platform::PlistDate>()->secondsSince2001);
    if (const auto* uid = a.as<platform::PlistUid>())
        return uid->index <=> b.as<platform::PlistUid>()->index;
    if (const auto* array = a.as<PlistArray>()) {
        const auto& other = *b.as<PlistArray>();
        for (std::size_t i = 0; i < array->size() && i < other.size(); ++i) {
            if (auto order = compareValues((*array)[i], other[i]); order != 0)
                return order;
        }
        return array->size() <=> other.size();
    }
    const auto& mine = *a.as<PlistDictionary>();
    const auto& other = *b.as<PlistDictionary>();
    for (auto i = mine.begin(), k = other.begin(); i != mine.end() && k != other.end(); ++i, ++k) {
        if (auto order = i->first <=> k->first; order != 0)
            return order;
        if (auto order = compareValues(i->second, k->second); order != 0)
            return order;
    }
    return mine.size() <=> other.size();
}

bool SyncState::holdsSet(std::string_view key)
{
    return key == keys::pinnedShortcuts || key == keys::ignoreList;
}

std::set<std::string> SyncState::merge(const SyncState& other)
{
    std::set<std::string> changed;
    if (other.cleared_)
        changed = clearUpTo(*other.cleared_);
    for (const auto& [key, incoming] : other.registers_) {
        if (isCleared(incoming.stamp))
            continue;
        auto [known, inserted] = registers_.try_emplace(key, incoming);
        auto& current = known->second;
        // Equal stamps come from one edit; a machine copied with its identity
        // could still make two, and every machine must pick the same.
        const auto order = [](const std::optional<PlistValue>& a, const std::optional<PlistValue>& b) {
            if (!a || !b)
                return bool(a) <=> bool(b);
            return compareValues(*a, *b);
        };
        const bool later = !inserted
                           && (incoming.stamp > current.stamp
                               || (incoming.stamp == current.stamp && order(incoming.value, current.value) > 0));
        if (later)
            current = incoming;
        if (inserted || later)
            changed.insert(key);
    }
    // Marks the other forgot go here too; then its marks this state forgot.
    changed.merge(dropForgottenBy(other));
    const auto forgottenBefore = forgotten_;
    for (const auto& [machine, watermark] : other.forgotten_) {
        raiseStamp(forgotten_, machine, watermark);
    }
    for (const auto& [key, elements] : other.sets_) {
        const auto live = [this](const SyncStamp& stamp) { return !isCleared(stamp); };
        // A set without marks says nothing newer than a clear.
        const bool cleared =
            cleared_ && std::ranges::none_of(elements, [&](const auto& entry) {
                return std::ranges::any_of(entry.second.adds, live) || std::ranges::any_of(entry.second.removes, live);
            });
        if (cleared)
            continue;
        auto [entry, created] = sets_.try_emplace(key);
        if (created)
            changed.insert(key);
        auto& mine = entry->second;
        for (const auto& [id, marks] : elements) {
            auto& known = mine[id];
            const auto before = known.adds.size() + known.removes.size();
            const SyncElement held = known;
            const auto kept = [&](const SyncStamp& mark) {
                return live(mark) && !isForgotten(forgottenBefore, mark, &held);
            };
            std::ranges::copy_if(marks.adds, std::inserter(known.adds, known.adds.end()), kept);
            std::ranges::copy_if(marks.removes, std::inserter(known.removes, known.removes.end()), kept);
            if (known.adds.empty() && known.removes.empty())
                mine.erase(id);
            else if (known.adds.size() + known.removes.size() != before)
                changed.insert(key);
        }
    }
    return changed;
}

std::set<std::string> SyncState::clearUpTo(const SyncStamp& stamp)
{
    std::set<std::string> changed;
    if (isCleared(stamp))
        return changed;
    cleared_ = stamp;
    for (auto entry = registers_.begin(); entry != registers_.end();) {
        if (isCleared(entry->second.stamp)) {
            changed.insert(entry->first);
            entry = registers_.erase(entry);
        } else {
            ++entry;
        }
    }
    const auto gone = [this](const SyncStamp& mark) { return isCleared(mark); };
    for (auto entry = sets_.begin(); entry != sets_.end();) {
        auto& elements = entry->second;
        for (auto element = elements.begin(); element != elements.end();) {
            auto& marks = element->second;
            if (std::erase_if(marks.adds, gone) + std::erase_if(marks.removes, gone) > 0)
                changed.insert(entry->first);
            element = marks.adds.empty() && marks.removes.empty() ? elements.erase(element) : std::next(element);
        }
        if (elements.empty()) {
            changed.insert(entry->first);
            entry = sets_.erase(entry);
        } else {
            ++entry;
        }
    }
    return changed;
}

bool SyncState::covers(const SyncState& other) const
{
    if (other.cleared_ && !isCleared(*other.cleared_))
        return false;
    for (const auto& [machine, watermark] : other.forgotten_) {
        auto mine = forgotten_.find(machine);
        if (mine == forgotten_.end() || mine->second < watermark)
            return false;
    }
    // Merging would drop marks the other forgot.
    if (!other.forgotten_.empty() && !SyncState(*this).dropForgottenBy(other).empty())
        return false;
    for (const auto& [key, incoming] : other.registers_) {
        auto known = registers_.find(key);
        if (known == registers_.end() || known->second.stamp < incoming.stamp)
            return false;
    }
    for (const auto& [key, elements] : other.sets_) {
        auto mine = sets_.find(key);
        if (mine == sets_.end())
            return false;
        for (const auto& [id, marks] : elements) {
            auto found = mine->second.find(id);
            const auto* known = found == mine->second.end() ? nullptr : &found->second;
            const auto lacks = [&](const std::set<SyncStamp> SyncElement::*have, const SyncStamp& mark) {
                return !(known && (known->*have).contains(mark)) && !isForgotten(forgotten_, mark, known);
            };
            if (std::ranges::any_of(marks.adds, [&](auto& add) { return lacks(&SyncElement::adds, add); })
                || std::ranges::any_of(marks.removes,
                                       [&](auto& remove) { return lacks(&SyncElement::removes, remove); }))
                return false;
        }
    }
    return true;
}

std::optional<PlistValue> SyncState::value(std::string_view key) const
{
    if (holdsSet(key)) {
        auto found = sets_.find(key);
        if (found == sets_.end())
            return std::nullopt;
        return valueOfElements(key, found->second);
    }
    auto found = registers_.find(key);
    if (found == registers_.end())
        return std::nullopt;
    return found->second.value;
}

bool SyncState::hasEntries(std::string_view key) const
{
    return registers_.contains(key) || sets_.contains(key);
}

bool SyncState::recordEdit(std::string_view key, const std::optional<PlistValue>& local, const SyncStamp& stamp,
                           bool restamp)
{
    if (!holdsSet(key)) {
        const auto current = value(key);
        if (!restamp && current == local)
            return false;
        registers_.insert_or_assign(std::string(key), SyncRegister{stamp, local});
        return true;
    }
    // Every present element, also those the value leaves out (an application
    // named differently on another machine): what the local value lacks goes.
    auto& elements = sets_[std::string(key)];
    std::set<std::string> before;
    for (const auto& [added, id] : presentInOrder(elements))
        before.insert(id);
    const auto after = elementsOf(key, local);
    // An application still named keeps its other names: only the value shows one.
    const auto namedApp = [&key](const std::string& id) -> std::optional<std::string> {
        auto parts = partsOf(key, id);
        if (!parts || (parts->front() != appName && parts->front() != ignoredApp))
            return std::nullopt;
        return element({(*parts)[0], (*parts)[1]});
    };
    std::set<std::string> namedApps;
    for (const auto& id : after) {
        if (auto app = namedApp(id))
            namedApps.insert(*app);
    }
    bool recorded = false;
    for (const auto& id : after) {
        if (!before.contains(id)) {
            elements[id].adds.insert(stamp);
            recorded = true;
        }
    }
    for (const auto& id : before) {
        const auto app = namedApp(id);
        if (!after.contains(id) && !(app && namedApps.contains(*app))) {
            auto& marks = elements[id];
            marks.removes.insert(marks.adds.begin(), marks.adds.end());
            recorded = true;
        }
    }
    return recorded;
}

bool SyncState::isForgotten(const Watermarks& forgotten, const SyncStamp& mark, const SyncElement* known)
{
    auto watermark = forgotten.find(mark.machine);
    return watermark != forgotten.end() && mark <= watermark->second
           && !(known && (known->adds.contains(mark) || known->removes.contains(mark)));
}

std::set<std::string> SyncState::dropForgottenBy(const SyncState& other)
{
    std::set<std::string> changed;
    if (other.forgotten_.empty())
        return changed;
    for (auto entry = sets_.begin(); entry != sets_.end(); ++entry) {
        auto theirs = other.sets_.find(entry->first);
        auto& elements = entry->second;
        for (auto element = elements.begin(); element != elements.end();) {
            const SyncElement* known = nullptr;
            if (theirs != other.sets_.end()) {
                auto found = theirs->second.find(element->first);
                known = found == theirs->second.end() ? nullptr : &found->second;
            }
            const auto gone = [&](const SyncStamp& mark) { return isForgotten(other.forgotten_, mark, known); };
            auto& marks = element->second;
            if (std::erase_if(marks.adds, gone) + std::erase_if(marks.removes, gone) > 0)
                changed.insert(entry->first);
            element = marks.adds.empty() && marks.removes.empty() ? elements.erase(element) : std::next(element);
        }
    }
    return changed;
}

void SyncState::limitForgotten(const Watermarks& upTo)
{
    std::erase_if(forgotten_, [&](const auto& entry) {
        auto limit = upTo.find(entry.first);
        return limit == upTo.end() || limit->second < entry.second;
    });
}

std::set<std::string> SyncState::forgetRemoved(
    const std::function<bool(std::string_view key, std::string_view id, const SyncElement&)>& settled)
{
    std::set<std::string> changed;
    for (auto& [key, elements] : sets_) {
        for (auto element = elements.begin(); element != elements.end();) {
            const auto& marks = element->second;
            if (!std::ranges::includes(marks.removes, marks.adds) || !settled(key, element->first, marks)) {
                ++element;
                continue;
            }
            for (const auto& mark : marks.removes) {
                raiseStamp(forgotten_, mark.machine, mark);
            }
            changed.insert(key);
            element = elements.erase(element);
        }
    }
    return changed;
}

bool SyncState::isElement(std::string_view key, std::string_view id)
{
    return partsOf(key, id).has_value();
}

std::optional<SyncStamp> SyncState::newestStamp() const
{
    std::optional<SyncStamp> newest;
    const auto consider = [&newest](const SyncStamp& stamp) {
        if (!newest || *newest < stamp)
            newest = stamp;
    };
    if (cleared_)
        consider(*cleared_);
    for (const auto& entry : registers_)
        consider(entry.second.stamp);
    for (const auto& entry : sets_) {
        for (const auto& [id, marks] : entry.second) {
            for (const auto& add : marks.adds)
                consider(add);
            for (const auto& remove : marks.removes)
                consider(remove);
        }
    }
    return newest;
}

} // namespace hb
