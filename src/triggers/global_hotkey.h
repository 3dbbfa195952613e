#pragma once

// SKELETON: public surface agreed between the triggers and the application.
// The triggers helper completes it and may add what it needs.

#include "platform/hotkey_service.h"
#include "platform/log.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace hb {

// A key combination that opens the popup from any application.
struct GlobalHotkey {
    std::uint32_t keyCode = 0;          // virtual key code (K is 40)
    std::uint32_t carbonModifiers = 0;  // Command 0x100, Shift 0x200, Option 0x800, Control 0x1000
    std::string displayString;          // "⌥⌘K"

    friend bool operator==(const GlobalHotkey&, const GlobalHotkey&) = default;
};

inline const GlobalHotkey defaultHotkey{40, 0x900, "⌥⌘K"};

// The stored form under `globalHotkey`: JSON with exactly the three fields.
std::optional<GlobalHotkey> loadHotkey(const platform::SettingsDomain& settings);
void saveHotkey(const std::optional<GlobalHotkey>& hotkey, platform::SettingsDomain& settings);

// Event modifier flags to Carbon modifier bits; other bits are ignored.
std::uint32_t carbonModifiers(std::uint64_t eventModifierFlags);
// "⌃⌥⇧⌘" as flagged, then the key's name; `characters` names keys outside the table.
std::string hotkeyDisplayString(std::uint32_t keyCode, std::uint64_t eventModifierFlags,
                                const std::optional<std::string>& characters);

// Registers this program's one hot key and runs `onActivate` for its presses,
// always through the main queue. Main thread only.
class HotkeyManager {
public:
    HotkeyManager(platform::HotkeyService& service, platform::MainQueue& mainQueue, platform::Log& log);
    ~HotkeyManager();
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Unregisters first; true when the desktop accepted the combination.
    bool registerHotkey(const GlobalHotkey& hotkey);
    void unregister();
    bool isRegistered() const;

    std::function<void()> onActivate;
};

// At launch: offers the default hot key once in the life of the settings,
// otherwise registers the stored one.
void setUpHotkeyAtLaunch(HotkeyManager& manager, platform::SettingsDomain& settings);

} // namespace hb
