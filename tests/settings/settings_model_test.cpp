#include "settings_window/settings_model.h"

#include "settings/settings_keys.h"
#include "support/settings_model_fakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hb {
namespace {

namespace flags = platform::modifier_flags;
using platform::PlistValue;
using test::optionCommandK;
using Names = std::vector<std::string>;

class SettingsModelTest : public testing::Test, public test::SettingsModelFakes {
protected:
    std::unique_ptr<SettingsModel> makeModel()
    {
        auto model = std::make_unique<SettingsModel>(modelServices());
        model->addObserver([this] { ++changes; });
        return model;
    }
    int changes = 0;
};

TEST_F(SettingsModelTest, WritesFieldsWithTheirEffectsAndFollowsValuesWrittenElsewhere)
{
    auto model = makeModel();
    model->setAutomaticUpdatesEnabled(false);
    model->setReceiveBetaUpdates(true);
    model->setReceiveBetaUpdates(true); // unchanged: nothing
    model->setPopupDisplayMode(PopupDisplayMode::mouseCursor);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(settings.object(keys::automaticUpdateChecks), PlistValue(false));
    EXPECT_EQ(settings.integer(keys::popupDisplayMode), 1);
    EXPECT_EQ(drainPosted(), Names{std::string(notifications::receiveBetaUpdatesChanged)});

    // Values written by an import or the synchronisation; its own writes change nothing twice.
    settings.set(keys::keyLabels, "symbols");
    settings.set(keys::popupTipIndex, 4); // no field of the model: no change
    saveHotkey(optionCommandK, settings);
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(model->keyLabels(), notation::KeyLabels::symbols);
    EXPECT_EQ(model->hotkey(), optionCommandK);
    model->setKeyLabels(notation::KeyLabels::words);
    EXPECT_EQ(changes, 6);

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
    settings.set(keys::automaticUpdateChecks, true); // e.g. synchronised from a copy built from source
    auto services = modelServices();
    services.updatesFromPackageManager = true;
    SettingsModel model(services);
    EXPECT_FALSE(model.automaticUpdatesEnabled());
    settings.set(keys::automaticUpdateChecks, false);
    model.setAutomaticUpdatesEnabled(true);
    EXPECT_EQ(settings.object(keys::automaticUpdateChecks), PlistValue(false)) << "nothing written";

    makeModel()->setUpdateFeedAddress("https://example.org/appcast.xml");
    EXPECT_EQ(model.updateFeedAddress(), "https://example.org/appcast.xml") << "the other model follows";
    makeModel()->setUpdateFeedAddress("");
    EXPECT_FALSE(settings.object(keys::updateFeedAddress));
}

TEST_F(SettingsModelTest, TheIconsFollowTheDoubleTapInTheModelAndAtLaunchWhereTheyDiffer)
{
    auto model = makeModel();
    model->setMatchAppIconToTrigger(true);
    model->setDoubleTapModifier(DoubleTapModifier::control);
    EXPECT_FALSE(doubleTap.isStarted());
    model->setDoubleTapEnabled(true);
    EXPECT_EQ(doubleTap.watched(), DoubleTapModifier::control);
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 3);
    EXPECT_EQ(presence.icon(), "AppIconControl");
    EXPECT_EQ(drainPosted(), Names{std::string(notifications::menuBarIconStyleChanged)});
    model->setDoubleTapModifier(DoubleTapModifier::command);
    EXPECT_EQ(doubleTap.watched(), DoubleTapModifier::command);
    EXPECT_EQ(model->appIconVariant(), AppIconVariant::command);
    model->setDoubleTapEnabled(false);
    EXPECT_FALSE(doubleTap.isStarted());
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 0);
    EXPECT_EQ(drainPosted().size(), 2u);

    for (auto key : {keys::menuBarIconStyle, keys::doubleTapEnabled, keys::doubleTapModifier})
        settings.remove(key);
    settings.set(keys::matchAppIconToTrigger, true);
    settings.set(keys::appIconVariant, 2);
    EXPECT_FALSE(applyTriggerIconsAtLaunch(settings, presence)); // keyboard, as absent reads
    EXPECT_FALSE(settings.object(keys::menuBarIconStyle));
    EXPECT_EQ(settings.integer(keys::appIconVariant), 0);
    settings.set(keys::doubleTapEnabled, true);
    EXPECT_TRUE(applyTriggerIconsAtLaunch(settings, presence)); // option when unset
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
    EXPECT_FALSE(hotkeyService.registration());
    EXPECT_FALSE(doubleTap.isStarted());
    // Bare keys and Shift alone never make a hot key.
    monitors.pressKey({0, 0, "a"});
    monitors.pressKey({0, flags::shift, "A"});
    EXPECT_TRUE(model->isRecording());

    monitors.pressKey({96, flags::command | flags::shift, std::nullopt});
    const GlobalHotkey f5{96, 0x300, "⇧⌘F5"};
    EXPECT_FALSE(model->isRecording());
    EXPECT_EQ(model->hotkey(), f5);
    EXPECT_EQ(loadHotkey(settings), f5);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(f5));
    EXPECT_TRUE(doubleTap.isStarted());
    EXPECT_EQ(monitors.monitorCount(), 2u); // the double tap's only
    model->startRecording();
    monitors.pressKey({49, flags::control | flags::option | 0x100, " "});
    EXPECT_EQ(loadHotkey(settings), (GlobalHotkey{49, 0x1800, "⌃⌥Space"}));
}

TEST_F(SettingsModelTest, EscapeRefusalAndClosingKeepTheOldHotkeyWorking)
{
    useHotkey(optionCommandK);
    auto model = makeModel();
    model->startRecording();
    monitors.pressKey({53, flags::command, std::nullopt});
    EXPECT_FALSE(model->isRecording());
    EXPECT_FALSE(model->registrationFailed());
    EXPECT_EQ(hotkeyService.registration(), registrationOf(optionCommandK));

    hotkeyService.holdElsewhere(3, 0x1100);
    model->startRecording();
    monitors.pressKey({3, flags::control | flags::command, "f"});
    EXPECT_TRUE(model->registrationFailed());
    EXPECT_EQ(model->hotkey(), optionCommandK);
    EXPECT_EQ(loadHotkey(settings), optionCommandK);
    EXPECT_EQ(hotkeyService.registration(), registrationOf(optionCommandK));

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
    EXPECT_FALSE(hotkeyService.pressRegistered());
    model->startRecording();
    model->stopRecording();
    EXPECT_FALSE(hotkeyService.registration());
}

TEST_F(SettingsModelTest, AHotkeyTheDesktopTakesBackShowsAsLostUntilRecordedAgain)
{
    useHotkey(optionCommandK);
    auto model = makeModel();
    EXPECT_FALSE(model->hotkeyLost());
    hotkeyService.loseRegistration();
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

} // namespace
} // namespace hb
