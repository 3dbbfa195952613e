#include "settings/app_icon.h"
#include "settings/login_item_manager.h"
#include "settings/theme_settings.h"

#include "platform/fake/fake_app_presence.h"
#include "platform/fake/fake_login_item.h"
#include "platform/fake/memory_log.h"
#include "platform/fake/memory_settings_domain.h"
#include "settings/settings_keys.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <functional>

namespace hb {
namespace {

using platform::PlistArray;
using platform::PlistData;
using platform::PlistDictionary;
using platform::PlistUid;

// An sRGB colour as the other desktop archives it, with the members this
// side does not use (components, custom colour space) and the classes in
// another order.
const PlistData otherDesktopArchive{
    0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd4, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x0a, 0x59,
    0x24, 0x61, 0x72, 0x63, 0x68, 0x69, 0x76, 0x65, 0x72, 0x58, 0x24, 0x76, 0x65, 0x72, 0x73, 0x69, 0x6f, 0x6e,
    0x54, 0x24, 0x74, 0x6f, 0x70, 0x58, 0x24, 0x6f, 0x62, 0x6a, 0x65, 0x63, 0x74, 0x73, 0x5f, 0x10, 0x0f, 0x4e,
    0x53, 0x4b, 0x65, 0x79, 0x65, 0x64, 0x41, 0x72, 0x63, 0x68, 0x69, 0x76, 0x65, 0x72, 0x12, 0x00, 0x01, 0x86,
    0xa0, 0xd1, 0x08, 0x09, 0x54, 0x72, 0x6f, 0x6f, 0x74, 0x80, 0x01, 0xa5, 0x0b, 0x0c, 0x17, 0x1b, 0x20, 0x55,
    0x24, 0x6e, 0x75, 0x6c, 0x6c, 0xd5, 0x0d, 0x0e, 0x0f, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x5c, 0x4e,
    0x53, 0x43, 0x6f, 0x6c, 0x6f, 0x72, 0x53, 0x70, 0x61, 0x63, 0x65, 0x55, 0x4e, 0x53, 0x52, 0x47, 0x42, 0x5c,
    0x4e, 0x53, 0x43, 0x6f, 0x6d, 0x70, 0x6f, 0x6e, 0x65, 0x6e, 0x74, 0x73, 0x5f, 0x10, 0x12, 0x4e, 0x53, 0x43,
    0x75, 0x73, 0x74, 0x6f, 0x6d, 0x43, 0x6f, 0x6c, 0x6f, 0x72, 0x53, 0x70, 0x61, 0x63, 0x65, 0x56, 0x24, 0x63,
    0x6c, 0x61, 0x73, 0x73, 0x10, 0x01, 0x4f, 0x10, 0x27, 0x30, 0x2e, 0x39, 0x38, 0x38, 0x32, 0x33, 0x35, 0x32,
    0x39, 0x34, 0x31, 0x20, 0x30, 0x2e, 0x37, 0x37, 0x32, 0x35, 0x34, 0x39, 0x30, 0x31, 0x39, 0x36, 0x20, 0x30,
    0x2e, 0x31, 0x32, 0x39, 0x34, 0x31, 0x31, 0x37, 0x36, 0x34, 0x37, 0x00, 0x4f, 0x10, 0x28, 0x30, 0x2e, 0x39,
    0x38, 0x38, 0x32, 0x33, 0x35, 0x32, 0x39, 0x34, 0x31, 0x20, 0x30, 0x2e, 0x37, 0x37, 0x32, 0x35, 0x34, 0x39,
    0x30, 0x31, 0x39, 0x36, 0x20, 0x30, 0x2e, 0x31, 0x32, 0x39, 0x34, 0x31, 0x31, 0x37, 0x36, 0x34, 0x37, 0x20,
    0x31, 0x80, 0x02, 0x80, 0x04, 0xd2, 0x18, 0x11, 0x19, 0x1a, 0x54, 0x4e, 0x53, 0x49, 0x44, 0x10, 0x07, 0x80,
    0x03, 0xd2, 0x1c, 0x1d, 0x0d, 0x1e, 0x5a, 0x24, 0x63, 0x6c, 0x61, 0x73, 0x73, 0x6e, 0x61, 0x6d, 0x65, 0x58,
    0x24, 0x63, 0x6c, 0x61, 0x73, 0x73, 0x65, 0x73, 0xa2, 0x0d, 0x1f, 0x58, 0x4e, 0x53, 0x4f, 0x62, 0x6a, 0x65,
    0x63, 0x74, 0xd2, 0x1c, 0x1d, 0x21, 0x22, 0x57, 0x4e, 0x53, 0x43, 0x6f, 0x6c, 0x6f, 0x72, 0xa2, 0x21, 0x1f,
    0x00, 0x08, 0x00, 0x11, 0x00, 0x1b, 0x00, 0x24, 0x00, 0x29, 0x00, 0x32, 0x00, 0x44, 0x00, 0x49, 0x00, 0x4c,
    0x00, 0x51, 0x00, 0x53, 0x00, 0x59, 0x00, 0x5f, 0x00, 0x6a, 0x00, 0x77, 0x00, 0x7d, 0x00, 0x8a, 0x00, 0x9f,
    0x00, 0xa6, 0x00, 0xa8, 0x00, 0xd2, 0x00, 0xfd, 0x00, 0xff, 0x01, 0x01, 0x01, 0x06, 0x01, 0x0b, 0x01, 0x0d,
    0x01, 0x0f, 0x01, 0x14, 0x01, 0x1f, 0x01, 0x28, 0x01, 0x2b, 0x01, 0x34, 0x01, 0x39, 0x01, 0x41, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x23, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x44
};

PlistData binary(const platform::PlistValue& value)
{
    auto bytes = platform::serializePropertyList(value, platform::PlistFormat::binary);
    return PlistData(bytes->begin(), bytes->end());
}

PlistDictionary archiveOf(PlistDictionary color, std::string className = "NSColor")
{
    color["$class"] = PlistUid{2};
    return PlistDictionary{
        {"$archiver", "NSKeyedArchiver"},
        {"$version", 100000},
        {"$top", PlistDictionary{{"root", PlistUid{1}}}},
        {"$objects", PlistArray{"$null", std::move(color),
                                PlistDictionary{{"$classname", className}, {"$classes", PlistArray{className, "NSObject"}}}}},
    };
}

PlistData rgbText(std::string_view text) { return PlistData(text.begin(), text.end()); }

TEST(ColorArchive, RoundTripsInTheOtherDesktopsLayout)
{
    const RgbColor orange{1.0, 0.5, 0.25};
    auto archive = archiveColor(orange);
    ASSERT_TRUE(archive);
    EXPECT_EQ(unarchiveColor(*archive), orange);

    auto root = platform::parsePropertyList(std::string_view(reinterpret_cast<const char*>(archive->data()), archive->size()));
    EXPECT_EQ(root, platform::PlistValue(archiveOf(
                        {{"NSColorSpace", 2}, {"NSRGB", rgbText(std::string_view("1 0.5 0.25\0", 11))}})));

    auto decoded = unarchiveColor(otherDesktopArchive);
    ASSERT_TRUE(decoded);
    EXPECT_DOUBLE_EQ(decoded->red, 0.9882352941);
    EXPECT_DOUBLE_EQ(decoded->green, 0.7725490196);
    EXPECT_DOUBLE_EQ(decoded->blue, 0.1294117647);
    EXPECT_EQ(decoded->alpha, 1.0);

    auto translucent = unarchiveColor(binary(archiveOf({{"NSColorSpace", 1}, {"NSRGB", rgbText("0 0 1 0.5")}})));
    EXPECT_EQ(translucent, (RgbColor{0, 0, 1, 0.5}));

    // Grey spaces; components in a colour space of their own win over the converted RGB.
    EXPECT_EQ(unarchiveColor(binary(archiveOf({{"NSColorSpace", 3}, {"NSWhite", rgbText("0.5 0.25")}}))),
              (RgbColor{0.5, 0.5, 0.5, 0.25}));
    EXPECT_EQ(unarchiveColor(binary(archiveOf({{"NSColorSpace", 4}, {"NSWhite", rgbText("1")}}))), (RgbColor{1, 1, 1, 1}));
    EXPECT_EQ(unarchiveColor(binary(archiveOf(
                  {{"NSColorSpace", 1}, {"NSRGB", rgbText("0.08 0.08 0.08")}, {"NSComponents", rgbText("0.25 0.5 0.75 1")}}))),
              (RgbColor{0.25, 0.5, 0.75, 1}));
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
            if (archive.find("NSColor") != std::string_view::npos && archive.find("NSColorSpace") != std::string_view::npos) {
                ++colours;
                EXPECT_TRUE(unarchiveColor(*data)) << "colour " << colours;
            }
        }
    };
    visit(*root);
    EXPECT_EQ(colours, 47);

