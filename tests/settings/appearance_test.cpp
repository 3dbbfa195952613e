#include "settings/app_icon.h"
#include "settings/login_item_manager.h"
#include "settings/theme_settings.h"

#include "fake/fake_app_presence.h"
#include "fake/fake_login_item.h"
#include "fake/memory_log.h"
#include "fake/memory_settings_domain.h"
#include "settings/settings_keys.h"
#include "support/temporary_folder.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <functional>

namespace hb {
namespace {

using platform::PlistData;
using platform::PlistDictionary;

PlistData text(std::string_view text)
{
    return PlistData(text.begin(), text.end());
}

// Colours as the other desktop archives them, among them one with a custom colour space this side does not use.
const std::filesystem::path colours = HINTBOARD_SOURCE_DIR "/tests/settings/data/colours";

TEST(ColorArchive, RoundTripsInTheOtherDesktopsLayoutAndReadsItsSpaces)
{
    const RgbColor orange{1.0, 0.5, 0.25};
    auto archive = archiveColor(orange);
    ASSERT_TRUE(archive);
    EXPECT_EQ(unarchiveColor(*archive), orange);
    const auto parsed = [](const PlistData& bytes) {
        return platform::parsePropertyList(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    };
    EXPECT_EQ(parsed(*archive), parsed(text(test::readFile(colours / "written.plist"))));

    // Grey spaces; components in a colour space of their own win over the converted RGB.
    const std::pair<const char*, RgbColor> read[] = {
        {"other-desktop.plist", {0.9882352941, 0.7725490196, 0.1294117647, 1}},
        {"calibrated-rgb.plist", {0, 0, 1, 0.5}},
        {"calibrated-grey.plist", {0.5, 0.5, 0.5, 0.25}},
        {"device-grey.plist", {1, 1, 1, 1}},
        {"components-over-rgb.plist", {0.25, 0.5, 0.75, 1}},
    };
    for (const auto& [file, colour] : read)
        EXPECT_EQ(unarchiveColor(text(test::readFile(colours / file))), colour) << file;
}

// Cut, not an archive, a dangling root, a font, a catalogue colour, components of the wrong count, kind or type.
TEST(ColorArchive, AnythingElseReadsAsNone)
{
    int files = 0;
    for (const auto& file : std::filesystem::directory_iterator(colours / "refused")) {
        EXPECT_FALSE(unarchiveColor(text(test::readFile(file.path())))) << file.path();
        ++files;
    }
    EXPECT_EQ(files, 10);
    EXPECT_FALSE(archiveColor(RgbColor{std::nan(""), 0, 0}));
}

TEST(ColorArchive, EveryColourOfARealTerminalFileDecodes)
{
    const auto bytes = test::readTestData("preferences/terminal-colours.plist");
    if (!bytes)
        GTEST_SKIP() << "no real preference file";
    auto root = platform::parsePropertyList(*bytes);
    ASSERT_TRUE(root);
    int colours = 0;
    std::function<void(const platform::PlistValue&)> visit = [&](const platform::PlistValue& value) {
        if (const auto* dictionary = value.as<PlistDictionary>()) {
            for (const auto& entry : *dictionary)
                visit(entry.second);
        } else if (const auto* data = value.as<PlistData>()) {
            const std::string_view archive(reinterpret_cast<const char*>(data->data()), data->size());
            if (archive.find("NSColor") != std::string_view::npos
                && archive.find("NSColorSpace") != std::string_view::npos) {
                ++colours;
                EXPECT_TRUE(unarchiveColor(*data)) << "colour " << colours;
            }
        }
    };
    visit(*root);
    EXPECT_EQ(colours, 47);
    // "Basic" keeps its background in Display P3 components.
    const auto& settings = *root->as<PlistDictionary>()->at("Window Settings").as<PlistDictionary>();
    const auto background = [&](const char* name) {
        return unarchiveColor(*settings.at(name).as<PlistDictionary>()->at("BackgroundColor").as<PlistData>());
    };
    EXPECT_NEAR(background("Basic").value().red, 0.1137235239, 1e-9);
    EXPECT_EQ(background("Silver Aerogel"), (RgbColor{0.5, 0.5, 0.5, 0.5}));
}

TEST(ThemeSettings, CustomColourOrTheSystemAccentColour)
{
    fake::MemorySettingsDomain settings;
    RgbColor system{0, 0.5, 1};
    ThemeSettings theme(settings, [&] { return system; });
    int changes = 0;
    theme.addObserver([&] { ++changes; });
    system = RgbColor{1, 0, 0};
    EXPECT_EQ(theme.effectiveColor(), system); // follows later changes

    theme.setCustomColor(RgbColor{0.25, 0.25, 0.25});
    theme.setCustomColor(RgbColor{0.25, 0.25, 0.25});
    EXPECT_EQ(changes, 1);
    theme.save();
    EXPECT_EQ(ThemeSettings(settings, [&] { return system; }).customColor(), (RgbColor{0.25, 0.25, 0.25}));
    theme.setCustomColor(std::nullopt);
    theme.save();
    EXPECT_FALSE(settings.object(keys::keyAccentColor));
    theme.adoptEffectiveColor();
    EXPECT_EQ(theme.customColor(), system);
    EXPECT_TRUE(settings.object(keys::keyAccentColor));
    settings.set(keys::keyAccentColor, text("not an archive"));
    EXPECT_FALSE(ThemeSettings(settings, [&] { return system; }).customColor());
}

TEST(AppIcon, DockIconStaysUntilEveryWindowClosedAndVariantsNeedTheirImages)
{
    fake::MemorySettingsDomain settings;
    fake::FakeAppPresence presence;
    DockIconManager dock(presence, settings);
    settings.set(keys::appIconVariant, 2);
    dock.show();
    dock.show();
    EXPECT_EQ(presence.icon(), "AppIconControl");
    dock.hide();
    EXPECT_TRUE(presence.isRegular());
    dock.hide();
    dock.hide();
    EXPECT_FALSE(presence.isRegular());
    EXPECT_EQ(dock.openCount(), 0) << "never negative";

    presence.availableImages.erase("AppIconOption");
    applyAppIconVariant(AppIconVariant::option, presence);
    EXPECT_FALSE(presence.icon()) << "its image is missing: the program's own";
    applyAppIconVariant(AppIconVariant::control, presence);
    applyAppIconVariant(AppIconVariant::command, presence);
    EXPECT_FALSE(presence.icon());
}

TEST(LoginItemManager, ChangesOnlyWhenDifferentAndLogsFailures)
{
    fake::FakeLoginItemService service;
    fake::MemoryLogSink sink;
    platform::Log log(sink, [] { return true; });
    LoginItemManager loginItem(service, log);
    EXPECT_FALSE(loginItem.setEnabled(false));
    EXPECT_EQ(service.changeRequests, 0);
    EXPECT_TRUE(loginItem.setEnabled(true));
    service.failure = "no autostart folder";
    EXPECT_TRUE(loginItem.setEnabled(false)); // the real state
    EXPECT_TRUE(sink.contains(platform::LogCategory::settings, platform::LogLevel::error,
                              "Login item toggle failed: no autostart folder"));
}

} // namespace
} // namespace hb
