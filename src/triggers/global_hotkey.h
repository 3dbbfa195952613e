#pragma once

#include "platform/hotkey_service.h"
#include "platform/log.h"
#include "platform/observer_list.h"
#include "platform/runtime.h"
#include "platform/settings_domain.h"

#include <cstdint>
#include <functional>
#include <memory>
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

// Carbon modifier bits.
namespace carbon_modifiers {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
} // namespace carbon_modifiers

// The identifier this program registers and recognises: "HBrd" read as a
// big-endian number, id 1.
inline constexpr platform::HotkeyId hintboardHotkeyId{0x48427264, 1};

// The stored form under `globalHotkey`: JSON with the three fields; other
// fields are passed over. Data that does not decode reads as none.
std::optional<GlobalHotkey> loadHotkey(const platform::SettingsDomain& settings);
void saveHotkey(const std::optional<GlobalHotkey>& hotkey, platform::SettingsDomain& settings);
// The JSON text of the stored form, and its reading.
std::string encodeHotkey(const GlobalHotkey& hotkey);
std::optional<GlobalHotkey> decodeHotkey(std::string_view json);

// Event modifier flags to Carbon modifier bits; other bits are ignored.
std::uint32_t carbonModifiers(std::uint64_t eventModifierFlags);
// The name of a key in hot-key texts ("Space", "F5", "←"); `characters` names
// keys outside the table, upper-cased, and "?" when there are none.
std::string hotkeyKeyName(std::uint32_t keyCode, const std::optional<std::string>& characters);
// "⌃⌥⇧⌘" as flagged, then the key's name.
std::string hotkeyDisplayString(std::uint32_t keyCode, std::uint64_t eventModifierFlags,
                                const std::optional<std::string>& characters);

// Registers this program's one hot key and runs `onActivate` for its presses,
// always through the main queue. The service outlives the manager. Main
// thread only.
class HotkeyManager {
public:
    HotkeyManager(platform::HotkeyService& service, platform::MainQueue& mainQueue, platform::Log& log);
    ~HotkeyManager();
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Unregisters first; true when the desktop accepted the combination.
    bool registerHotkey(const GlobalHotkey& hotkey);
    void unregister();
    // Whether the desktop delivers the presses of the registered hot key: false
    // also once it took the registration back.
    bool isRegistered() const { return registered_; }

    std::function<void()> onActivate;
    // Told when a registered hot key stopped working.
    platform::ObserverList<>::Id addLossObserver(std::function<void()> observer)
    {
        return lossObservers_.add(std::move(observer));
    }
    void removeLossObserver(platform::ObserverList<>::Id id) { lossObservers_.remove(id); }

private:
    void pressed(platform::HotkeyId id);
    void lost();

    platform::HotkeyService& service_;
    platform::MainQueue& mainQueue_;
    platform::Log& log_;
    bool registered_ = false;
    platform::ObserverList<> lossObservers_;
    // Tasks posted for a press hold this weakly, so a press queued before the
    // manager went away does nothing.
    std::shared_ptr<HotkeyManager*> self_;
};

// At launch: offers the default hot key once in the life of the settings,
// otherwise registers the stored one.
void setUpHotkeyAtLaunch(HotkeyManager& manager, platform::SettingsDomain& settings);

} // namespace hb
