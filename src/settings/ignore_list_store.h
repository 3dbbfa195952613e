#pragma once

#include "base/observer_list.h"
#include "platform/settings_domain.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace hb {

// The stored record of the ignore lists, kept under `ignoreList` as UTF-8 JSON.
struct IgnoreData {
    std::vector<std::string> globalTitles;
    std::map<std::string, std::vector<std::string>> perApp; // bundle identifier -> patterns
    std::map<std::string, std::string> appDisplayNames;     // bundle identifier -> name
    std::map<std::string, std::string> ignoredApps;         // bundle identifier -> name
    std::vector<std::string> ignoredMenuTitles;

    friend bool operator==(const IgnoreData&, const IgnoreData&) = default;
};

platform::PlistData encodeIgnoreData(const IgnoreData& data);
// None when the bytes are not such a record. `ignoredApps` and
// `ignoredMenuTitles` may be missing (data of earlier versions).
std::optional<IgnoreData> decodeIgnoreData(const platform::PlistData& bytes);

// The user's ignore rules: command patterns for every application and per
// application, ignored applications and ignored top-level menus, plus the two
// switches. Patterns are matched with hb::text::titleMatchesPattern by their
// consumers. Every edit is written through at once. Main thread only.
class IgnoreListStore {
public:
    using Positions = std::set<std::size_t>;

    // Loads the stored rules; a first start has none.
    explicit IgnoreListStore(platform::SettingsDomain& settings);

    bool isEnabled() const { return isEnabled_; }
    void setEnabled(bool enabled);
    bool showWhenFiltering() const { return showWhenFiltering_; }
    void setShowWhenFiltering(bool show);

    const IgnoreData& data() const { return data_; }
    const std::vector<std::string>& globalTitles() const { return data_.globalTitles; }
    const std::map<std::string, std::vector<std::string>>& perApp() const { return data_.perApp; }
    const std::map<std::string, std::string>& appDisplayNames() const { return data_.appDisplayNames; }
    const std::map<std::string, std::string>& ignoredApps() const { return data_.ignoredApps; }
    const std::vector<std::string>& ignoredMenuTitles() const { return data_.ignoredMenuTitles; }

    // The global patterns followed by those of the application, if any.
    std::vector<std::string> patterns(std::optional<std::string_view> bundleIdentifier) const;

    // Titles are trimmed; an empty title or one already listed changes nothing.
    void addGlobalRule(std::string_view title);
    void removeGlobalRules(const Positions& positions);
    void addAppRule(std::string_view title, std::string_view bundleIdentifier, std::string_view appName);
    // Removing an application's last rule also forgets its display name.
    void removeAppRules(std::string_view bundleIdentifier, const Positions& positions);
    void removeAllRules(std::string_view bundleIdentifier);
    void addIgnoredApp(std::string_view bundleIdentifier, std::string_view appName);
    void removeIgnoredApp(std::string_view bundleIdentifier);
    void addIgnoredMenu(std::string_view title);
    void removeIgnoredMenus(const Positions& positions);

    // Writes the five lists under `ignoreList`.
    void save();
    // Takes the switches and the lists from the settings again (after
    // synchronisation or an import wrote them); no stored data empties the
    // lists, data that does not decode leaves them as they are. Saves nothing.
    void reload();

    // Called after every change of the switches or the lists.
    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    std::optional<IgnoreData> storedData() const;
    void saveAndNotify();

    platform::SettingsDomain& settings_;
    bool isEnabled_ = false;
    bool showWhenFiltering_ = false;
    IgnoreData data_;
    platform::ObserverList<> observers_;
};

} // namespace hb
