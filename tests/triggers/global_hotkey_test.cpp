#include "triggers/global_hotkey.h"

#include "fake/fake_hotkey_service.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "platform/event_monitors.h"
#include "settings/settings_keys.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

namespace hb {
namespace {

using ::testing::Optional;
namespace flags = platform::modifier_flags;

void storeData(fake::MemorySettingsDomain& settings, const std::string& text)
{
    settings.set(keys::globalHotkey, platform::PlistData(text.begin(), text.end()));
}

TEST(GlobalHotkeyStoredForm, RoundTripsAsJsonOfThreeFieldsAndAnythingElseReadsAsNone)
{
    fake::MemorySettingsDomain settings;
    const GlobalHotkey hotkey{122, 0x1200, "⌃⇧F1"};
    saveHotkey(hotkey, settings);
    EXPECT_THAT(loadHotkey(settings), Optional(hotkey));
    const auto stored = settings.object(keys::globalHotkey);
    const auto* data = stored ? stored->as<platform::PlistData>() : nullptr;
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(nlohmann::json::parse(data->begin(), data->end()),
              (nlohmann::json{{"keyCode", 122}, {"carbonModifiers", 4608}, {"displayString", "⌃⇧F1"}}));
    saveHotkey(std::nullopt, settings);
    EXPECT_FALSE(settings.object(keys::globalHotkey));

    for (const auto& file :
         std::filesystem::directory_iterator(HINTBOARD_SOURCE_DIR "/tests/triggers/data/refused-hotkeys")) {
        storeData(settings, test::readFile(file.path()));
        EXPECT_EQ(loadHotkey(settings), std::nullopt) << file.path();
    }
    settings.set(keys::globalHotkey, std::string(R"({"keyCode": 40, "carbonModifiers": 2304, "displayString": "K"})"));
    EXPECT_EQ(loadHotkey(settings), std::nullopt) << "a string, not data";

    // Fields in another order or added by a later version are fine.
    storeData(settings, R"({"displayString": "⌥⌘K", "keyCode": 40, "carbonModifiers": 2304, "keyboard": {"id": 3}})");
    EXPECT_THAT(loadHotkey(settings), Optional(defaultHotkey));
    storeData(settings, R"({"keyCode": 4294967295, "carbonModifiers": 0, "displayString": ""})");
    EXPECT_THAT(loadHotkey(settings), Optional(GlobalHotkey{4294967295u, 0, ""}));
}

TEST(GlobalHotkeyRecording, ModifierMaskAndDisplayText)
{
    EXPECT_EQ(carbonModifiers(flags::option | flags::command), 0x900u);
    EXPECT_EQ(carbonModifiers(flags::all | 0x10000 | 0x800000 | 0xFF), 0x1B00u) << "Caps Lock, Fn, device bits ignored";

    struct Case {
        std::uint32_t key;
        std::uint64_t flags;
        std::optional<std::string> characters;
        std::string text;
    };
    for (const auto& c : {Case{96, flags::shift | flags::control, std::nullopt, "⌃⇧F5"},
                          Case{123, flags::command, "x", "⌘←"}, // the table wins over the characters
                          Case{41, flags::command, "ö", "⌘Ö"}, Case{41, flags::command, std::nullopt, "⌘?"}})
        EXPECT_EQ(hotkeyDisplayString(c.key, c.flags, c.characters), c.text);
}

class HotkeyManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<HotkeyManager> makeManager()
    {
        auto manager = std::make_unique<HotkeyManager>(service, runtime, log);
        manager->onActivate = [this] { ++activations; };
        return manager;
    }

    fake::VirtualRuntime runtime;
    fake::FakeHotkeyService service;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    fake::MemorySettingsDomain settings;
    int activations = 0;
};

TEST_F(HotkeyManagerTest, PressesOfItsOwnIdentifierActivateThroughTheMainQueueAndARefusalLeavesNothing)
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
    service.pressRegistered();
    manager.reset();
    runtime.runMainQueue();
    EXPECT_EQ(activations, 1) << "other identifiers, and a press queued before the manager went away";
    EXPECT_FALSE(service.hasPressHandler());
    EXPECT_EQ(service.registration(), std::nullopt);

    // A refusal leaves nothing registered.
    manager = makeManager();
    ASSERT_TRUE(manager->registerHotkey(defaultHotkey));
    service.holdElsewhere(49, 0x1000);
    EXPECT_FALSE(manager->registerHotkey({49, 0x1000, "⌃Space"}));
    EXPECT_FALSE(manager->isRegistered());
    EXPECT_EQ(service.registration(), std::nullopt) << "the previous key is given up too";
}

TEST_F(HotkeyManagerTest, TheDefaultIsOfferedOnceInTheLifeOfTheSettings)
{
    // First launch with empty settings.
    auto manager = makeManager();
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_TRUE(settings.boolean(keys::didSetDefaultHotkey));
    EXPECT_THAT(loadHotkey(settings), Optional(defaultHotkey));
    EXPECT_TRUE(manager->isRegistered());

    // The user cleared it; the next launch registers and writes nothing.
    saveHotkey(std::nullopt, settings);
    manager = makeManager();
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_FALSE(manager->isRegistered());
    EXPECT_FALSE(settings.object(keys::globalHotkey));

    // A first launch with an imported hot key keeps it; refused at launch it is only logged.
    settings.remove(keys::didSetDefaultHotkey);
    const GlobalHotkey imported{49, 0x1000, "⌃Space"};
    saveHotkey(imported, settings);
    manager = makeManager();
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_TRUE(settings.boolean(keys::didSetDefaultHotkey));
    EXPECT_EQ(service.registration()->keyCode, 49u);
    manager->unregister();
    service.holdElsewhere(49, 0x1000);
    setUpHotkeyAtLaunch(*manager, settings);
    EXPECT_FALSE(manager->isRegistered());
    EXPECT_THAT(loadHotkey(settings), Optional(imported));
}

} // namespace
} // namespace hb
