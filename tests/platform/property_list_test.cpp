#include "platform/property_list.h"

#include <gtest/gtest.h>

#include <limits>

namespace hb::platform {

void PrintTo(const PlistValue& value, std::ostream* out) { *out << describe(value); }

namespace {

PlistValue sample()
{
    return PlistDictionary{
        {"flag", true}, {"largest", std::numeric_limits<std::int64_t>::max()},
        {"smallest", std::numeric_limits<std::int64_t>::min()}, {"tiny", 5e-324}, {"text", "⌥⌘K <&> \"quoted\""},
        {"empty", ""}, {"data", PlistData{0, 1, 255}}, {"date", PlistDate{757382400}},
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

} // namespace
} // namespace hb::platform
