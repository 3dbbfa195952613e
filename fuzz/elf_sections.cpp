// Executables and libraries of other programs: the section headers, the
// names and the bytes of the sections a prefix selects.
#include "sources/elf_sections.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const hb::elf::MemoryBytes file(bytes);
    for (std::string_view prefix : {".gresource.", ""}) {
        std::uint64_t total = 0;
        for (const auto& section : hb::elf::sectionsNamed(file, prefix)) {
            const auto content = hb::elf::sectionBytes(file, section, 1 << 20);
            if (content && content->size() != section.size)
                std::abort();
            total += section.size;
        }
        // Sections of one prefix never overlap: together they fit in the file.
        if (!prefix.empty() && total > size)
            std::abort();
    }
    return 0;
}
