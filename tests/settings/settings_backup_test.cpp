#include "settings/settings_backup.h"

#include "settings/settings_keys.h"
#include "support/settings_model_fakes.h"
#include "support/temporary_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace hb {
namespace {

namespace fs = std::filesystem;
using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

PlistDictionary parsedDictionary(std::string_view bytes)
{
    return *platform::parsePropertyList(bytes)->as<PlistDictionary>();
}
std::string xml(const PlistValue& value)
{
    return *platform::serializePropertyList(value, platform::PlistFormat::xml);
}

class SettingsBackupTest : public testing::Test, public test::SettingsModelFakes {
protected:
    // A machine with settings of its own, several of them backup keys.
    void fillSettings(platform::SettingsDomain& domain)
    {
        saveHotkey(GlobalHotkey{96, 0x300, "⇧⌘F5"}, domain);
        domain.set(keys::doubleTapModifier, "control");
        domain.set(keys::menuBarIconStyle, 3);
        domain.set(keys::appIconVariant, 2);
        domain.set(keys::pinnedShortcuts, PlistArray{"com.example|Save|⌘S"});
        domain.set(keys::ignoreList, encodeIgnoreData(IgnoreData{{"Quit"}, {}, {}, {}, {}}));
        domain.set(keys::keyAccentColor, *archiveColor(RgbColor{1, 0, 0, 1}));
        domain.set(keys::automaticUpdateChecks, false);
    }

    FavouritesStore favourites{settings};
    IgnoreListStore ignoreList{settings};
    ThemeSettings theme{settings, [] { return RgbColor{0, 0, 1, 1}; }};
    SettingsBackup backup{{settings, runtime, favourites, ignoreList, theme, presence, notifications, log, "2.4.1"}};
    test::TemporaryFolder temporary;
    const fs::path& folder = temporary.path();
};

TEST_F(SettingsBackupTest, ExportHoldsTheDescriptiveEntriesAndTheStoredBackupKeys)
{
    fake::MemorySettingsDomain empty;
    const auto now = platform::TimePoint(platform::Seconds(1740837909.75)); // 2025-03-01 14:05:09.75 UTC
    auto entries = parsedDictionary(*exportSettings(empty, now, ""));
    EXPECT_EQ(entries, (PlistDictionary{
                           {"__version", 1}, {"__exportedAt", "2025-03-01T14:05:09Z"}, {"__hintboardVersion", ""}}));

    settings.set(keys::popupDisplayMode, 2);
    settings.set(keys::showAllMenuItems, true);
    entries = parsedDictionary(*exportSettings(settings, now, "2.4.1"));
    EXPECT_EQ(entries.at("showAllMenuItems"), PlistValue(true));
    EXPECT_FALSE(entries.contains("popupDisplayMode"));
}

TEST_F(SettingsBackupTest, ImportReplacesTheBackupKeysOnly)
{
    fake::MemorySettingsDomain other;
    fillSettings(other);
    auto entries = parsedDictionary(*exportSettings(other, runtime.now(), "2.4.1"));
    entries.insert_or_assign("__version", 2);
    entries.insert_or_assign("iCloudSyncEnabled", true); // not a backup key: ignored

    settings.set(keys::showAllMenuItems, true); // absent from the file: removed
    settings.set(keys::popupDisplayMode, 1);    // not a backup key: survives
    ASSERT_TRUE(importSettings(xml(entries), settings).succeeded);
    for (auto key : keys::backup)
        EXPECT_EQ(settings.object(key), other.object(key)) << key;
    EXPECT_EQ(settings.integer(keys::popupDisplayMode), 1);
    EXPECT_FALSE(settings.object(keys::iCloudSyncEnabled));
}

TEST_F(SettingsBackupTest, BadInputFailsAndChangesNothing)
{
    fillSettings(settings);
    const auto before = settings.allValues();

    for (const std::string& bytes :
         {xml(PlistArray{"globalHotkey"}), std::string("not a property list"), std::string()})
        EXPECT_FALSE(importSettings(bytes, settings).succeeded);

    const fs::path fifo = folder / "fifo.hintboardsettings";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path large = folder / "large.hintboardsettings";
    test::writeFile(large, std::string(maxBackupFileBytes + 1, ' '));
    for (const auto& path : {folder, fifo, large, folder / "missing.hintboardsettings"}) {
        const auto result = backup.importFrom(path);
        EXPECT_FALSE(result.succeeded) << path;
        EXPECT_NE(result.message.find(path.filename().string()), std::string::npos) << result.message;
    }
    EXPECT_EQ(settings.allValues(), before);
    EXPECT_EQ(sink.messages(platform::LogCategory::settings).size(), 4u);
    EXPECT_TRUE(drainPosted().empty());

    EXPECT_FALSE(backup.exportTo(folder / "missing" / "x.hintboardsettings").succeeded);
}

TEST_F(SettingsBackupTest, ValuesOfTheWrongKindAreSkippedByNameAndAllWrongAppliesNothing)
{
    fillSettings(settings);
    const auto before = settings.allValues();
    const std::string nulTitle = R"({"globalTitles":["Print\u0000"],"perApp":{},"appDisplayNames":{}})";
    const PlistDictionary allWrong{{"ignoreList", "Print*"},
                                   {"menuBarIconStyle", 7},
                                   {"showAllMenuItems", "yes"},
                                   {"pinnedShortcuts", PlistArray{1, 2}},
                                   {"globalHotkey", platform::PlistData(nulTitle.begin(), nulTitle.end())}};
    auto result = importSettings(xml(allWrong), settings);
    EXPECT_FALSE(result.succeeded);
    EXPECT_NE(result.message.find("pinnedShortcuts (a list holding something other than texts)"), std::string::npos);
    EXPECT_EQ(settings.allValues(), before);

    // One right value among wrong ones: it applies, the wrong keys keep theirs.
    auto mixed = allWrong;
    mixed.emplace("wrapLongSections", true);
    result = importSettings(xml(mixed), settings);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.skipped.size(), 5u);
    EXPECT_TRUE(settings.boolean(keys::wrapLongSections));
    EXPECT_EQ(settings.integer(keys::menuBarIconStyle), 3);
    EXPECT_FALSE(settings.object(keys::doubleTapModifier)); // absent from the file

