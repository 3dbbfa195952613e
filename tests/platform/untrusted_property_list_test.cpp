#include "base/property_list_guard.h"

#include "base/property_list.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace hb::platform {

namespace {

PlistValue sample()
{
    return PlistDictionary{
        {"flag", true},
        {"largest", std::numeric_limits<std::int64_t>::max()},
        {"smallest", std::numeric_limits<std::int64_t>::min()},
        {"tiny", 5e-324},
        {"text", "⌥⌘K <&> \"quoted\""},
        {"empty", ""},
        {"data", PlistData{0, 1, 255}},
        {"date", PlistDate{757382400}},
        {"nested", PlistArray{PlistArray{}, PlistDictionary{}, PlistDictionary{{"a", PlistArray{1, "b", 2.5}}}}},
    };
}

TEST(PropertyList, ValuesComeBackAsStoredInBothFormats)
{
    const auto expected = sample();
    for (auto format : {PlistFormat::xml, PlistFormat::binary})
        EXPECT_EQ(parsePropertyList(serializePropertyList(expected, format).value_or("")), expected) << int(format);
    // Archive references exist in the binary format only.
    const PlistValue archived = PlistArray{PlistUid{3}};
    EXPECT_EQ(parsePropertyList(*serializePropertyList(archived, PlistFormat::binary)), archived);
    EXPECT_FALSE(serializePropertyList(std::string("a\0b", 3), PlistFormat::xml));
}

std::string nestedXml(int levels, std::string_view between = "")
{
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < levels; ++i)
        xml += std::string("<array>") + std::string(between);
    for (int i = 0; i < levels; ++i)
        xml += "</array>";
    return xml + "</plist>";
}

void bigEndian(std::string& out, std::uint64_t value, int size)
{
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// A binary property list of the given encoded objects, the first on top, with
// offsets and references of `size` bytes.
std::string binaryPlist(const std::vector<std::string>& objects, int size)
{
    std::string bytes = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const auto& object : objects) {
        offsets.push_back(bytes.size());
        bytes += object;
    }
    const std::uint64_t offsetTable = bytes.size();
    for (auto offset : offsets)
        bigEndian(bytes, offset, size);
    bytes += std::string(6, '\0');
    bytes.push_back(static_cast<char>(size)); // offset size
    bytes.push_back(static_cast<char>(size)); // reference size
    bigEndian(bytes, offsets.size(), 8);
    bigEndian(bytes, 0, 8); // top object
    bigEndian(bytes, offsetTable, 8);
    return bytes;
}

// `levels` nested arrays, each holding `references` references to the next
// one; the innermost holds an integer, or the object given in binary form.
std::string nestedBinaryArrays(int levels, int references, std::string_view innermost = std::string_view("\x10\x01", 2))
{
    std::vector<std::string> objects;
    for (int level = 0; level < levels; ++level) {
        std::string array = references < 15 ? std::string(1, static_cast<char>(0xA0 | references))
                                            : std::string("\xAF\x10") + static_cast<char>(references);
        for (int i = 0; i < references; ++i)
            bigEndian(array, static_cast<std::uint64_t>(level) + 1, 4);
        objects.push_back(std::move(array));
    }
    objects.emplace_back(innermost);
    return binaryPlist(objects, 4);
}

TEST(UntrustedPropertyList, NestingBeyondTheBoundIsRefusedBeforeParsing)
{
    EXPECT_TRUE(parsePropertyList(nestedXml(maxPropertyListDepth)));
    EXPECT_FALSE(parsePropertyList(nestedXml(maxPropertyListDepth + 1)));
    EXPECT_FALSE(parsePropertyList(nestedXml(300000)));
    // Closing tags that a parser skips do not make room for more levels.
    for (const char* skipped :
         {"<!-- </array> -->", "<![CDATA[</array>]]>", "<x a='</array>'/>", "<!DOCTYPE [ </array> ]>"})
        EXPECT_FALSE(propertyListSafeToParse(nestedXml(maxPropertyListDepth + 1, skipped))) << skipped;
    EXPECT_TRUE(propertyListSafeToParse(nestedXml(maxPropertyListDepth, "<array/><dict />")));

    EXPECT_TRUE(parsePropertyList(nestedBinaryArrays(maxPropertyListDepth, 1)));
    EXPECT_FALSE(parsePropertyList(nestedBinaryArrays(maxPropertyListDepth + 1, 1)));
    EXPECT_FALSE(parsePropertyList(nestedBinaryArrays(300000, 1)));
}

std::string binaryData(std::size_t size)
{
    std::string bytes = "\x4F\x12"; // data whose length follows as a 4-byte integer
    bigEndian(bytes, size, 4);
    return bytes + std::string(size, 'x');
}

TEST(UntrustedPropertyList, SharedObjectsCountOncePerReference)
{
    // A parser copies a shared object once per reference: a few objects may stand for 2^19 values
    // (the property_list fuzz corpus holds more, checked against libplist's tree) or 15^4 copies of 64 KiB.
    EXPECT_FALSE(propertyListSafeToParse(nestedBinaryArrays(19, 2)));
    EXPECT_TRUE(parsePropertyList(nestedBinaryArrays(1, 15, binaryData(1 << 16))));
    EXPECT_FALSE(propertyListSafeToParse(nestedBinaryArrays(4, 15, binaryData(1 << 16))));
    // Writers share equal keys and values: 2,000 records of ten shared keys pass.
    PlistArray records;
    for (int i = 0; i < 2000; ++i) {
        PlistDictionary record;
        for (int key = 0; key < 10; ++key)
            record.insert_or_assign("key" + std::to_string(key), PlistValue(key % 2 == 0));
        record.insert_or_assign("id", PlistValue(i));
        records.emplace_back(std::in_place_type<PlistDictionary>, std::move(record));
    }
    EXPECT_TRUE(parsePropertyList(serializePropertyList(PlistValue(records), PlistFormat::binary).value_or("")));
}

