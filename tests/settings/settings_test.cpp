#include "settings/settings.h"

#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace hb {
namespace {

using platform::PlistData;
using platform::PlistDictionary;

TEST(Settings, AbsentValuesAndValuesOutsideTheirRangeOrTypeReadAsTheFallback)
{
    fake::MemorySettingsDomain domain;
    Settings settings(domain);
    auto expectFallbacks = [&] {
        for (auto key : keys::backup)
            EXPECT_TRUE(key == keys::automaticUpdateChecks || !settings.flag(key)) << key;
        EXPECT_TRUE(settings.automaticUpdateChecks());
        EXPECT_EQ(settings.popupDisplayMode(), PopupDisplayMode::activeAppWindow);
        EXPECT_EQ(settings.menuBarIconStyle(), MenuBarIconStyle::keyboard);
        EXPECT_EQ(settings.appIconVariant(), AppIconVariant::command);
        EXPECT_EQ(settings.doubleTapModifier(), DoubleTapModifier::option);
        EXPECT_EQ(settings.keyLabels(), notation::KeyLabels::words);
    };
    expectFallbacks();
    EXPECT_EQ(settings.popupOpenCount(), 0);
    EXPECT_FALSE(settings.onboardingResumeStep());

    domain.set(keys::menuBarIconStyle, 7);
    domain.set(keys::popupDisplayMode, -1);
    domain.set(keys::appIconVariant, "5");
    domain.set(keys::doubleTapModifier, "Command");
    domain.set(keys::keyLabels, "glyphs");
    domain.set(keys::automaticUpdateChecks, 0);
    domain.set(keys::showAllMenuItems, 1);
    expectFallbacks();

    domain.set(keys::automaticUpdateChecks, false);
    domain.set(keys::menuBarIconStyle, 3.0);  // numbers are read whatever their stored width
    settings.setPopupDisplayMode(PopupDisplayMode::mainDisplay);
    settings.setDoubleTapModifier(DoubleTapModifier::control);
    settings.setKeyLabels(notation::KeyLabels::symbols);
    EXPECT_FALSE(settings.automaticUpdateChecks());
    EXPECT_EQ(settings.menuBarIconStyle(), MenuBarIconStyle::control);
    EXPECT_EQ(settings.popupDisplayMode(), PopupDisplayMode::mainDisplay);
    EXPECT_EQ(*domain.object(keys::doubleTapModifier), platform::PlistValue("control"));
    EXPECT_EQ(settings.doubleTapModifier(), DoubleTapModifier::control);
    EXPECT_EQ(*domain.object(keys::keyLabels), platform::PlistValue("symbols"));
    EXPECT_EQ(settings.keyLabels(), notation::KeyLabels::symbols);
}

TEST(Settings, IntegersStoredAsTextReadAsTheirNumber)
{
    fake::MemorySettingsDomain domain;
    Settings settings(domain);
    domain.set(keys::appIconVariant, "2");
    domain.set(keys::popupOpenCount, " +12 shows");
    domain.set(keys::popupTipIndex, "99999999999999999999");
    EXPECT_EQ(settings.appIconVariant(), AppIconVariant::control);
    EXPECT_EQ(settings.popupOpenCount(), 12);
    EXPECT_EQ(settings.popupTipIndex(), std::numeric_limits<std::int64_t>::max());
    domain.set(keys::popupOpenCount, "-3");
    domain.set(keys::popupTipIndex, "none");
    EXPECT_EQ(settings.popupOpenCount(), -3);
    EXPECT_EQ(settings.popupTipIndex(), 0);
}

TEST(Settings, KeyListsHoldDistinctKeys)
{
    // Key labels are an appearance setting: backed up and synchronised.
    EXPECT_NE(std::ranges::find(keys::synchronised, keys::keyLabels), keys::synchronised.end());
    EXPECT_NE(std::ranges::find(keys::backup, keys::keyLabels), keys::backup.end());
    EXPECT_EQ(std::set(keys::synchronised.begin(), keys::synchronised.end()).size(), keys::synchronised.size());
    EXPECT_EQ(std::set(keys::backup.begin(), keys::backup.end()).size(), keys::backup.size());
}

PlistData bytes(std::string_view text) { return PlistData(text.begin(), text.end()); }

TEST(Settings, EveryBackedUpOrSynchronisedKeyRefusesValuesItCannotHold)
{
    // Nested as deep as a property list may be: no key holds such a value.
    platform::PlistValue nested = platform::PlistArray{};
    for (int depth = 1; depth < 250; ++depth)
        nested = platform::PlistArray{nested};
    const std::vector<platform::PlistValue> refused{nested, std::string("sym\0bols", 8), PlistDictionary{}};
    std::set<std::string_view> checked(keys::backup.begin(), keys::backup.end());
    checked.insert(keys::synchronised.begin(), keys::synchronised.end());
    for (auto key : checked) {
        for (const auto& value : refused)
            EXPECT_TRUE(storedValueProblem(key, value)) << key << " " << platform::describe(value).substr(0, 20);
    }

    EXPECT_FALSE(storedValueProblem(keys::keyLabels, "symbols"));
    EXPECT_FALSE(storedValueProblem(keys::keyLabels, "words"));
    EXPECT_EQ(storedValueProblem(keys::keyLabels, 42), "not one of \"words\", \"symbols\"");
    EXPECT_TRUE(storedValueProblem(keys::keyLabels, "Ruby"));
    EXPECT_TRUE(storedValueProblem(keys::keyLabels, true));
}

TEST(Settings, LaunchSnapshotOfAFreshInstallation)
{
    fake::MemorySettingsDomain domain;
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });

    domain.set(keys::globalHotkey, bytes(R"({"keyCode":40,"carbonModifiers":2304,"displayString":"⌥⌘K"})"));
    logLaunchSnapshot(domain, log);
    EXPECT_TRUE(sink.contains(platform::LogCategory::settings, platform::LogLevel::notice,
                              "Settings snapshot at launch: globalHotkey=Alt+Super+K"))
        << "keys at their defaults are not listed";
    std::string defaults = "Settings at their defaults: ";
    for (auto key : keys::launchSnapshot)
        defaults += std::string(key) + ", ";
    defaults.resize(defaults.size() - 2);
    EXPECT_TRUE(sink.contains(platform::LogCategory::settings, platform::LogLevel::debug, defaults));

    sink.clear();
    domain.set(keys::globalHotkey, bytes(R"({"displayString":"⌥⌘K"})"));
    domain.set(keys::menuBarIconStyle, 2);
    domain.set(keys::showAllMenuItems, true);
    logLaunchSnapshot(domain, log);
    auto line = sink.messages(platform::LogCategory::settings).at(0);
    EXPECT_THAT(line, testing::StartsWith("Settings snapshot at launch: "));
    EXPECT_THAT(line, testing::HasSubstr("showAllMenuItems=true, "));
    EXPECT_THAT(line, testing::Not(testing::HasSubstr("<unset>, ")));
    EXPECT_THAT(line, testing::EndsWith("menuBarIconStyle=2, globalHotkey=<unset>"));
}

} // namespace
} // namespace hb
