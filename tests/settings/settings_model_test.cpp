#include "settings/settings_model.h"

#include "settings/settings_keys.h"
#include "support/settings_model_fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hb {
namespace {

namespace flags = platform::modifier_flags;
using Registration = fake::FakeHotkeyService::Registration;

using test::optionCommandK;

class SettingsModelTest : public testing::Test, public test::SettingsModelFakes {
protected:
    SettingsModelTest()
    {
        for (auto name : {hb::notifications::menuBarIconStyleChanged, hb::notifications::receiveBetaUpdatesChanged,
                          hb::notifications::receiveAlphaUpdatesChanged}) {
            notifications.addObserver(name, [this, name] { posted.emplace_back(name); });
        }
    }

    std::unique_ptr<SettingsModel> makeModel()
    {
        return std::make_unique<SettingsModel>(modelServices());
    }

    std::vector<std::string> drainPosted() { runtime.runMainQueue(); return std::exchange(posted, {}); }

    std::vector<std::string> posted;
};

TEST_F(SettingsModelTest, LoadsFieldsOnceAndWritesThemWithTheirEffects)
{
    settings.set(keys::doubleTapModifier, "other");
    auto model = makeModel();
    EXPECT_FALSE(model->hotkey());
    EXPECT_FALSE(model->showAllMenuItems());
    EXPECT_TRUE(model->automaticUpdatesEnabled());
    EXPECT_EQ(model->popupDisplayMode(), PopupDisplayMode::activeAppWindow);
    EXPECT_EQ(model->menuBarIconStyle(), MenuBarIconStyle::keyboard);
    EXPECT_EQ(model->doubleTapModifier(), DoubleTapModifier::option);

    int changes = 0;
    model->addObserver([&] { ++changes; });
    model->setAutomaticUpdatesEnabled(false);
    model->setReceiveBetaUpdates(true);
    model->setReceiveBetaUpdates(true);  // unchanged: nothing
    model->setPopupDisplayMode(PopupDisplayMode::mouseCursor);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(settings.object(keys::automaticUpdateChecks), platform::PlistValue(false));
    EXPECT_EQ(settings.integer(keys::popupDisplayMode), 1);
    EXPECT_EQ(drainPosted(), std::vector<std::string>{std::string(hb::notifications::receiveBetaUpdatesChanged)});
    EXPECT_FALSE(makeModel()->automaticUpdatesEnabled());

    // A login item that refuses keeps the model at its real state.
    loginService.failure = "denied";
    model->setLaunchAtLogin(true);
    EXPECT_FALSE(model->launchAtLogin());

    model->setICloudSyncEnabled(true);
    model->setICloudSyncEnabled(false);
    remoteIsNewer = true;
    model->setICloudSyncEnabled(true);
    EXPECT_EQ(syncCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(model->showingICloudConflictAlert());
}

TEST_F(SettingsModelTest, UpdatesFromThePackageManagerKeepAutomaticChecksOffAndTheFeedIsThisMachines)
{
    settings.set(keys::automaticUpdateChecks, true);  // e.g. synchronised from a copy built from source
    auto services = modelServices();
    services.updatesFromPackageManager = true;
    SettingsModel model(services);
    EXPECT_TRUE(model.updatesFromPackageManager());
    EXPECT_FALSE(model.automaticUpdatesEnabled());
    model.setAutomaticUpdatesEnabled(true);
    EXPECT_FALSE(model.automaticUpdatesEnabled());
    settings.set(keys::automaticUpdateChecks, false);
    model.setAutomaticUpdatesEnabled(true);
    EXPECT_EQ(settings.object(keys::automaticUpdateChecks), platform::PlistValue(false)) << "nothing written";

    auto own = makeModel();
    EXPECT_EQ(own->updateFeedAddress(), "");
    own->setUpdateFeedAddress("https://example.org/appcast.xml");
    EXPECT_EQ(settings.object(keys::updateFeedAddress), platform::PlistValue("https://example.org/appcast.xml"));
    EXPECT_EQ(model.updateFeedAddress(), "https://example.org/appcast.xml") << "the other model follows";
    own->setUpdateFeedAddress("");
    EXPECT_FALSE(settings.object(keys::updateFeedAddress));
}

TEST_F(SettingsModelTest, FieldsFollowValuesWrittenByImportOrSynchronisation)
{
    auto model = makeModel();
    int changes = 0;
    model->addObserver([&] { ++changes; });
    settings.set(keys::keyLabels, "symbols");
    settings.set(keys::showAllMenuItems, true);
    settings.set(keys::popupTipIndex, 4);  // no field of the model: no change
    saveHotkey(optionCommandK, settings);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(model->keyLabels(), notation::KeyLabels::symbols);
    EXPECT_TRUE(model->showAllMenuItems());
    EXPECT_EQ(model->hotkey(), optionCommandK);

    // Its own writes change nothing twice.
    model->setKeyLabels(notation::KeyLabels::words);
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(settings.object(keys::keyLabels), platform::PlistValue("words"));
}

TEST_F(SettingsModelTest, DoubleTapFollowsItsSettingsAndTheIconsFollowTheDoubleTap)
{
    auto model = makeModel();
    model->setMatchAppIconToTrigger(true);
    model->setDoubleTapModifier(DoubleTapModifier::control);
    EXPECT_FALSE(doubleTap.isStarted());
    EXPECT_EQ(model->menuBarIconStyle(), MenuBarIconStyle::keyboard);

    model->setDoubleTapEnabled(true);
    EXPECT_TRUE(doubleTap.isStarted());
    EXPECT_EQ(doubleTap.watched(), DoubleTapModifier::control);
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 3);
    EXPECT_EQ(settings.integer(keys::appIconVariant), 2);
    EXPECT_EQ(presence.icon(), "AppIconControl");
    EXPECT_EQ(drainPosted(), std::vector<std::string>{std::string(hb::notifications::menuBarIconStyleChanged)});

    model->setDoubleTapModifier(DoubleTapModifier::command);
    EXPECT_EQ(doubleTap.watched(), DoubleTapModifier::command);
    EXPECT_EQ(model->appIconVariant(), AppIconVariant::command);

    model->setDoubleTapEnabled(false);
    EXPECT_FALSE(doubleTap.isStarted());
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 0);
    EXPECT_EQ(drainPosted().size(), 2u);
}

