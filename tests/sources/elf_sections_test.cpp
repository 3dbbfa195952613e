// What a program's files hold for its shortcuts window: ELF sections and message catalogues.
#include "sources/elf_sections.h"
#include "sources/message_catalog.h"

#include "support/temporary_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <filesystem>

using namespace hb;
using namespace hb::sources;
using testing::ElementsAre;

const std::filesystem::path data = HINTBOARD_SOURCE_DIR "/tests/sources/data";

TEST(ElfSections, SectionsAreFoundByNamePrefixAndRead)
{
    const auto image = test::readFile(data / "sections.elf");
    const elf::MemoryBytes bytes(image);
    const auto found = elf::sectionsNamed(bytes, ".gresource.");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name + " " + found[1].name, ".gresource.editor .gresource.b");
    EXPECT_EQ(elf::sectionBytes(bytes, found[0], 1024), "bundle one");
    EXPECT_FALSE(elf::sectionBytes(bytes, found[0], 4)) << "larger than allowed";
}

// Cut, lying about sizes, pointing outside the file, no ELF or catalogue at all.
TEST(ElfSectionsAndMessageCatalog, EveryRefusedFileGivesNothing)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data / "refused")) {
        const auto bytes = test::readFile(entry.path());
        if (entry.path().extension() == ".elf")
            EXPECT_TRUE(elf::sectionsNamed(elf::MemoryBytes(bytes), "").empty()) << entry.path();
        else
            EXPECT_FALSE(MessageCatalog::parse(bytes)) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, 7);
}

// Overlapping sections of one prefix: the elf_sections fuzz target's corpus and its check.

TEST(MessageCatalog, TranslationsAreFoundWithAndWithoutContextInEitherByteOrder)
{
    for (const char* file : {"little-endian.mo", "big-endian.mo"}) {
        auto catalog = MessageCatalog::parse(test::readFile(data / file));
        ASSERT_TRUE(catalog);
        EXPECT_EQ(catalog->translate("shortcut window", "New window"), "Neues Fenster");
        EXPECT_EQ(catalog->translate("", "New window"), "Fenster");
        EXPECT_FALSE(catalog->translate("menu", "New window"));
    }
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
    constexpr std::uint32_t each = run / (2 * count);
    bytes.resize(28);
    for (std::uint32_t i = 0; i < 2 * count; ++i) {
        word(each - 1);
        word(strings + i * each);
    }
    bytes += std::string(run, 'x');
    for (std::uint32_t i = 0; i < 2 * count; ++i) {
        bytes.replace(strings + i * each, 3, fmt::format("{:03}", i));
        bytes[strings + (i + 1) * each - 1] = '\0';
    }
    EXPECT_TRUE(MessageCatalog::parse(bytes));
}

TEST(CatalogLanguages, LanguageListComesFirstThenTheLocaleUnlessItIsC)
{
    EXPECT_THAT(catalogLanguages("de:fr_FR", std::nullopt, std::nullopt, "C.UTF-8"), ElementsAre("de", "fr_FR", "fr"));
    EXPECT_THAT(catalogLanguages(std::nullopt, "", "pt_BR.UTF-8@x", "de_DE"),
                ElementsAre("pt_BR.UTF-8@x", "pt_BR.UTF-8", "pt_BR@x", "pt_BR", "pt@x", "pt"));
    EXPECT_TRUE(catalogLanguages(std::nullopt, std::nullopt, std::nullopt, "POSIX").empty());
}
