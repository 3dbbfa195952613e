#pragma once

#include "base/log.h"
#include "base/observer_list.h"
#include "platform/hotkey_service.h"
#include "platform/runtime.h"
#include "settings/hotkey.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hb {

// The identifier this program registers and recognises: "HBrd" read as a
// big-endian number, id 1.
inline constexpr platform::HotkeyId hintboardHotkeyId{0x48427264, 1};

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
