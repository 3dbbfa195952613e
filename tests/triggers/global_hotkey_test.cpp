#include "triggers/global_hotkey.h"

#include "platform/event_monitors.h"
#include "platform/fake/fake_hotkey_service.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace hb {
namespace {

using platform::LogCategory;
using platform::LogLevel;
using ::testing::ElementsAre;
using ::testing::Optional;
namespace flags = platform::modifier_flags;

void storeData(fake::MemorySettingsDomain& settings, const std::string& text)
{
    settings.set(keys::globalHotkey, platform::PlistData(text.begin(), text.end()));
}

TEST(GlobalHotkeyStoredForm, RoundTripsAsJsonOfExactlyThreeFields)
{
    fake::MemorySettingsDomain settings;
    const GlobalHotkey hotkey{122, 0x1200, "⌃⇧F1"};
    saveHotkey(hotkey, settings);
    EXPECT_THAT(loadHotkey(settings), Optional(hotkey));

    const auto stored = settings.object(keys::globalHotkey);
    const auto* data = stored ? stored->as<platform::PlistData>() : nullptr;
    ASSERT_NE(data, nullptr);
    const auto json = nlohmann::json::parse(data->begin(), data->end());
    EXPECT_EQ(json, (nlohmann::json{{"keyCode", 122}, {"carbonModifiers", 4608}, {"displayString", "⌃⇧F1"}}));

    saveHotkey(std::nullopt, settings);
    EXPECT_FALSE(settings.object(keys::globalHotkey));
    EXPECT_EQ(loadHotkey(settings), std::nullopt);
}

TEST(GlobalHotkeyStoredForm, DataThatDoesNotDecodeReadsAsNone)
{
    fake::MemorySettingsDomain settings;
    for (const char* text : {
             "",
             "not json",
             "[40, 2304, \"K\"]",
             R"({"keyCode": 40, "carbonModifiers": 2304})",
             R"({"keyCode": "40", "carbonModifiers": 2304, "displayString": "K"})",
             R"({"keyCode": -1, "carbonModifiers": 2304, "displayString": "K"})",
             R"({"keyCode": 4294967296, "carbonModifiers": 2304, "displayString": "K"})",
             R"({"keyCode": 40.5, "carbonModifiers": 2304, "displayString": "K"})",
             R"({"keyCode": 40, "carbonModifiers": 2304, "displayString": 7})",
         }) {
        storeData(settings, text);
        EXPECT_EQ(loadHotkey(settings), std::nullopt) << text;
    }
    settings.set(keys::globalHotkey, std::string(R"({"keyCode": 40, "carbonModifiers": 2304, "displayString": "K"})"));
    EXPECT_EQ(loadHotkey(settings), std::nullopt) << "a string, not data";

    storeData(settings, R"({"displayString": "⌥⌘K", "keyCode": 40, "carbonModifiers": 2304})");
    EXPECT_THAT(loadHotkey(settings), Optional(defaultHotkey));
    // Fields that a later version adds are passed over.
    storeData(settings, R"({"keyCode": 40, "carbonModifiers": 2304, "displayString": "⌥⌘K", "keyboard": {"id": 3}})");
    EXPECT_THAT(loadHotkey(settings), Optional(defaultHotkey));
    storeData(settings, R"({"keyCode": 4294967295, "carbonModifiers": 0, "displayString": ""})");
    EXPECT_THAT(loadHotkey(settings), Optional(GlobalHotkey{4294967295u, 0, ""}));
}

TEST(GlobalHotkeyRecording, ModifierMaskAndDisplayText)
{
    EXPECT_EQ(carbonModifiers(flags::option | flags::command), 0x900u);
    EXPECT_EQ(carbonModifiers(flags::all | 0x10000 | 0x800000 | 0xFF), 0x1B00u) << "Caps Lock, Fn, device bits ignored";
    EXPECT_EQ(carbonModifiers(0), 0u);

    EXPECT_EQ(hotkeyDisplayString(40, flags::option | flags::command, "k"), "⌥⌘K");
    EXPECT_EQ(hotkeyDisplayString(96, flags::shift | flags::control, std::nullopt), "⌃⇧F5");
    EXPECT_EQ(hotkeyDisplayString(49, flags::all, " "), "⌃⌥⇧⌘Space");
    EXPECT_EQ(hotkeyDisplayString(123, flags::command, "x"), "⌘←") << "the table wins over the characters";
    EXPECT_EQ(hotkeyDisplayString(41, flags::command, "ö"), "⌘Ö");
    EXPECT_EQ(hotkeyDisplayString(41, flags::command, ""), "⌘?");
    EXPECT_EQ(hotkeyDisplayString(41, flags::command, std::nullopt), "⌘?");
}

class HotkeyManagerTest : public ::testing::Test {
protected:
    fake::VirtualRuntime runtime;
    fake::FakeHotkeyService service;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    fake::MemorySettingsDomain settings;
    int activations = 0;

