// Mozilla applications' menus as their archives define them: the zip reader's
// bounds, Fluent messages, DTD entities and the main window's menu bar.
#include "sources/desktop_keybindings.h"
#include "sources/dtd_entities.h"
#include "sources/fluent.h"
#include "sources/xul_menus.h"
#include "sources/zip_archive.h"

#include "support/model_builders.h"
#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace hb;
using namespace hb::sources;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// A main window with both label forms, Fluent messages and attributes whose entities were expanded, and its messages.
const std::filesystem::path mozilla = HINTBOARD_SOURCE_DIR "/tests/sources/data/mozilla";
const std::string messagesFile = test::readFile(mozilla / "menubar.ftl");

TEST(Fluent, FormatsValuesAttributesSelectorsAndReferences)
{
    fluent::Bundle bundle;
    bundle.add(messagesFile);
    struct Case {
        std::string_view id, attribute;
        fluent::Arguments arguments;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"menu-file-close-tab", "label", {{"tabCount", "1"}}, "Close Tab"},
        {"menu-file-close-tab", "label", {{"tabCount", "3"}}, "Close 3 Tabs"},
        {"menu-quit", "label", {}, "Quit"},
        {"downloads-shortcut", "key", {}, "Y"},
        {"bracket-shortcut", "key", {}, "}"},
        {"plain", "", {}, "Two words\non two lines"},
        {"menu-file", "", {}, std::nullopt}, // no value
        {"menu-file", "accesskey", {}, std::nullopt},
        {"missing", "label", {}, std::nullopt},
        {"loop", "", {}, std::nullopt}, // refers to itself: bounded
    };
    for (const auto& c : cases)
        EXPECT_EQ(bundle.format(c.id, c.attribute, c.arguments), c.expected) << c.id << "." << c.attribute;
}

TEST(Dtd, ExpandsNestedEntitiesAndRefusesExpansionBeyondTheBounds)
{
    dtd::Declarations declarations;
    dtd::addDeclarations(R"(<!-- <!ENTITY hidden "no"> -->
<!ENTITY brandShortName "Thunderbird">
<!ENTITY aboutCmd.label 'About &brandShortName;'>
<!ENTITY quote.label "Say &quot;hi&quot;">
<!ENTITY % brandDTD SYSTEM "chrome://branding/locale/brand.dtd">)",
                         declarations);
    dtd::addDeclarations(R"(<!ENTITY brandShortName "Other">)", declarations); // the first definition wins
    const auto entities = dtd::expanded(declarations);
    ASSERT_TRUE(entities);
    EXPECT_EQ(entities->at("aboutCmd.label"), "About Thunderbird");
    EXPECT_FALSE(entities->contains("hidden"));

    // Quotes and "<" of an entity's text stay inside the attribute.
    const auto document =
        dtd::withEntities(R"(<m label="&quote.label;" a="&aboutCmd.label;" b="&amp;&unknown;"/>)", *entities, 1000);
    ASSERT_TRUE(document);
    EXPECT_EQ(*document, R"(<m label="Say &quot;hi&quot;" a="About Thunderbird" b="&amp;&unknown;"/>)");
    EXPECT_FALSE(dtd::withEntities("&aboutCmd.label;&aboutCmd.label;", *entities, 20));

    // The billion laughs (ten times ten, nine levels deep) and a cycle.
    for (const auto& file : std::filesystem::directory_iterator(mozilla / "refused")) {
        dtd::Declarations refused;
        dtd::addDeclarations(test::readFile(file.path()), refused);
        EXPECT_FALSE(dtd::expanded(refused)) << file.path();
    }
}

// A menu's path and its keys in the key notation.
using test::Row;

std::vector<Row> rowsOf(const std::vector<XulMenuItem>& items, const std::string& prefix = "")
{
    std::vector<Row> rows;
    for (const auto& item : items) {
        const auto path = prefix + (item.title.empty() ? "—" : item.title);
        rows.push_back(
            Row{path, item.accelerator.empty() ? "" : keybinding::gtkAccelerator(item.accelerator).value_or("?")});
        const auto below = rowsOf(item.items, path + "/");
        rows.insert(rows.end(), below.begin(), below.end());
    }
    return rows;
}

