#include "app/stored_settings.h"

#include "linux/plist_file_settings_domain.h"
#include "settings/settings_keys.h"

#include <fstream>
#include <iterator>

namespace hb::app {

StoredSettings StoredSettings::read()
{
    StoredSettings stored;
    std::ifstream file(linux_platform::PlistFileSettingsDomain::defaultPath(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const auto settings = platform::parsePropertyList(bytes);
    if (const auto* values = settings ? settings->as<platform::PlistDictionary>() : nullptr)
        stored.values_ = *values;
    return stored;
}

const platform::PlistValue* StoredSettings::value(std::string_view key) const
{
    const auto found = values_.find(key);
    return found == values_.end() ? nullptr : &found->second;
}

bool StoredSettings::debugLoggingEnabled() const
{
    const auto* stored = value(keys::debugLoggingEnabled);
    const bool* enabled = stored ? stored->as<bool>() : nullptr;
    return enabled && *enabled;
}

notation::KeyLabels StoredSettings::keyLabels() const
{
    const auto* stored = value(keys::keyLabels);
    const auto* name = stored ? stored->as<std::string>() : nullptr;
    return name ? notation::keyLabelsStoredAs(*name) : notation::defaultKeyLabels;
}

std::optional<GlobalHotkey> StoredSettings::hotkey() const
{
    const auto* stored = value(keys::globalHotkey);
    if (const auto* data = stored ? stored->as<platform::PlistData>() : nullptr)
        return decodeHotkey(std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    const auto* defaultSet = value(keys::didSetDefaultHotkey);
    const bool* set = defaultSet ? defaultSet->as<bool>() : nullptr;
    if (set && *set)
        return std::nullopt;
    return defaultHotkey;
}

} // namespace hb::app
