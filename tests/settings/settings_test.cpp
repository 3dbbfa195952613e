#include "settings/settings.h"

#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "settings/settings_keys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace hb {
namespace {

using platform::PlistValue;

TEST(Settings, StoredValuesOfTheWrongTypeOrRangeReadAsAbsentAndNumbersAsTheirValue)
{
    fake::MemorySettingsDomain domain;
    Settings settings(domain);
    domain.set(keys::menuBarIconStyle, 7);
    domain.set(keys::popupDisplayMode, -1);
    domain.set(keys::appIconVariant, "5");
    domain.set(keys::doubleTapModifier, "Command");
    domain.set(keys::keyLabels, "glyphs");
    domain.set(keys::automaticUpdateChecks, 0);
    domain.set(keys::showAllMenuItems, 1);
    EXPECT_TRUE(settings.automaticUpdateChecks());
    EXPECT_FALSE(settings.flag(keys::showAllMenuItems));
    EXPECT_EQ(settings.popupDisplayMode(), PopupDisplayMode::activeAppWindow);
    EXPECT_EQ(settings.menuBarIconStyle(), MenuBarIconStyle::keyboard);
    EXPECT_EQ(settings.appIconVariant(), AppIconVariant::command);
    EXPECT_EQ(settings.doubleTapModifier(), DoubleTapModifier::option);
    EXPECT_EQ(settings.keyLabels(), notation::KeyLabels::words);

    domain.set(keys::automaticUpdateChecks, false);
    domain.set(keys::menuBarIconStyle, 3.0); // numbers are read whatever their stored width
    domain.set(keys::appIconVariant, "2");   // and from text
    domain.set(keys::popupOpenCount, " +12 shows");
    domain.set(keys::popupTipIndex, "99999999999999999999");
    settings.setDoubleTapModifier(DoubleTapModifier::control);
    settings.setKeyLabels(notation::KeyLabels::symbols);
    EXPECT_FALSE(settings.automaticUpdateChecks());
    EXPECT_EQ(settings.menuBarIconStyle(), MenuBarIconStyle::control);
    EXPECT_EQ(settings.appIconVariant(), AppIconVariant::control);
    EXPECT_EQ(settings.popupOpenCount(), 12);
    EXPECT_EQ(settings.popupTipIndex(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(*domain.object(keys::doubleTapModifier), PlistValue("control"));
    EXPECT_EQ(*domain.object(keys::keyLabels), PlistValue("symbols"));
    EXPECT_EQ(settings.keyLabels(), notation::KeyLabels::symbols);
    domain.set(keys::popupOpenCount, "-3");
    domain.set(keys::popupTipIndex, "none");
    EXPECT_EQ(settings.popupOpenCount(), -3);
    EXPECT_EQ(settings.popupTipIndex(), 0);
}

TEST(Settings, EveryBackedUpOrSynchronisedKeyRefusesValuesItCannotHold)
{
    // Nested as deep as a property list may be: no key holds such a value.
    PlistValue nested = platform::PlistArray{};
    for (int depth = 1; depth < 250; ++depth)
        nested = platform::PlistArray{nested};
    std::set<std::string_view> checked(keys::backup.begin(), keys::backup.end());
    checked.insert(keys::synchronised.begin(), keys::synchronised.end());
    for (auto key : checked) {
        for (const auto& value :
             {nested, PlistValue(std::string("sym\0bols", 8)), PlistValue(platform::PlistDictionary{})})
            EXPECT_TRUE(storedValueProblem(key, value)) << key << " " << platform::describe(value).substr(0, 20);
    }
    EXPECT_FALSE(storedValueProblem(keys::keyLabels, "symbols"));
    EXPECT_EQ(storedValueProblem(keys::keyLabels, 42), "not one of \"words\", \"symbols\"");
    EXPECT_TRUE(storedValueProblem(keys::keyLabels, "Ruby"));
}

TEST(Settings, TheLaunchSnapshotListsTheValuesSetAndTheRestOnlyForDebugging)
{
    fake::MemorySettingsDomain domain;
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return false; });
    const std::string json = R"({"keyCode":40,"carbonModifiers":2304,"displayString":"⌥⌘K"})";
    domain.set(keys::globalHotkey, platform::PlistData(json.begin(), json.end()));
    logLaunchSnapshot(domain, log);
    EXPECT_TRUE(sink.contains(platform::LogCategory::settings, platform::LogLevel::notice,
                              "Settings snapshot at launch: globalHotkey=Alt+Super+K"));

    sink.clear();
    domain.remove(keys::globalHotkey);
    domain.set(keys::menuBarIconStyle, 2);
    domain.set(keys::showAllMenuItems, true);
    logLaunchSnapshot(domain, log);
    const auto lines = sink.messages(platform::LogCategory::settings);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], testing::HasSubstr("showAllMenuItems=true, "));
    EXPECT_THAT(lines[0], testing::EndsWith("menuBarIconStyle=2, globalHotkey=<unset>"));
    EXPECT_THAT(lines[1], testing::StartsWith("Settings at their defaults: "));
    EXPECT_THAT(lines[1], testing::Not(testing::HasSubstr("menuBarIconStyle")));
    EXPECT_THAT(lines[1], testing::Not(testing::EndsWith(", ")));
}

} // namespace
} // namespace hb
