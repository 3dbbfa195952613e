#include "sources/property_list_reader.h"

#include "sources/untrusted_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace hb::sources {
namespace {

using platform::PlistArray;
using platform::PlistDictionary;
using platform::PlistValue;

std::string nestedXml(int levels, std::string_view between = "")
{
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < levels; ++i)
        xml += std::string("<array>") + std::string(between);
    for (int i = 0; i < levels; ++i)
        xml += "</array>";
    return xml + "</plist>";
}

TEST(PropertyListReader, KeepsValuesAsStored)
{
    for (auto format : {test::PlistFormat::xml, test::PlistFormat::binary}) {
        test::TemporaryFolder folder;
        plist_t root = test::plistDictionary({
            {"negative", test::plistInteger(-5)},
            {"real", plist_new_real(1.5)},
            {"text", test::plistString("Grüße")},
            {"flag", test::plistBoolean(true)},
            {"data", plist_new_data("\x00\x01", 2)},
            {"date", plist_new_date(86400, 0)},
            {"list", test::plistArray({test::plistInteger(1), plist_new_uid(7), test::plistString("x")})},
        });
        test::writePlist(folder.path() / "values.plist", root, format);

        auto value = readPropertyListFile(folder.path() / "values.plist");
        ASSERT_TRUE(value);
        const auto& dictionary = *value->as<PlistDictionary>();
        EXPECT_EQ(*dictionary.at("negative").as<std::int64_t>(), -5);
        EXPECT_EQ(*dictionary.at("real").as<double>(), 1.5);
        EXPECT_EQ(*dictionary.at("text").as<std::string>(), "Grüße");
        EXPECT_EQ(*dictionary.at("flag").as<bool>(), true);
        EXPECT_EQ(*dictionary.at("data").as<platform::PlistData>(), (platform::PlistData{0, 1}));
        EXPECT_EQ(dictionary.at("date").as<platform::PlistDate>()->secondsSince2001, 86400);
        // A keyed-archive reference has no stored form and is left out (XML spells it as a dictionary).
        if (format == test::PlistFormat::binary)
            EXPECT_EQ(*dictionary.at("list").as<PlistArray>(), (PlistArray{PlistValue(1), PlistValue("x")}));
    }
}

TEST(PropertyListReader, RefusesNestingBeyondTheBound)
{
    EXPECT_TRUE(parsePropertyList(nestedXml(maxPropertyListDepth)));
    EXPECT_FALSE(parsePropertyList(nestedXml(maxPropertyListDepth + 1)));
    EXPECT_FALSE(parsePropertyList(nestedXml(200000)));
    // Closing tags that a parser skips do not make room for more levels.
    EXPECT_FALSE(propertyListWithinBounds(nestedXml(maxPropertyListDepth + 1, "<!-- </array> -->")));
    EXPECT_FALSE(propertyListWithinBounds(nestedXml(maxPropertyListDepth + 1, "<![CDATA[</array>]]>")));
    EXPECT_FALSE(propertyListWithinBounds(nestedXml(maxPropertyListDepth + 1, "<x a='</array>'/>")));
    EXPECT_FALSE(propertyListWithinBounds(nestedXml(maxPropertyListDepth + 1, "<!DOCTYPE [ </array> ]>")));
    EXPECT_TRUE(propertyListWithinBounds(nestedXml(maxPropertyListDepth, "<array/><dict />")));

    EXPECT_TRUE(parsePropertyList(test::nestedBinaryArrays(maxPropertyListDepth, 1)));
    EXPECT_FALSE(parsePropertyList(test::nestedBinaryArrays(maxPropertyListDepth + 1, 1)));
    EXPECT_FALSE(parsePropertyList(test::nestedBinaryArrays(200000, 1)));
}

TEST(PropertyListReader, RefusesSharedObjectsThatExpandBeyondTheBound)
{
    // 2^20 values: within the bound; 2^40: far beyond (a parser would copy each).
    EXPECT_TRUE(propertyListWithinBounds(test::nestedBinaryArrays(19, 2)));
    EXPECT_FALSE(propertyListWithinBounds(test::nestedBinaryArrays(20, 2)));
    EXPECT_FALSE(parsePropertyList(test::nestedBinaryArrays(40, 2)));
}

TEST(PropertyListReader, MalformedInputReadsAsAbsent)
{
    auto valid = test::nestedBinaryArrays(3, 1);
    EXPECT_TRUE(parsePropertyList(valid));
    EXPECT_FALSE(parsePropertyList(valid.substr(0, valid.size() - 1)));
    EXPECT_FALSE(parsePropertyList("bplist01" + valid.substr(8)));
    EXPECT_FALSE(parsePropertyList(""));
    EXPECT_FALSE(parsePropertyList("plain text"));
    EXPECT_FALSE(parsePropertyList("<plist><dict><key>a</key>"));
    EXPECT_FALSE(readPropertyListFile("/nonexistent/file.plist"));
    EXPECT_FALSE(readPropertyListFile("/dev/zero"));
    EXPECT_FALSE(readUserPreferences(UserFolders{"relative/home", {}}, "x.plist"));
}

TEST(UntrustedFile, ReadsOnlyUpToTheLimit)
{
    test::TemporaryFolder folder;
    test::writeFile(folder.path() / "four", "1234");
    EXPECT_EQ(readUntrustedFile(folder.path() / "four", 4).bytes, "1234");
    EXPECT_EQ(readUntrustedFile(folder.path() / "four", 3).status, UntrustedFile::Status::oversized);
    // Reported as empty at the size check, longer when read: like a file that grows meanwhile.
    EXPECT_EQ(readUntrustedFile("/proc/self/maps", 16).status, UntrustedFile::Status::oversized);
    EXPECT_EQ(readUntrustedFile("/dev/null", 16).status, UntrustedFile::Status::unreadable);
}

} // namespace
} // namespace hb::sources