    // A NUL inside stored rules is refused, not cut.
    result = importSettings(xml(PlistDictionary{{"ignoreList", platform::PlistData(nulTitle.begin(), nulTitle.end())},
                                                {"wrapLongSections", false}}),
                            settings);
    EXPECT_EQ(result.skipped, std::vector<std::string>{"ignoreList (a text holding a NUL character)"});
    EXPECT_EQ(settings.object(keys::ignoreList), before.at("ignoreList"));
}

TEST_F(SettingsBackupTest, ExportReplacesTheTargetWholeAndRefusesAnythingButAFileAtOnce)
{
    const fs::path target = folder / "backup.hintboardsettings";
    test::writeFile(target, "an older backup");
    const fs::path link = folder / "link.hintboardsettings";
    fs::create_symlink(target, link);
    ASSERT_TRUE(backup.exportTo(link).succeeded);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(parsedDictionary(test::readFile(target)).contains("__version"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);

    // A FIFO nobody reads: refused without opening it, so nothing waits.
    const fs::path fifo = folder / "fifo.hintboardsettings";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& path : {fifo, folder})
        EXPECT_NE(backup.exportTo(path).message.find("not a regular file"), std::string::npos) << path;
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

TEST_F(SettingsBackupTest, ImportingAFileRefreshesTheStoresAndTellsTheIconAndChannels)
{
    fake::MemorySettingsDomain other;
    fillSettings(other);
    SettingsBackup otherBackup{{other, runtime, favourites, ignoreList, theme, presence, notifications, log, ""}};
    const fs::path path = folder / std::string(backupDefaultFileName);
    ASSERT_TRUE(otherBackup.exportTo(path).succeeded);

    ASSERT_TRUE(backup.importFrom(path).succeeded);
    EXPECT_EQ(favourites.pinned(), (std::set<std::string>{"com.example|Save|⌘S"}));
    EXPECT_EQ(ignoreList.globalTitles(), std::vector<std::string>{"Quit"});
    EXPECT_EQ(theme.customColor(), (RgbColor{1, 0, 0, 1}));
    EXPECT_EQ(presence.icon(), "AppIconControl");
    EXPECT_EQ(drainPosted(), (std::vector<std::string>{std::string(notifications::menuBarIconStyleChanged),
                                                       std::string(notifications::receiveBetaUpdatesChanged),
                                                       std::string(notifications::receiveAlphaUpdatesChanged)}));

    // A file of an empty machine clears every backup key and leaves the stores empty.
    fake::MemorySettingsDomain empty;
    test::writeFile(path, *exportSettings(empty, runtime.now(), ""));
    ASSERT_TRUE(backup.importFrom(path).succeeded);
    for (auto key : keys::backup)
        EXPECT_FALSE(settings.object(key)) << key;
    EXPECT_TRUE(favourites.pinned().empty());
    EXPECT_TRUE(ignoreList.globalTitles().empty());
    EXPECT_FALSE(theme.customColor());
    EXPECT_FALSE(presence.icon());
}

} // namespace
} // namespace hb
