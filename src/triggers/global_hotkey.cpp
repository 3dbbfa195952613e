#include "triggers/global_hotkey.h"

#include "model/key_label.h"
#include "settings/settings_keys.h"

namespace hb {

using platform::LogCategory;

HotkeyManager::HotkeyManager(platform::HotkeyService& service, platform::MainQueue& mainQueue, platform::Log& log)
    : service_(service), mainQueue_(mainQueue), log_(log), self_(std::make_shared<HotkeyManager*>(this))
{
    service_.setPressHandler([this](platform::HotkeyId id) { pressed(id); });
    service_.setLossHandler([this] { lost(); });
}

HotkeyManager::~HotkeyManager()
{
    service_.setPressHandler(nullptr);
    service_.setLossHandler(nullptr);
    unregister();
}

bool HotkeyManager::registerHotkey(const GlobalHotkey& hotkey)
{
    unregister();
    const int status = service_.registerHotkey(hotkey.keyCode, hotkey.carbonModifiers, hintboardHotkeyId);
    if (status != 0) {
        log_.error(LogCategory::hotkey, "The desktop did not take the hot key {} (status={})",
                   notation::keyLabel(hotkey.displayString, notation::KeyLabels::words), status);
        return false;
    }
    registered_ = true;
    log_.info(LogCategory::hotkey, "registered hotkey: {}",
              notation::keyLabel(hotkey.displayString, notation::KeyLabels::words));
    return true;
}

void HotkeyManager::unregister()
{
    if (!registered_)
        return;
    service_.unregisterHotkey();
    registered_ = false;
    log_.info(LogCategory::hotkey, "unregistered hotkey");
}

void HotkeyManager::pressed(platform::HotkeyId id)
{
    if (id != hintboardHotkeyId)
        return;
    mainQueue_.post([weak = std::weak_ptr<HotkeyManager*>(self_)] {
        if (auto self = weak.lock(); self && (*self)->onActivate)
            (*self)->onActivate();
    });
}

void HotkeyManager::lost()
{
    if (!registered_)
        return;
    registered_ = false;
    log_.error(LogCategory::hotkey, "The hot key stopped working; it is no longer registered");
    lossObservers_.notify();
}

void setUpHotkeyAtLaunch(HotkeyManager& manager, platform::SettingsDomain& settings)
{
    if (!settings.boolean(keys::didSetDefaultHotkey)) {
        settings.set(keys::didSetDefaultHotkey, true);
        if (!loadHotkey(settings)) {
            saveHotkey(defaultHotkey, settings);
            manager.registerHotkey(defaultHotkey);
            return;
        }
    }
    if (const auto hotkey = loadHotkey(settings))
        manager.registerHotkey(*hotkey);
}

} // namespace hb