    // "Basic" keeps its background in Display P3 components.
    const auto& settings = *root->as<PlistDictionary>()->at("Window Settings").as<PlistDictionary>();
    auto background = unarchiveColor(*settings.at("Basic").as<PlistDictionary>()->at("BackgroundColor").as<PlistData>());
    ASSERT_TRUE(background);
    EXPECT_NEAR(background->red, 0.1137235239, 1e-9);
    auto silver = unarchiveColor(*settings.at("Silver Aerogel").as<PlistDictionary>()->at("BackgroundColor").as<PlistData>());
    EXPECT_EQ(silver, (RgbColor{0.5, 0.5, 0.5, 0.5}));
}

TEST(ColorArchive, AnythingElseReadsAsNone)
{
    EXPECT_FALSE(unarchiveColor({}));
    EXPECT_FALSE(unarchiveColor(rgbText("garbage")));
    EXPECT_FALSE(unarchiveColor(PlistData(otherDesktopArchive.begin(), otherDesktopArchive.begin() + 200)));
    EXPECT_FALSE(unarchiveColor(binary(archiveOf({{"NSColorSpace", 2}, {"NSRGB", rgbText("1 0 0")}}, "NSFont"))));
    EXPECT_FALSE(unarchiveColor(binary(archiveOf({{"NSColorSpace", 6}, {"NSCatalogName", "System"}}))));
    EXPECT_FALSE(unarchiveColor(binary(archiveOf({{"NSColorSpace", 3}, {"NSWhite", rgbText("0.5 1 1")}}))));
    EXPECT_FALSE(unarchiveColor(binary(archiveOf({{"NSColorSpace", 2}, {"NSRGB", rgbText("1 zero 0")}}))));
    EXPECT_FALSE(unarchiveColor(binary(archiveOf({{"NSColorSpace", 2}, {"NSRGB", rgbText("1 0")}}))));
    EXPECT_FALSE(unarchiveColor(binary(archiveOf({{"NSColorSpace", 2}, {"NSRGB", "1 0 0"}}))));
    auto dangling = archiveOf({{"NSColorSpace", 2}, {"NSRGB", rgbText("1 0 0")}});
    dangling["$top"] = PlistDictionary{{"root", PlistUid{9}}};
    EXPECT_FALSE(unarchiveColor(binary(dangling)));
    EXPECT_FALSE(archiveColor(RgbColor{std::nan(""), 0, 0}));
}

