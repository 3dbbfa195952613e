#include "base/property_list.h"

#include <gtest/gtest.h>

#include <limits>

namespace hb::platform {

void PrintTo(const PlistValue& value, std::ostream* out) { *out << describe(value); }

namespace {

PlistValue sample()
{
    PlistData bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i));
    return PlistDictionary{
        {"flag", true},
        {"off", false},
        {"negative", -42},
        {"largest", std::numeric_limits<std::int64_t>::max()},
        {"smallest", std::numeric_limits<std::int64_t>::min()},
        {"real", 0.1},
        {"tiny", 5e-324},
        {"text", "⌥⌘K <&> \"quoted\""},
        {"empty", ""},
        {"data", bytes},
        {"date", PlistDate{757382400}},
        {"nested", PlistArray{PlistArray{}, PlistDictionary{}, PlistDictionary{{"a", PlistArray{1, "b", 2.5}}}}},
    };
}

TEST(PropertyList, ValuesComeBackAsStoredInBothFormats)
{
    const auto expected = sample();
    for (auto format : {PlistFormat::xml, PlistFormat::binary}) {
        auto bytes = serializePropertyList(expected, format);
        ASSERT_TRUE(bytes);
        auto back = parsePropertyList(*bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, expected) << (format == PlistFormat::xml ? "xml" : "binary");
    }
    // Archive references exist in the binary format only.
    const PlistValue archived = PlistArray{PlistUid{3}};
    EXPECT_EQ(parsePropertyList(*serializePropertyList(archived, PlistFormat::binary)), archived);
    auto xml = serializePropertyList(PlistDictionary{{"k", 1}}, PlistFormat::xml);
    EXPECT_NE(xml->find("<key>k</key>"), std::string::npos);
}

TEST(PropertyList, BrokenInputReadsAsNone)
{
    auto xml = *serializePropertyList(sample(), PlistFormat::xml);
    auto binary = *serializePropertyList(sample(), PlistFormat::binary);
    EXPECT_FALSE(parsePropertyList(""));
    EXPECT_FALSE(parsePropertyList("hello, world"));
    EXPECT_FALSE(parsePropertyList(xml.substr(0, xml.size() / 2)));
    EXPECT_FALSE(parsePropertyList(binary.substr(0, binary.size() - 10)));
    EXPECT_FALSE(serializePropertyList(std::string("a\0b", 3), PlistFormat::xml));
}

TEST(PropertyList, DescriptionsAreReadable)
{
    EXPECT_EQ(describe(PlistArray{"a|b", 3, true}), "[a|b, 3, true]");
    EXPECT_EQ(describe(PlistData{1, 2, 3}), "<3 bytes>");
    EXPECT_EQ(describe(PlistDate{0}), "2001-01-01T00:00:00Z");
    EXPECT_EQ(describe(PlistDictionary{{"x", 0.5}}), "{x: 0.5}");
}

} // namespace
} // namespace hb::platform