TEST(UntrustedPropertyList, AKeySharedByManyEntriesIsCheckedOnceAndCountedPerUse)
{
    // One dictionary of 250,000 entries, every key the same 1.5 MB text: a
    // check of the key per entry would read 375 GB before refusing it.
    constexpr std::uint64_t entries = 250'000;
    std::string dictionary = "\xDF\x13";
    bigEndian(dictionary, entries, 8);
    for (std::uint64_t i = 0; i < entries; ++i)
        bigEndian(dictionary, 1, 4);
    for (std::uint64_t i = 0; i < entries; ++i)
        bigEndian(dictionary, 2, 4);
    std::string key = "\x5F\x12";
    bigEndian(key, 1'500'000, 4);
    key += std::string(1'500'000, 'k');
    // Enough objects listed for the number of references to pass.
    std::vector<std::string> objects{dictionary, key, std::string("\x10\x01", 2)};
    objects.resize(20'000, std::string("\x10\x00", 2));
    const auto bytes = binaryPlist(objects, 4);
    ASSERT_LT(bytes.size(), std::size_t{4} << 20);
    EXPECT_FALSE(propertyListSafeToParse(bytes));
}

TEST(UntrustedPropertyList, IncompleteXmlAndOversizedIntegersAreRefused)
{
    const std::string header = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    auto integer = [&](std::string_view digits) {
        return parsePropertyList(header + "<array><integer>" + std::string(digits) + "</integer></array></plist>\n");
    };
    EXPECT_EQ(integer("-9223372036854775808"), PlistValue(PlistArray{std::numeric_limits<std::int64_t>::min()}));
    EXPECT_TRUE(integer("18446744073709551615"));
    EXPECT_FALSE(integer("18446744073709551616"));
    EXPECT_FALSE(integer("-9223372036854775809"));

    const std::string whole = header + "<dict><key>a</key><true/></dict></plist>";
    EXPECT_TRUE(parsePropertyList(whole + " \n"));
    EXPECT_FALSE(parsePropertyList(whole.substr(0, whole.size() - 8)));
    EXPECT_FALSE(parsePropertyList(whole + "<dict/>"));
}

TEST(UntrustedPropertyList, MalformedBinaryIsRefused)
{
    auto valid = nestedBinaryArrays(3, 1);
    EXPECT_TRUE(propertyListSafeToParse(valid));
    EXPECT_FALSE(propertyListSafeToParse(valid.substr(0, valid.size() - 1)));
    EXPECT_FALSE(propertyListSafeToParse("bplist01" + valid.substr(8)));
    auto danglingReference = valid;
    danglingReference[9] = '\x7F'; // the top array refers to object 0x7F000001
    EXPECT_FALSE(propertyListSafeToParse(danglingReference));
    // A dictionary's values are references too.
    EXPECT_TRUE(propertyListSafeToParse(binaryPlist({"\xD1\x01\x01", "\x51\x61"}, 1)));
    EXPECT_FALSE(propertyListSafeToParse(binaryPlist({"\xD1\x01\x05", "\x51\x61"}, 1)));
    // The top object one past the last, though the offset table's next entry would name an object.
    auto pastTheEnd = binaryPlist({std::string("\x10\x01", 2)}, 1);
    pastTheEnd[pastTheEnd.size() - 32] = 8;
    EXPECT_TRUE(propertyListSafeToParse(pastTheEnd));
    pastTheEnd[pastTheEnd.size() - 9] = 1;
    EXPECT_FALSE(propertyListSafeToParse(pastTheEnd));
}

TEST(UntrustedPropertyList, NulInATextIsReadAndInADictionaryKeyRefused)
{
    // One UTF-16 string object "a\0"; libplist's own text getter aborts on it.
    const auto value = parsePropertyList(binaryPlist({std::string("\x62\0a\0\0", 5)}, 1));
    ASSERT_TRUE(value && value->as<std::string>());
    EXPECT_TRUE(value->as<std::string>()->starts_with("a"));

    // {"a?": 1} with "?" as given; libplist aborts when it hands out a key holding U+0000.
    auto dictionary = [](char second) {
        return binaryPlist({"\xD1\x01\x02", "\x52\x61" + std::string(1, second), std::string("\x10\x01", 2)}, 1);
    };
    EXPECT_EQ(parsePropertyList(dictionary('b')), PlistValue(PlistDictionary{{"ab", 1}}));
    EXPECT_FALSE(parsePropertyList(dictionary('\0')));
    // The same in UTF-16: a unit of two zero bytes.
    const auto utf16 = [](std::string_view unit) {
        return binaryPlist({std::string("\xD1\x01\x02", 3), "\x61" + std::string(unit), std::string("\x10\x01", 2)}, 1);
    };
    EXPECT_TRUE(propertyListSafeToParse(utf16(std::string("\0b", 2))));
    EXPECT_FALSE(propertyListSafeToParse(utf16(std::string("\0\0", 2))));
}

TEST(UntrustedPropertyList, RealPreferenceFilesPass)
{
    const auto folder = test::testDataFolder() / "preferences";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "no real preference files";
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_TRUE(parsePropertyList(test::readTestData("preferences" / entry.path().filename()).value_or("")))
            << entry.path();
}

} // namespace
} // namespace hb::platform