TEST_F(SettingsModelTest, LaunchWritesTheTriggerIconsOnlyWhereTheyDiffer)
{
    settings.set(keys::matchAppIconToTrigger, true);
    settings.set(keys::appIconVariant, 2);
    EXPECT_FALSE(applyTriggerIconsAtLaunch(settings, presence));  // keyboard, as absent reads
    EXPECT_FALSE(settings.object(keys::menuBarIconStyle));
    EXPECT_EQ(settings.integer(keys::appIconVariant), 0);

    settings.set(keys::doubleTapEnabled, true);
    EXPECT_TRUE(applyTriggerIconsAtLaunch(settings, presence));  // option when unset
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 2);
    EXPECT_EQ(presence.icon(), "AppIconOption");
    EXPECT_FALSE(applyTriggerIconsAtLaunch(settings, presence));
}

TEST_F(SettingsModelTest, RecordsCombinationsWithCommandControlOrOption)
{
    useHotkey(optionCommandK);
    auto model = makeModel();
    model->setDoubleTapEnabled(true);

    model->startRecording();
    EXPECT_TRUE(model->isRecording());
    EXPECT_FALSE(hotkeyService.registration());
    EXPECT_FALSE(doubleTap.isStarted());

    // Bare keys and Shift alone never make a hot key.
    monitors.pressKey({0, 0, "a"});
    monitors.pressKey({0, flags::shift, "A"});
    EXPECT_TRUE(model->isRecording());
    EXPECT_FALSE(hotkeyService.registration());

    monitors.pressKey({96, flags::command | flags::shift, std::nullopt});
    const GlobalHotkey f5{96, 0x300, "⇧⌘F5"};
    EXPECT_FALSE(model->isRecording());
    EXPECT_EQ(model->hotkey(), f5);
    EXPECT_EQ(loadHotkey(settings), f5);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(f5));
    EXPECT_TRUE(doubleTap.isStarted());
    EXPECT_EQ(monitors.monitorCount(), 2u);  // the double tap's only

    model->startRecording();
    monitors.pressKey({49, flags::control | flags::option | 0x100, " "});
    const GlobalHotkey space{49, 0x1800, "⌃⌥Space"};
    EXPECT_EQ(loadHotkey(settings), space);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(space));
}

TEST_F(SettingsModelTest, EscapeAndRefusalKeepTheOldHotkeyWorking)
{
    useHotkey(optionCommandK);
    auto model = makeModel();
    int activations = 0;
    hotkeys.onActivate = [&] { ++activations; };

    model->startRecording();
    monitors.pressKey({53, flags::command, std::nullopt});
    EXPECT_FALSE(model->isRecording());
    EXPECT_FALSE(model->registrationFailed());
    EXPECT_EQ(loadHotkey(settings), optionCommandK);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(optionCommandK));

    hotkeyService.holdElsewhere(3, 0x1100);
    model->startRecording();
    monitors.pressKey({3, flags::control | flags::command, "f"});
    EXPECT_FALSE(model->isRecording());
    EXPECT_TRUE(model->registrationFailed());
    EXPECT_EQ(model->hotkey(), optionCommandK);
    EXPECT_EQ(loadHotkey(settings), optionCommandK);
    ASSERT_TRUE(hotkeyService.pressRegistered());
    runtime.runMainQueue();
    EXPECT_EQ(activations, 1);

}

TEST_F(SettingsModelTest, AHotkeyTheDesktopTakesBackShowsAsLostUntilRecordedAgain)
{
    useHotkey(optionCommandK);
    auto model = makeModel();
    int changes = 0;
    model->addObserver([&] { ++changes; });
    EXPECT_FALSE(model->hotkeyLost());

    hotkeyService.loseRegistration();
    EXPECT_FALSE(hotkeys.isRegistered());
    EXPECT_TRUE(model->hotkeyLost());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(sink.contains(platform::LogCategory::hotkey, platform::LogLevel::error,
                              "The hot key stopped working; it is no longer registered"));

    model->startRecording();
    EXPECT_FALSE(model->hotkeyLost()) << "nothing to report while recording";
    monitors.pressKey({40, flags::option | flags::command, "k"});
    EXPECT_FALSE(model->hotkeyLost());
    EXPECT_EQ(hotkeyService.registration(), registrationOf(optionCommandK));
}

TEST_F(SettingsModelTest, ClearingAndClosingWhileRecording)
{
    useHotkey(optionCommandK);
    auto model = makeModel();

    // A model closed while recording gives the hot key back.
    model->startRecording();
    model.reset();
    EXPECT_EQ(monitors.monitorCount(), 0u);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(optionCommandK));
    monitors.pressKey({96, flags::command, std::nullopt});
    EXPECT_EQ(loadHotkey(settings), optionCommandK);

    model = makeModel();
    model->clearHotkey();
    EXPECT_FALSE(settings.object(keys::globalHotkey));
    EXPECT_FALSE(model->hotkey());
    EXPECT_FALSE(hotkeyService.pressRegistered());
    model->startRecording();
    EXPECT_FALSE(model->registrationFailed());
    model->stopRecording();
    EXPECT_FALSE(hotkeyService.registration());
}

} // namespace
} // namespace hb
