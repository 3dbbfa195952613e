#pragma once

#include "base/log.h"
#include "model/key_label.h"
#include "platform/settings_domain.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace hb {

// Stored enumerations; the raw values are what the settings hold.
enum class MenuBarIconStyle : std::int64_t { keyboard = 0, command = 1, option = 2, control = 3 };
enum class PopupDisplayMode : std::int64_t { activeAppWindow = 0, mouseCursor = 1, mainDisplay = 2 };
enum class AppIconVariant : std::int64_t { command = 0, option = 1, control = 2 };
// Stored as the case name: "command", "option" or "control".
enum class DoubleTapModifier { command, option, control };

std::string_view storedName(DoubleTapModifier modifier);
// The key as Linux keyboards name it: "Super", "Alt", "Ctrl".
std::string_view keyName(DoubleTapModifier modifier);

// Typed reads of the settings keys. Nothing registers defaults: each reader
// applies the fallback for an absent key, and a value of another type or
// outside an enumeration reads as that fallback too.
class Settings {
public:
    explicit Settings(platform::SettingsDomain& domain) : domain_(domain) {}

    platform::SettingsDomain& domain() const { return domain_; }

    // Boolean keys: absent or not a Boolean reads as false...
    bool flag(std::string_view key) const { return domain_.boolean(key); }
    // ...except automatic update checks, which are on unless switched off.
    bool automaticUpdateChecks() const;

    MenuBarIconStyle menuBarIconStyle() const;
    PopupDisplayMode popupDisplayMode() const;
    AppIconVariant appIconVariant() const;
    DoubleTapModifier doubleTapModifier() const;
    // Words unless "symbols" is stored.
    notation::KeyLabels keyLabels() const;
    void setMenuBarIconStyle(MenuBarIconStyle style);
    void setPopupDisplayMode(PopupDisplayMode mode);
    void setAppIconVariant(AppIconVariant variant);
    void setDoubleTapModifier(DoubleTapModifier modifier);
    void setKeyLabels(notation::KeyLabels labels);

    std::int64_t popupOpenCount() const;
    std::int64_t popupTipIndex() const;
    // None: start at the first step.
    std::optional<std::int64_t> onboardingResumeStep() const;

private:
    platform::SettingsDomain& domain_;
};

// Limits of the values that come from elsewhere (other machines, backups).
inline constexpr std::size_t maxStoredTextBytes = 4096;
inline constexpr std::size_t maxStoredListEntries = 10000;

// Why a text cannot be stored: longer than maxStoredTextBytes, not UTF-8, or
// holding a NUL character; none when it can.
std::optional<std::string> storedTextProblem(std::string_view text);
// Why `value` cannot be stored under one of the backup or synchronised keys:
// the wrong type, outside its bounds, or a text refused above. None when it
// can, and for every other key.
std::optional<std::string> storedValueProblem(std::string_view key, const platform::PlistValue& value);

// Writes the one "settings" line that records the settings at launch.
void logLaunchSnapshot(const platform::SettingsDomain& domain, platform::Log& log);

} // namespace hb
