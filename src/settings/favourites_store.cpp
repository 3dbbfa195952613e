#include "settings/favourites_store.h"

#include "settings/settings_keys.h"

namespace hb {
namespace {

std::string escaped(std::string_view part)
{
    std::string result;
    result.reserve(part.size());
    for (char c : part) {
        result += c;
        if (c == '|')
            result += '|';
    }
    return result;
}

} // namespace

FavouritesStore::FavouritesStore(platform::SettingsDomain& settings) : settings_(settings), pinned_(storedList()) {}

std::string FavouritesStore::identity(const Shortcut& shortcut, std::string_view appID)
{
    return escaped(appID) + '|' + escaped(shortcut.title) + '|' + escaped(shortcut.keys);
}

std::string FavouritesStore::legacyIdentity(const Shortcut& shortcut, std::string_view appID)
{
    return std::string(appID) + '|' + shortcut.title + '|' + shortcut.keys;
}

bool FavouritesStore::isPinned(const Shortcut& shortcut, std::string_view appID)
{
    auto current = identity(shortcut, appID);
    if (pinned_.contains(current))
        return true;
    auto legacy = pinned_.find(legacyIdentity(shortcut, appID));
    if (legacy == pinned_.end())
        return false;
    pinned_.erase(legacy);
    pinned_.insert(std::move(current));
    save();
    observers_.notify();
    return true;
}

void FavouritesStore::toggle(const Shortcut& shortcut, std::string_view appID)
{
    auto current = identity(shortcut, appID);
    if (auto found = pinned_.find(current); found != pinned_.end())
        pinned_.erase(found);
    else
        pinned_.insert(std::move(current));
    save();
    observers_.notify();
}

bool FavouritesStore::hasFavourites(std::string_view appID) const
{
    const auto prefix = escaped(appID) + '|';
    const auto legacyPrefix = std::string(appID) + '|';
    for (const auto& entry : pinned_) {
        if (entry.starts_with(prefix) || entry.starts_with(legacyPrefix))
            return true;
    }
    return false;
}

void FavouritesStore::reload()
{
    pinned_ = storedList();
    observers_.notify();
}

std::set<std::string> FavouritesStore::storedList() const
{
    std::set<std::string> result;
    auto stored = settings_.object(keys::pinnedShortcuts);
    const auto* list = stored ? stored->as<platform::PlistArray>() : nullptr;
    if (!list)
        return result;
    // Entries of another type are skipped rather than dropping the whole list.
    for (const auto& entry : *list) {
        if (const auto* text = entry.as<std::string>())
            result.insert(*text);
    }
    return result;
}

void FavouritesStore::save()
{
    platform::PlistArray list(pinned_.begin(), pinned_.end());
    settings_.set(keys::pinnedShortcuts, std::move(list));
}

} // namespace hb
