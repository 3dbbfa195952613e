#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hb::test {

struct CatalogEntry {
    std::string original; // "context\x04message" for a message with context
    std::string translation;
};

// The bytes of a gettext message catalogue (.mo) holding the entries.
inline std::string messageCatalog(const std::vector<CatalogEntry>& entries, bool bigEndian)
{
    std::string bytes;
    auto word = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>(value >> (8 * (bigEndian ? 3 - i : i)) & 0xff);
    };
    const auto count = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t originals = 28;
    const std::uint32_t translations = originals + 8 * count;
    std::uint32_t strings = translations + 8 * count;
    for (std::uint32_t value : {0x950412deu, 0u, count, originals, translations, 0u, 0u})
        word(value);
    std::string pool;
    for (bool translated : {false, true})
        for (const auto& entry : entries) {
            const auto& text = translated ? entry.translation : entry.original;
            word(static_cast<std::uint32_t>(text.size()));
            word(strings + static_cast<std::uint32_t>(pool.size()));
            pool += text + '\0';
        }
    return bytes + pool;
}

} // namespace hb::test
