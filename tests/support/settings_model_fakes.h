#pragma once

#include "fake/fake_app_presence.h"
#include "fake/fake_event_monitors.h"
#include "fake/fake_hotkey_service.h"
#include "fake/fake_login_item.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "platform/notification_center.h"
#include "settings/settings_keys.h"
#include "settings_window/settings_model.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace hb::test {

inline const GlobalHotkey optionCommandK{40, 0x900, "⌥⌘K"};

// The desktop and the long-lived objects a settings model drives, all fakes.
// The synchronisation is two hooks: `remoteIsNewer` answers, `syncCalls`
// records starts (true) and stops (false); `posted` records the notifications
// the icon and the update channels hear.
struct SettingsModelFakes {
    SettingsModelFakes()
    {
        for (auto name : {notifications::menuBarIconStyleChanged, notifications::receiveBetaUpdatesChanged,
                          notifications::receiveAlphaUpdatesChanged})
            SettingsModelFakes::notifications.addObserver(name, [this, name] { posted.emplace_back(name); });
    }
    SettingsModelServices modelServices()
    {
        return SettingsModelServices{settings,
                                     hotkeys,
                                     doubleTap,
                                     monitors,
                                     notifications,
                                     loginItems,
                                     presence,
                                     [this] { return remoteIsNewer; },
                                     [this](bool enabled) { syncCalls.push_back(enabled); }};
    }

    std::vector<std::string> drainPosted()
    {
        runtime.runMainQueue();
        return std::exchange(posted, {});
    }

    // A hot key stored and registered before any model exists.
    void useHotkey(const GlobalHotkey& hotkey)
    {
        saveHotkey(hotkey, settings);
        ASSERT_TRUE(hotkeys.registerHotkey(hotkey));
    }
    static fake::FakeHotkeyService::Registration registrationOf(const GlobalHotkey& hotkey)
    {
        return {hotkey.keyCode, hotkey.carbonModifiers, hintboardHotkeyId};
    }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    fake::MemoryLogSink sink;
    platform::Log log{sink, nullptr};
    fake::FakeEventMonitors monitors;
    fake::FakeHotkeyService hotkeyService;
    HotkeyManager hotkeys{hotkeyService, runtime, log};
    DoubleTapTrigger doubleTap{monitors, runtime, settings, log};
    platform::NotificationCenter notifications{runtime};
    fake::FakeLoginItemService loginService;
    LoginItemManager loginItems{loginService, log};
    fake::FakeAppPresence presence;
    bool remoteIsNewer = false;
    std::vector<bool> syncCalls;
    std::vector<std::string> posted;
};

} // namespace hb::test
