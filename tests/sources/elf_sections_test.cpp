// What a program's files hold for its shortcuts window: ELF sections and message catalogues.
#include "sources/elf_sections.h"
#include "sources/message_catalog.h"

#include "support/message_catalog_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace hb;
using namespace hb::sources;
using testing::ElementsAre;

namespace {

// A 64-bit little-endian ELF file: header, the named sections' bytes, the
// section-name table and the section headers (a null one first).
std::string elfImage(const std::vector<std::pair<std::string, std::string>>& sections)
{
    std::string image(64, '\0');
    std::memcpy(image.data(),
                "\x7f"
                "ELF\x02\x01\x01",
                7);
    auto put = [&](std::size_t offset, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            image[offset + i] = static_cast<char>(value >> (8 * i) & 0xff);
    };
    struct Header {
        std::uint64_t name, type, offset, size;
    };
    std::vector<Header> headers{{0, 0, 0, 0}};
    std::string names(1, '\0');
    for (const auto& [name, bytes] : sections) {
        headers.push_back({names.size(), 1, image.size(), bytes.size()});
        names += name + '\0';
        image += bytes;
    }
    headers.push_back({names.size(), 3, image.size() + 0, 0});
    names += std::string(".shstrtab") + '\0';
    headers.back().size = names.size();
    image += names;
    const std::size_t table = image.size();
    image.resize(table + 64 * headers.size());
    for (std::size_t i = 0; i < headers.size(); ++i) {
        put(table + 64 * i, headers[i].name, 4);
        put(table + 64 * i + 4, headers[i].type, 4);
        put(table + 64 * i + 24, headers[i].offset, 8);
        put(table + 64 * i + 32, headers[i].size, 8);
    }
    put(40, table, 8);
    put(58, 64, 2);
    put(60, headers.size(), 2);
    put(62, headers.size() - 1, 2);
    return image;
}

std::vector<std::string> namesOf(const std::vector<elf::Section>& sections)
{
    std::vector<std::string> names;
    for (const auto& section : sections)
        names.push_back(section.name);
    return names;
}

} // namespace

TEST(ElfSections, SectionsAreFoundByNamePrefixAndRead)
{
    const auto image = elfImage({{".text", "code"}, {".gresource.editor", "bundle one"}, {".gresource.b", "two"}});
    const elf::MemoryBytes bytes(image);
    const auto found = elf::sectionsNamed(bytes, ".gresource.");
    EXPECT_THAT(namesOf(found), testing::ElementsAre(".gresource.editor", ".gresource.b"));
    EXPECT_EQ(elf::sectionBytes(bytes, found[0], 1024), "bundle one");
    EXPECT_FALSE(elf::sectionBytes(bytes, found[0], 4)) << "larger than allowed";
}

TEST(ElfSections, MalformedFilesGiveNoSections)
{
    const auto image = elfImage({{".gresource.editor", std::string(4096, 'x')}});
    EXPECT_TRUE(elf::sectionsNamed(elf::MemoryBytes("not an ELF file at all, only text"), "").empty());
    // Cut inside the section headers.
    EXPECT_TRUE(elf::sectionsNamed(elf::MemoryBytes(std::string_view(image).substr(0, image.size() - 10)), "").empty());

    // A section that claims more bytes than the file holds.
    auto claiming = image;
    const std::size_t table = image.size() - 3 * 64;
    claiming[table + 64 + 32 + 5] = 0x7f; // size field of the first named section
    EXPECT_TRUE(elf::sectionsNamed(elf::MemoryBytes(claiming), ".gresource.").empty());

    // Header fields pointing far outside the file.
    auto outside = image;
    outside[40 + 7] = 0x7f;
    EXPECT_TRUE(elf::sectionsNamed(elf::MemoryBytes(outside), "").empty());
}

// Overlapping sections of one prefix: the elf_sections fuzz target's corpus and its check.

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
    counting[8 + 3] = 0x7f; // claims millions of strings
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
    EXPECT_THAT(catalogLanguages("de:fr_FR", std::nullopt, std::nullopt, "C.UTF-8"), ElementsAre("de", "fr_FR", "fr"));
    EXPECT_THAT(catalogLanguages(std::nullopt, "", "pt_BR.UTF-8@x", "de_DE"),
                ElementsAre("pt_BR.UTF-8@x", "pt_BR.UTF-8", "pt_BR@x", "pt_BR", "pt@x", "pt"));
    EXPECT_TRUE(catalogLanguages(std::nullopt, std::nullopt, std::nullopt, "POSIX").empty());
}
