#include "settings/ignore_list_store.h"

#include "settings/settings_keys.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace hb {
namespace {

std::string trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\n\r\f\v";
    const auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(space);
    return std::string(text.substr(first, last - first + 1));
}

bool contains(const std::vector<std::string>& list, std::string_view text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

// Appends the text unless it is already listed; true when it appended.
bool appendNew(std::vector<std::string>& list, std::string text)
{
    if (contains(list, text))
        return false;
    list.push_back(std::move(text));
    return true;
}

void removePositions(std::vector<std::string>& list, const IgnoreListStore::Positions& positions)
{
    std::size_t index = 0;
    std::erase_if(list, [&](const std::string&) { return positions.contains(index++); });
}

} // namespace

platform::PlistData encodeIgnoreData(const IgnoreData& data)
{
    const nlohmann::json json{
        {"globalTitles", data.globalTitles},           {"perApp", data.perApp},
        {"appDisplayNames", data.appDisplayNames},     {"ignoredApps", data.ignoredApps},
        {"ignoredMenuTitles", data.ignoredMenuTitles},
    };
    const auto text = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return platform::PlistData(text.begin(), text.end());
}

std::optional<IgnoreData> decodeIgnoreData(const platform::PlistData& bytes)
{
    const auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!json.is_object())
        return std::nullopt;
    try {
        IgnoreData data;
        json.at("globalTitles").get_to(data.globalTitles);
        json.at("perApp").get_to(data.perApp);
        json.at("appDisplayNames").get_to(data.appDisplayNames);
        if (json.contains("ignoredApps"))
            json.at("ignoredApps").get_to(data.ignoredApps);
        if (json.contains("ignoredMenuTitles"))
            json.at("ignoredMenuTitles").get_to(data.ignoredMenuTitles);
        return data;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

IgnoreListStore::IgnoreListStore(platform::SettingsDomain& settings)
    : settings_(settings), isEnabled_(settings.boolean(keys::ignoreListEnabled)),
      showWhenFiltering_(settings.boolean(keys::ignoreListShowWhenFiltering)),
      data_(storedData().value_or(IgnoreData{}))
{}

void IgnoreListStore::setEnabled(bool enabled)
{
    isEnabled_ = enabled;
    settings_.set(keys::ignoreListEnabled, enabled);
    observers_.notify();
}

void IgnoreListStore::setShowWhenFiltering(bool show)
{
    showWhenFiltering_ = show;
    settings_.set(keys::ignoreListShowWhenFiltering, show);
    observers_.notify();
}

std::vector<std::string> IgnoreListStore::patterns(std::optional<std::string_view> bundleIdentifier) const
{
    auto result = data_.globalTitles;
    if (!bundleIdentifier)
        return result;
    if (auto found = data_.perApp.find(std::string(*bundleIdentifier)); found != data_.perApp.end())
        result.insert(result.end(), found->second.begin(), found->second.end());
    return result;
}

void IgnoreListStore::addGlobalRule(std::string_view title)
{
    auto rule = trimmed(title);
    if (!rule.empty() && appendNew(data_.globalTitles, std::move(rule)))
        saveAndNotify();
}

void IgnoreListStore::removeGlobalRules(const Positions& positions)
{
    removePositions(data_.globalTitles, positions);
    saveAndNotify();
}

void IgnoreListStore::addAppRule(std::string_view title, std::string_view bundleIdentifier, std::string_view appName)
{
    auto rule = trimmed(title);
    if (rule.empty())
        return;
    const std::string app(bundleIdentifier);
    auto& displayName = data_.appDisplayNames[app];
    const bool renamed = displayName != appName;
    displayName = appName;
    const bool appended = appendNew(data_.perApp[app], std::move(rule));
    // A changed display name is saved too, so that memory and settings agree.
    if (appended || renamed)
        saveAndNotify();
}

void IgnoreListStore::removeAppRules(std::string_view bundleIdentifier, const Positions& positions)
{
    const std::string app(bundleIdentifier);
    auto rules = data_.perApp.find(app);
    if (rules == data_.perApp.end())
        return;
    removePositions(rules->second, positions);
    if (rules->second.empty()) {
        data_.perApp.erase(rules);
        data_.appDisplayNames.erase(app);
    }
    saveAndNotify();
}

void IgnoreListStore::removeAllRules(std::string_view bundleIdentifier)
{
    const std::string app(bundleIdentifier);
    data_.perApp.erase(app);
    data_.appDisplayNames.erase(app);
    saveAndNotify();
}

void IgnoreListStore::addIgnoredApp(std::string_view bundleIdentifier, std::string_view appName)
{
    data_.ignoredApps.insert_or_assign(std::string(bundleIdentifier), std::string(appName));
    saveAndNotify();
}

void IgnoreListStore::removeIgnoredApp(std::string_view bundleIdentifier)
{
    if (data_.ignoredApps.erase(std::string(bundleIdentifier)) > 0)
        saveAndNotify();
}

void IgnoreListStore::addIgnoredMenu(std::string_view title)
{
    auto menu = trimmed(title);
    if (!menu.empty() && appendNew(data_.ignoredMenuTitles, std::move(menu)))
        saveAndNotify();
}

void IgnoreListStore::removeIgnoredMenus(const Positions& positions)
{
    removePositions(data_.ignoredMenuTitles, positions);
    saveAndNotify();
}

void IgnoreListStore::save()
{
    settings_.set(keys::ignoreList, encodeIgnoreData(data_));
}

void IgnoreListStore::reload()
{
    isEnabled_ = settings_.boolean(keys::ignoreListEnabled);
    showWhenFiltering_ = settings_.boolean(keys::ignoreListShowWhenFiltering);
    if (!settings_.object(keys::ignoreList))
        data_ = IgnoreData{};
    else if (auto stored = storedData())
        data_ = std::move(*stored);
    observers_.notify();
}

std::optional<IgnoreData> IgnoreListStore::storedData() const
{
    auto stored = settings_.object(keys::ignoreList);
    const auto* bytes = stored ? stored->as<platform::PlistData>() : nullptr;
    return bytes ? decodeIgnoreData(*bytes) : std::nullopt;
}

void IgnoreListStore::saveAndNotify()
{
    save();
    observers_.notify();
}

} // namespace hb
