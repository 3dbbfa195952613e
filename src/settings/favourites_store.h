#pragma once

#include "base/observer_list.h"
#include "model/shortcut.h"
#include "platform/settings_domain.h"

#include <set>
#include <string>
#include <string_view>

namespace hb {

// The pinned shortcuts, kept under `pinnedShortcuts` as a list of identity
// strings. A shortcut is identified by application, title and keys, so a pin
// survives re-reading the menus. Every change is written through at once.
// Main thread only.
class FavouritesStore {
public:
    // Reads the stored list.
    explicit FavouritesStore(platform::SettingsDomain& settings);

    // app|title|keys with every "|" of a part doubled. `appID` is the bundle
    // identifier, or the application name when it has none.
    static std::string identity(const Shortcut& shortcut, std::string_view appID);
    // The form written by earlier versions: the parts joined without escaping.
    static std::string legacyIdentity(const Shortcut& shortcut, std::string_view appID);

    // A pinned legacy entry is rewritten in the current form (and saved).
    bool isPinned(const Shortcut& shortcut, std::string_view appID);
    void toggle(const Shortcut& shortcut, std::string_view appID);
    bool hasFavourites(std::string_view appID) const;

    const std::set<std::string>& pinned() const { return pinned_; }

    // Takes the stored list again after synchronisation or an import wrote it;
    // saves nothing.
    void reload();

    // Called after every change of `pinned`.
    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    std::set<std::string> storedList() const;
    void save();

    platform::SettingsDomain& settings_;
    std::set<std::string> pinned_;
    platform::ObserverList<> observers_;
};

} // namespace hb