TEST(ThemeSettings, CustomColourOrTheSystemAccentColour)
{
    fake::MemorySettingsDomain settings;
    RgbColor system{0, 0.5, 1};
    ThemeSettings theme(settings, [&] { return system; });
    int changes = 0;
    theme.addObserver([&] { ++changes; });

    EXPECT_FALSE(theme.customColor());
    EXPECT_EQ(theme.effectiveColor(), system);
    system = RgbColor{1, 0, 0};
    EXPECT_EQ(theme.effectiveColor(), system);  // follows later changes

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

    settings.set(keys::keyAccentColor, rgbText("not an archive"));
    EXPECT_FALSE(ThemeSettings(settings, [&] { return system; }).customColor());
}

TEST(DockIconManager, IconStaysUntilEveryWindowClosedAndCountNeverGoesNegative)
{
    fake::MemorySettingsDomain settings;
    fake::FakeAppPresence presence;
    DockIconManager dock(presence, settings);
    settings.set(keys::appIconVariant, 2);

    dock.show();
    dock.show();
    EXPECT_TRUE(presence.isRegular());
    EXPECT_EQ(presence.icon(), "AppIconControl");
    dock.hide();
    EXPECT_TRUE(presence.isRegular());
    dock.hide();
    EXPECT_FALSE(presence.isRegular());
    dock.hide();
    EXPECT_EQ(dock.openCount(), 0);
    dock.show();
    EXPECT_TRUE(presence.isRegular());
    EXPECT_EQ(dock.openCount(), 1);
}

TEST(AppIcon, VariantsAndMissingImages)
{
    fake::FakeAppPresence presence;
    applyAppIconVariant(AppIconVariant::option, presence);
    EXPECT_EQ(presence.icon(), "AppIconOption");
    applyAppIconVariant(AppIconVariant::command, presence);
    EXPECT_FALSE(presence.icon());

    applyAppIconVariant(AppIconVariant::control, presence);
    presence.availableImages.clear();
    applyAppIconVariant(AppIconVariant::option, presence);
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
    EXPECT_TRUE(loginItem.isEnabled());

    service.failure = "no autostart folder";
    EXPECT_TRUE(loginItem.setEnabled(false));  // the real state
    EXPECT_TRUE(sink.contains(platform::LogCategory::settings, platform::LogLevel::error,
                              "Login item toggle failed: no autostart folder"));
}

} // namespace
} // namespace hb
