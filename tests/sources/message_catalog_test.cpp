#include "sources/message_catalog.h"

#include "support/message_catalog_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace hb;
using namespace hb::sources;
using testing::ElementsAre;

TEST(MessageCatalog, TranslationsAreFoundWithAndWithoutContextInEitherByteOrder)
{
    const std::vector<test::CatalogEntry> entries{{"shortcut window\x04New window", "Neues Fenster"},
                                                  {"New window", "Fenster"}};
    for (bool bigEndian : {false, true}) {
        auto catalog = MessageCatalog::parse(test::messageCatalog(entries, bigEndian));
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->translate("shortcut window", "New window"), "Neues Fenster");
        EXPECT_EQ(catalog->translate("", "New window"), "Fenster");
        EXPECT_FALSE(catalog->translate("menu", "New window"));
    }
}

TEST(MessageCatalog, MalformedCataloguesAreRejected)
{
    const auto good = test::messageCatalog({{"a", "b"}}, false);
    EXPECT_FALSE(MessageCatalog::parse(std::string(40, 'x')));
    EXPECT_FALSE(MessageCatalog::parse(std::string_view(good).substr(0, good.size() - 2))) << "string cut off";
    auto counting = good;
    counting[8 + 3] = 0x7f;  // claims millions of strings
    EXPECT_FALSE(MessageCatalog::parse(counting));
}

TEST(MessageCatalog, OverlappingStringsHoldingFarMoreThanTheFileAreRejected)
{
    // Every entry names a suffix of one run of 256 KiB: 64 entries would keep 32 MiB.
    constexpr std::uint32_t count = 64, run = 256 << 10, strings = 28 + 16 * count;
    std::string bytes;
    auto word = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>(value >> (8 * i) & 0xff);
    };
    for (std::uint32_t value : {0x950412deu, 0u, count, 28u, 28 + 8 * count, 0u, 0u})
        word(value);
    for (int table = 0; table < 2; ++table)
        for (std::uint32_t i = 0; i < count; ++i) {
            word(run - i);
            word(strings + i);
        }
    bytes += std::string(run, 'x');
    EXPECT_FALSE(MessageCatalog::parse(bytes));
    // Distinct strings of the same total pass.
    std::vector<test::CatalogEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i)
        entries.push_back({std::to_string(i) + std::string(2000, 'o'), std::string(2000, 't')});
    EXPECT_TRUE(MessageCatalog::parse(test::messageCatalog(entries, false)));
}

TEST(CatalogLanguages, LanguageListComesFirstThenTheLocaleUnlessItIsC)
{
    EXPECT_THAT(catalogLanguages("de:fr_FR", std::nullopt, std::nullopt, "C.UTF-8"),
                ElementsAre("de", "fr_FR", "fr"));
    EXPECT_THAT(catalogLanguages(std::nullopt, "", "pt_BR.UTF-8@x", "de_DE"),
                ElementsAre("pt_BR.UTF-8@x", "pt_BR.UTF-8", "pt_BR@x", "pt_BR", "pt@x", "pt"));
    EXPECT_TRUE(catalogLanguages(std::nullopt, std::nullopt, std::nullopt, "POSIX").empty());
}
