#include "sources/message_catalog.h"

#include <algorithm>
#include <cstdint>

namespace hb::sources {
namespace {

constexpr std::uint32_t magic = 0x950412de;
constexpr std::uint32_t maxStrings = 1'000'000;
// Strings may overlap (one run named by many entries): what is kept of them
// may not exceed the file's own size by more than this.
constexpr std::size_t copiedAllowance = 1 << 20;

std::uint32_t word(std::string_view bytes, std::size_t offset, bool swapped)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[offset + (swapped ? i : 3 - i)]);
        value = value << 8 | byte;
    }
    return value;
}

// The locale name's variants in gettext's order of preference.
std::vector<std::string> variants(std::string_view name)
{
    std::string_view modifier;
    if (auto at = name.find('@'); at != std::string_view::npos) {
        modifier = name.substr(at);
        name = name.substr(0, at);
    }
    const std::string_view withCodeset = name;
    const auto dot = name.find('.');
    const std::string_view territory = name.substr(0, dot);
    const std::string_view language = territory.substr(0, territory.find('_'));
    std::vector<std::string> out;
    for (auto candidate : {withCodeset, territory, language}) {
        for (auto full : {std::string(candidate) + std::string(modifier), std::string(candidate)})
            if (!full.empty() && std::find(out.begin(), out.end(), full) == out.end())
                out.push_back(full);
    }
    return out;
}

} // namespace

std::optional<MessageCatalog> MessageCatalog::parse(std::string_view bytes)
{
    if (bytes.size() < 28)
        return std::nullopt;
    bool swapped = false;
    if (word(bytes, 0, false) != magic) {
        if (word(bytes, 0, true) != magic)
            return std::nullopt;
        swapped = true;
    }
    const std::uint32_t count = word(bytes, 8, swapped);
    const std::uint64_t originals = word(bytes, 12, swapped);
    const std::uint64_t translations = word(bytes, 16, swapped);
    if (count > maxStrings || originals + 8ull * count > bytes.size() || translations + 8ull * count > bytes.size())
        return std::nullopt;

    auto string = [&](std::uint64_t table, std::uint32_t index) -> std::optional<std::string_view> {
        const std::uint64_t length = word(bytes, static_cast<std::size_t>(table + 8ull * index), swapped);
        const std::uint64_t offset = word(bytes, static_cast<std::size_t>(table + 8ull * index + 4), swapped);
        if (offset + length > bytes.size())
            return std::nullopt;
        return bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    };
    MessageCatalog catalog;
    std::size_t copied = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto original = string(originals, i);
        auto translation = string(translations, i);
        if (!original || !translation)
            return std::nullopt;
        // Plural forms follow the singular after a NUL; the singular serves titles.
        auto singular = original->substr(0, original->find('\0'));
        auto translated = translation->substr(0, translation->find('\0'));
        if (singular.empty() || translated.empty())
            continue;
        copied += singular.size() + translated.size();
        if (copied > bytes.size() + copiedAllowance)
            return std::nullopt;
        catalog.translations_.emplace(singular, translated);
    }
    return catalog;
}

std::optional<std::string> MessageCatalog::translate(std::string_view context, std::string_view message) const
{
    std::string key;
    if (!context.empty()) {
        key.append(context);
        key += '\x04';
    }
    key.append(message);
    auto found = translations_.find(key);
    if (found == translations_.end())
        return std::nullopt;
    return found->second;
}

std::vector<std::string> catalogLanguages(std::optional<std::string_view> language,
                                          std::optional<std::string_view> lcAll,
                                          std::optional<std::string_view> lcMessages,
                                          std::optional<std::string_view> lang)
{
    std::string_view locale;
    for (auto value : {lcAll, lcMessages, lang})
        if (value && !value->empty()) {
            locale = *value;
            break;
        }
    const bool plain = locale.empty() || locale == "C" || locale == "POSIX" || locale.starts_with("C.");
    std::vector<std::string> out;
    auto add = [&](std::string_view name) {
        for (auto& variant : variants(name))
            if (std::find(out.begin(), out.end(), variant) == out.end())
                out.push_back(std::move(variant));
    };
    std::string_view list = language.value_or("");
    while (!list.empty()) {
        const auto colon = list.find(':');
        if (auto name = list.substr(0, colon); !name.empty() && name != "C" && name != "POSIX")
            add(name);
        list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
    }
    if (!plain)
        add(locale);
    return out;
}

} // namespace hb::sources