    std::unique_ptr<HotkeyManager> makeManager()
    {
        auto manager = std::make_unique<HotkeyManager>(service, runtime, log);
        manager->onActivate = [this] { ++activations; };
        return manager;
    }
};

TEST_F(HotkeyManagerTest, PressesOfItsOwnIdentifierActivateThroughTheMainQueue)
{
    auto manager = makeManager();
    ASSERT_TRUE(manager->registerHotkey(defaultHotkey));
    EXPECT_THAT(service.registration(),
                Optional(fake::FakeHotkeyService::Registration{40, 0x900, platform::HotkeyId{0x48427264, 1}}));

    ASSERT_TRUE(service.pressRegistered());
    EXPECT_EQ(activations, 0) << "never inside the handler";
    runtime.runMainQueue();
    EXPECT_EQ(activations, 1);

    service.press({0x48427264, 2});
    service.press({0, 0});
    runtime.runMainQueue();
    EXPECT_EQ(activations, 1);

    service.pressRegistered();
    manager.reset();
    runtime.runMainQueue();
    EXPECT_EQ(activations, 1) << "a press queued before the manager went away";
    EXPECT_FALSE(service.hasPressHandler());
    EXPECT_EQ(service.registration(), std::nullopt);
}

TEST_F(HotkeyManagerTest, RefusalLeavesNothingRegisteredAndIsLogged)
{
    auto manager = makeManager();
    ASSERT_TRUE(manager->registerHotkey(defaultHotkey));
    service.holdElsewhere(49, 0x1000);
    EXPECT_FALSE(manager->registerHotkey({49, 0x1000, "⌃Space"}));
    EXPECT_FALSE(manager->isRegistered());
    EXPECT_EQ(service.registration(), std::nullopt);
    EXPECT_THAT(sink.messages(LogCategory::hotkey),
                ElementsAre("registered hotkey: Alt+Super+K", "unregistered hotkey",
                            "The desktop did not take the hot key Ctrl+Space (status=-9878)"));
    EXPECT_TRUE(sink.contains(LogCategory::hotkey, LogLevel::error,
                              "The desktop did not take the hot key Ctrl+Space (status=-9878)"));
}

TEST_F(HotkeyManagerTest, UnregisterTwiceLogsOnce)
{
    auto manager = makeManager();
    manager->registerHotkey(defaultHotkey);
    sink.clear();
    manager->unregister();
    manager->unregister();
    EXPECT_THAT(sink.messages(LogCategory::hotkey), ElementsAre("unregistered hotkey"));
    EXPECT_EQ(service.unregisterCount(), 1);
}

TEST_F(HotkeyManagerTest, DefaultIsOfferedOnceInTheLifeOfTheSettings)
{
    // First launch with empty settings.
    {
        auto manager = makeManager();
        setUpHotkeyAtLaunch(*manager, settings);
        EXPECT_TRUE(settings.boolean(keys::didSetDefaultHotkey));
        EXPECT_THAT(loadHotkey(settings), Optional(defaultHotkey));
        ASSERT_TRUE(manager->isRegistered());
        service.pressRegistered();
        runtime.runMainQueue();
        EXPECT_EQ(activations, 1);
    }
    // The user cleared it; the next launch registers and writes nothing.
    saveHotkey(std::nullopt, settings);
    {
        auto manager = makeManager();
        setUpHotkeyAtLaunch(*manager, settings);
        EXPECT_FALSE(manager->isRegistered());
        EXPECT_FALSE(settings.object(keys::globalHotkey));
    }
    // A stored hot key is registered on later launches.
    const GlobalHotkey f1{122, 0, "F1"};
    saveHotkey(f1, settings);
    auto manager = makeManager();
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_EQ(service.registration()->keyCode, 122u);
}

TEST_F(HotkeyManagerTest, FirstLaunchWithAnImportedHotkeyKeepsIt)
{
    const GlobalHotkey imported{49, 0x1000, "⌃Space"};
    saveHotkey(imported, settings);
    auto manager = makeManager();
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_TRUE(settings.boolean(keys::didSetDefaultHotkey));
    EXPECT_THAT(loadHotkey(settings), Optional(imported));
    EXPECT_EQ(service.registration()->keyCode, 49u);

    // Refused at launch: only logged.
    manager->unregister();
    service.holdElsewhere(49, 0x1000);
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_FALSE(manager->isRegistered());
    EXPECT_THAT(loadHotkey(settings), Optional(imported));
}

} // namespace
} // namespace hb
