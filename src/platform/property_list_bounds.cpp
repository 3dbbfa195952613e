#include "platform/property_list_bounds.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace hb::platform {
namespace {

constexpr std::string_view binaryMagic = "bplist00";

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return at <= text.size() && text.substr(at).starts_with(prefix);
}

bool startsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view lowerPrefix)
{
    if (at > text.size() || text.size() - at < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerPrefix[i])
            return false;
    }
    return true;
}

// --- XML -------------------------------------------------------------------
//
// Counts container nesting from the markup alone. Every "<dict…" or "<array…"
// (any case, also inside comments, declarations and attribute values) opens a
// level unless it is exactly "<dict/>" or "<array/>"; a level closes only at a
// plain "</dict>" or "</array>" outside comments, CDATA, declarations,
// processing instructions and tags, taking each of those at its longest
// plausible extent. A parser can therefore never nest deeper than counted.

constexpr std::string_view xmlSpace = " \t\r\n";

std::size_t endAfter(std::string_view xml, std::size_t from, std::string_view terminator)
{
    auto found = xml.find(terminator, from);
    return found == std::string_view::npos ? xml.size() : found + terminator.size();
}

// The end of "<!…>" or "<tag …>" starting at `from`, honouring quotes and
// (for declarations) an internal subset in brackets.
std::size_t endOfMarkup(std::string_view xml, std::size_t from)
{
    int brackets = 0;
    char quote = 0;
    for (std::size_t i = from; i < xml.size(); ++i) {
        char c = xml[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            brackets = brackets > 0 ? brackets - 1 : 0;
        } else if (c == '>' && brackets == 0) {
            return i + 1;
        }
    }
    return xml.size();
}

bool isContainerName(std::string_view xml, std::size_t at)
{
    return startsWithIgnoringCase(xml, at, "dict") || startsWithIgnoringCase(xml, at, "array");
}

bool xmlWithinBounds(std::string_view xml)
{
    int depth = 0;
    std::size_t quietUntil = 0;  // closing tags before this offset do not count
    for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
        const bool quiet = at < quietUntil;
        if (!quiet) {
            if (startsWith(xml, at, "<!--"))
                quietUntil = endAfter(xml, at + 4, "-->");
            else if (startsWith(xml, at, "<![CDATA["))
                quietUntil = endAfter(xml, at + 9, "]]>");
            else if (startsWith(xml, at, "<?"))
                quietUntil = endAfter(xml, at + 2, "?>");
            else
                quietUntil = endOfMarkup(xml, at + 1);
        }

        if (startsWith(xml, at, "</")) {
            if (quiet || !isContainerName(xml, at + 2))
                continue;
            std::size_t name = at + 2;
            std::size_t afterName = name + (startsWith(xml, name, "dict") ? 4 : startsWith(xml, name, "array") ? 5 : 0);
            if (afterName == name)
                continue;
            auto close = xml.find_first_not_of(xmlSpace, afterName);
            if (close != std::string_view::npos && xml[close] == '>' && depth > 0)
                --depth;
        } else if (isContainerName(xml, at + 1)) {
            std::size_t name = at + 1;
            std::size_t afterName = name + (startsWith(xml, name, "dict") ? 4 : startsWith(xml, name, "array") ? 5 : 0);
            const bool empty = afterName != name && startsWith(xml, xml.find_first_not_of(xmlSpace, afterName), "/>");
            if (!empty && ++depth > maxPropertyListDepth)
                return false;
        }
    }
    return true;
}

// --- Binary ----------------------------------------------------------------
//
// Walks the object graph from the top object the way a parser expands it:
// every reference is one more value, so shared objects count once per use.

std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at, std::size_t size)
{
    if (size == 0 || size > 8 || at > bytes.size() || bytes.size() - at < size)
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

bool binaryWithinBounds(std::string_view bytes)
{
    constexpr std::size_t trailerSize = 32;
    if (bytes.size() < binaryMagic.size() + trailerSize)
        return false;
    const std::uint64_t trailer = bytes.size() - trailerSize;
    const std::size_t offsetSize = static_cast<std::uint8_t>(bytes[trailer + 6]);
    const std::size_t refSize = static_cast<std::uint8_t>(bytes[trailer + 7]);
    const auto objectCount = bigEndian(bytes, trailer + 8, 8);
    const auto topObject = bigEndian(bytes, trailer + 16, 8);
    const auto offsetTable = bigEndian(bytes, trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || *objectCount == 0 ||
        *topObject >= *objectCount || *offsetTable < binaryMagic.size() || *offsetTable > trailer ||
        (trailer - *offsetTable) / offsetSize < *objectCount)
        return false;

    struct Pending {
        std::uint64_t object;
        int depth;  // containers around it
    };
    std::vector<Pending> pending{{*topObject, 0}};
    std::size_t values = 0;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        ++values;

        const auto at = bigEndian(bytes, *offsetTable + next.object * offsetSize, offsetSize);
        if (!at || *at < binaryMagic.size() || *at >= trailer)
            return false;
        const auto marker = static_cast<std::uint8_t>(bytes[*at]);
        const unsigned type = marker >> 4;
        const bool dictionary = type == 0xD;
        if (type != 0xA && type != 0xB && type != 0xC && !dictionary)
            continue;
        if (next.depth + 1 > maxPropertyListDepth)
            return false;

        std::uint64_t count = marker & 0xF;
        std::uint64_t refsAt = *at + 1;
        if (count == 0xF) {
            if (refsAt >= trailer)
                return false;
            const auto sizeMarker = static_cast<std::uint8_t>(bytes[refsAt]);
            if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3)
                return false;
            const std::size_t size = std::size_t{1} << (sizeMarker & 0xF);
            const auto large = bigEndian(bytes, refsAt + 1, size);
            if (!large)
                return false;
            count = *large;
            refsAt += 1 + size;
        }
        if (count > maxPropertyListValues)
            return false;
        const std::uint64_t refs = dictionary ? count * 2 : count;
        if (values + pending.size() + refs > maxPropertyListValues)
            return false;
        if (refsAt > trailer || (trailer - refsAt) / refSize < refs)
            return false;
        for (std::uint64_t i = 0; i < refs; ++i) {
            const auto ref = bigEndian(bytes, refsAt + i * refSize, refSize);
            if (!ref || *ref >= *objectCount)
                return false;
            pending.push_back({*ref, next.depth + 1});
        }
    }
    return true;
}

} // namespace

bool propertyListWithinBounds(std::string_view bytes)
{
    if (bytes.starts_with(binaryMagic))
        return binaryWithinBounds(bytes);
    // Another binary version would reach a parser that this walk does not know.
    if (bytes.starts_with("bplist"))
        return false;
    return xmlWithinBounds(bytes);
}

} // namespace hb::platform
