#include "sources/third_party_shortcut_registry.h"

#include "fake/memory_log.h"
#include "support/model_builders.h"
#include "test_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace hb {
namespace {

using platform::LogCategory;
using platform::LogLevel;
using testing::ElementsAre;

std::string registration(std::string_view appName, std::string_view shortcuts = "")
{
    return fmt::format(R"({{"appName": "{}", "shortcuts": [{}]}})", appName, shortcuts);
}

class ThirdPartyShortcutRegistryTest : public testing::Test {
protected:
    std::filesystem::path integrations() const { return data.path() / "Hintboard/Integrations"; }
    void write(std::string_view name, std::string_view content) const
    {
        test::writeFile(integrations() / name, content);
    }

    std::vector<std::string> sectionTitles() const
    {
        std::vector<std::string> titles;
        for (const auto& section : registry.loadSections())
            titles.push_back(section.title);
        return titles;
    }
    bool logged(const std::string& message) const
    {
        return sink.contains(LogCategory::scraper, LogLevel::info, message);
    }

    test::TemporaryFolder data;
    fake::MemoryLogSink sink;
    platform::Log log{sink, [] { return false; }};
    ThirdPartyShortcutRegistry registry{UserFolders{{}, data.path()}, log};
};

TEST_F(ThirdPartyShortcutRegistryTest, JsonFilesInNameOrderAndAMalformedFileCostsOnlyItself)
{
    EXPECT_TRUE(registry.loadSections().empty());
    EXPECT_FALSE(ThirdPartyShortcutRegistry(UserFolders{}, log).integrationsDirectory());
    EXPECT_TRUE(sink.records().empty()) << "a missing folder is no problem";

    write("b.json", registration("B", R"({"title": "Go", "keys": "⌘G"})"));
    write("a.json", registration("A", R"({"title": "No keys"})"));
    write("Z.json", registration("Z")); // upper case sorts first
    write(".hidden.json", "{\"appName\": \"Hidden\", \"shortcuts\": [");
    for (const char* skipped : {"c.JSON", "d.txt", "e.json.bak"})
        write(skipped, registration(skipped));

    EXPECT_EQ(sectionTitles(), (std::vector<std::string>{"Z", "B"}));
    EXPECT_EQ(registry.loadSections()[1].groups.at(0).shortcuts.at(0).keys, "⌘G");
    EXPECT_EQ(sink.messages(LogCategory::scraper)[0], "ThirdPartyRegistry: malformed .hidden.json");
    EXPECT_EQ(sink.messages(LogCategory::scraper)[1], "ThirdPartyRegistry: malformed a.json");
}

TEST_F(ThirdPartyShortcutRegistryTest, GroupsInOrderOfFirstAppearance)
{
    RegistrationFile file{"App\u200F",
                          {{"One", "⌘1", "X"},
                           {"Two", "⌘2", "Y"},
                           {"Three", "⌘3", "X"},
                           {"Four\x07", "⌘4\u202E", std::nullopt},
                           {"Five", "⌘5", "X\x01"}}};
    auto section = ThirdPartyShortcutRegistry::makeSection(file);
    EXPECT_EQ(section.title, "App");
    ASSERT_EQ(section.groups.size(), 3u);
    EXPECT_EQ(section.groups[1].title, "X");
    using test::Row;
    EXPECT_THAT(test::rowsOf(section.groups[0].shortcuts), ElementsAre(Row{"Four", "⌘4"}));
    EXPECT_THAT(test::rowsOf(section.groups[1].shortcuts),
                ElementsAre(Row{"One", "⌘1"}, Row{"Three", "⌘3"}, Row{"Five", "⌘5"}));
    EXPECT_THAT(test::rowsOf(section.groups[2].shortcuts), ElementsAre(Row{"Two", "⌘2"}));
}

TEST_F(ThirdPartyShortcutRegistryTest, DecodingIsStrictAboutRequiredKeysOnly)
{
    auto decoded = RegistrationFile::decode(
        R"({"appName": "A", "version": 2, "shortcuts": [
             {"title": "T", "keys": "K", "extra": [1, {"x": null}]},
             {"title": "U", "keys": "L", "group": null},
             {"title": "V", "keys": "M", "group": "G"}]})");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->shortcuts.size(), 3u);
    EXPECT_FALSE(decoded->shortcuts[1].group);
    EXPECT_EQ(decoded->shortcuts[2].group, "G");

    // Required keys missing or of another type, not an object, trailing text, no UTF-8, a lone surrogate.
    for (const auto& file :
         std::filesystem::directory_iterator(HINTBOARD_SOURCE_DIR "/tests/sources/data/registrations-refused"))
        EXPECT_FALSE(RegistrationFile::decode(test::readFile(file.path()))) << file.path();

    // Deep nesting in an ignored key costs the file, not the stack.
    std::string deep =
        R"({"appName": "A", "shortcuts": [], "x": )" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_FALSE(RegistrationFile::decode(deep));
    std::string bracketsInStrings = R"({"appName": ")" + std::string(1000, '[') + R"(\"", "shortcuts": []})";
    EXPECT_TRUE(RegistrationFile::decode(bracketsInStrings));
}

TEST_F(ThirdPartyShortcutRegistryTest, SizeAndEntryLimits)
{
    std::string exact = registration("Exact");
    exact.resize(ThirdPartyShortcutRegistry::maxFileBytes, ' ');
    write("exact.json", exact);
    std::string over = registration("Over");
    over.resize(ThirdPartyShortcutRegistry::maxFileBytes + 1, ' ');
    write("over.json", over);

    std::string entries;
    for (int i = 0; i < 600; ++i)
        entries += fmt::format(R"({}{{"title": "Item {}", "keys": "⌘{}"}})", i ? "," : "", i, i);
    write("many.json", registration("Many", entries));

    EXPECT_EQ(sectionTitles(), (std::vector<std::string>{"Exact", "Many"}));
    EXPECT_TRUE(logged("ThirdPartyRegistry: skipping oversized over.json"));
    auto many = registry.loadFile(integrations() / "many.json");
    ASSERT_TRUE(many);
    ASSERT_EQ(many->groups.size(), 1u);
    ASSERT_EQ(many->groups[0].shortcuts.size(), 500u);
    EXPECT_EQ(many->groups[0].shortcuts.back().title, "Item 499");
}

TEST_F(ThirdPartyShortcutRegistryTest, SpecialFilesAreSkippedWithoutWaiting)
{
    write("good.json", registration("Good"));
    ASSERT_EQ(mkfifo((integrations() / "fifo.json").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", integrations() / "zero.json");
    std::filesystem::create_symlink("/nonexistent/target.json", integrations() / "dangling.json");
    std::filesystem::create_directory(integrations() / "folder.json");
    test::writeFile(data.path() / "elsewhere.txt", registration("Linked"));
    std::filesystem::create_symlink(data.path() / "elsewhere.txt", integrations() / "linked.json");

    EXPECT_EQ(sectionTitles(), (std::vector<std::string>{"Good", "Linked"}));
    for (const char* name : {"dangling.json", "fifo.json", "folder.json", "zero.json"})
        EXPECT_TRUE(logged(fmt::format("ThirdPartyRegistry: unreadable {}", name))) << name;
}

} // namespace
} // namespace hb