TEST(XulMenus, ReadsTheMenuBarWithKeysByKeyAndKeycodeAndEveryModifier)
{
    fluent::Bundle messages;
    messages.add(messagesFile);
    const auto document = xml::parse(test::readFile(mozilla / "browser.xhtml"));
    ASSERT_TRUE(document);
    EXPECT_THAT(localizationFiles(*document), ElementsAre("browser/menubar.ftl", "browser/browserSets.ftl"));

    const auto menus = readXulMenus(*document, messages);
    ASSERT_TRUE(menus);
    EXPECT_EQ(menus->keyCount, 10u);
    // Hidden menus, items and separators are left out; a disabled key is none.
    EXPECT_THAT(rowsOf(menus->menus),
                ElementsAre(Row{"File", ""}, Row{"File/New Tab", "⌃T"}, Row{"File/—", ""}, Row{"File/Zoom", ""},
                            Row{"File/Zoom/Zoom In", ""}, Row{"File/Quit", "⌃Q"}, Row{"View", ""},
                            Row{"View/Back", "⌥←"}, Row{"View/Mute", "⌃M"}, Row{"View/Full Screen", "⌥⇧⌘F11"},
                            Row{"View/Reader View", ""}));
    // Keys that no visible item carries, named after what else runs them; a key nothing names is left out.
    EXPECT_THAT(rowsOf(menus->otherKeys),
                ElementsAre(Row{"Hidden Close", "⌃⇧W"}, Row{"Reload", "F5"}, Row{"Zoom In", "⌃="}));
}

TEST(ZipArchive, ReadsStoredAndCompressedEntriesAndRefusesHostileArchivesWithinItsBounds)
{
    const std::filesystem::path zips = HINTBOARD_SOURCE_DIR "/tests/sources/data/zip";
    std::string problem;
    const auto archive = ZipArchive::open(zips / "two-entries.zip", {}, &problem);
    ASSERT_TRUE(archive) << problem;
    EXPECT_EQ(archive->read("a.txt"), "stored");
    EXPECT_EQ(archive->read("dir/b.txt"), std::string(1000, 'b'));
    EXPECT_FALSE(archive->read("dir/b.txt", 999));
    EXPECT_FALSE(archive->read("missing"));

    // A bomb: larger than any entry may be, and one that shrank a thousandfold.
    auto bomb = ZipArchive::open(zips / "bombs.zip", {.maxEntryBytes = 1 << 20}, &problem);
    ASSERT_TRUE(bomb) << problem;
    EXPECT_FALSE(bomb->read("big", &problem));
    EXPECT_THAT(problem, HasSubstr("more than"));
    EXPECT_FALSE(bomb->read("dense", &problem));
    EXPECT_THAT(problem, HasSubstr("compressed"));

    // An entry whose declared size lies (local and central headers say 10 bytes of 1000).
    const auto liar = ZipArchive::open(zips / "liar.zip", {}, &problem);
    ASSERT_TRUE(liar) << problem;
    EXPECT_FALSE(liar->read("liar", &problem));

    // More entries than allowed.
    EXPECT_FALSE(ZipArchive::open(zips / "three-entries.zip", {.maxEntries = 2}, &problem));
    EXPECT_THAT(problem, HasSubstr("3 entries"));
    EXPECT_EQ(ZipArchive::open(zips / "three-entries.zip", {.maxEntries = 3})->entryCount(), 3u);

    // Not a regular file, cut through its data and central directory, not an archive.
    EXPECT_FALSE(ZipArchive::open(zips, {}, &problem));
    for (const auto& file : std::filesystem::directory_iterator(zips / "refused"))
        EXPECT_FALSE(ZipArchive::open(file.path(), {}, &problem)) << file.path();
}

} // namespace
