#include "base/property_list_guard.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_set>
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

// Whether a tag name at `at` may be taken for a container: any case, any suffix.
bool mayNameContainer(std::string_view xml, std::size_t at)
{
    return startsWithIgnoringCase(xml, at, "dict") || startsWithIgnoringCase(xml, at, "array");
}

// The length of an exact "dict" or "array" at `at`, else 0.
std::size_t containerNameLength(std::string_view xml, std::size_t at)
{
    return startsWith(xml, at, "dict") ? 4 : startsWith(xml, at, "array") ? 5 : 0;
}

bool xmlWithinBounds(std::string_view xml)
{
    int depth = 0;
    std::size_t quietUntil = 0; // closing tags before this offset do not count
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
            const std::size_t length = quiet ? 0 : containerNameLength(xml, at + 2);
            if (length == 0)
                continue;
            const auto close = xml.find_first_not_of(xmlSpace, at + 2 + length);
            if (close != std::string_view::npos && xml[close] == '>' && depth > 0)
                --depth;
        } else if (mayNameContainer(xml, at + 1)) {
            const std::size_t length = containerNameLength(xml, at + 1);
            const bool empty = length > 0 && startsWith(xml, xml.find_first_not_of(xmlSpace, at + 1 + length), "/>");
            if (!empty && ++depth > maxPropertyListDepth)
                return false;
        }
    }
    return true;
}

// Whether the document ends with its closing "</plist>": a list cut short or
// followed by anything but white space is not used in part.
bool xmlComplete(std::string_view xml)
{
    const auto end = xml.find_last_not_of(xmlSpace);
    constexpr std::string_view closing = "</plist>";
    return end != std::string_view::npos && end + 1 >= closing.size()
           && xml.substr(end + 1 - closing.size(), closing.size()) == closing;
}

// Whether a decimal integer fits in 64 bits, signed when negative.
bool decimalFits(std::string_view text)
{
    const auto first = text.find_first_not_of(xmlSpace);
    if (first == std::string_view::npos)
        return true;
    text.remove_prefix(first);
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+')
        text.remove_prefix(1);
    constexpr std::uint64_t maxMagnitude = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (maxMagnitude - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    return !negative || magnitude <= std::uint64_t{1} << 63;
}

// A parser would wrap an integer beyond 64 bits into another number.
bool xmlIntegersFit(std::string_view xml)
{
    constexpr std::string_view open = "<integer>";
    for (auto at = xml.find(open); at != std::string_view::npos; at = xml.find(open, at + 1)) {
        const auto start = at + open.size();
        const auto end = xml.find('<', start);
        if (!decimalFits(xml.substr(start, end == std::string_view::npos ? end : end - start)))
            return false;
    }
    return true;
}

// --- Binary ----------------------------------------------------------------
//
// Walks the object graph from the top object the way a parser expands it:
// every reference is one more value, so shared objects count once per use.
// Dictionary keys must be texts without U+0000: libplist asserts (aborts)
// when it hands out such a key.

std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at, std::size_t size)
{
    if (size == 0 || size > 8 || at > bytes.size() || bytes.size() - at < size)
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

class BinaryPropertyList {
public:
    // The list's trailer, when it is consistent.
    static std::optional<BinaryPropertyList> open(std::string_view bytes)
    {
        if (bytes.size() < binaryMagic.size() + trailerSize)
            return std::nullopt;
        BinaryPropertyList list(bytes);
        const std::uint64_t trailer = list.trailer_;
        list.offsetSize_ = static_cast<std::uint8_t>(bytes[trailer + 6]);
        list.refSize_ = static_cast<std::uint8_t>(bytes[trailer + 7]);
        list.objectCount_ = *bigEndian(bytes, trailer + 8, 8);
        list.topObject_ = *bigEndian(bytes, trailer + 16, 8);
        list.offsetTable_ = *bigEndian(bytes, trailer + 24, 8);
        if (list.offsetSize_ < 1 || list.offsetSize_ > 8 || list.refSize_ < 1 || list.refSize_ > 8
            || list.topObject_ >= list.objectCount_ || list.offsetTable_ < binaryMagic.size()
            || !list.fits(list.offsetTable_, list.objectCount_, list.offsetSize_))
            return std::nullopt;
        return list;
    }

    bool safeToParse() const
    {
        struct Pending {
            std::uint64_t object;
            int depth; // containers around it
        };
        const std::uint64_t valueLimit =
            std::min<std::uint64_t>(maxPropertyListValues, objectCount_ * maxValuesPerObject + valueAllowance);
        const std::uint64_t byteLimit = bytes_.size() * maxExpansionPerByte + byteAllowance;
        std::vector<Pending> pending{{topObject_, 0}};
        std::uint64_t values = 0;
        std::uint64_t expandedBytes = 0;
        // A key shared by many dictionaries is scanned once, not once per use.
        std::unordered_set<std::uint64_t> checkedKeys;
        while (!pending.empty()) {
            const Pending next = pending.back();
            pending.pop_back();
            ++values;

            const auto object = objectAt(next.object);
            if (!object)
                return false;
            expandedBytes += payloadSize(*object);
            if (expandedBytes > byteLimit || (object->type == 0x1 && !integerFits(*object)))
                return false;
            const bool dictionary = object->type == 0xD;
            if (object->type != 0xA && object->type != 0xB && object->type != 0xC && !dictionary)
                continue;
            if (next.depth + 1 > maxPropertyListDepth || object->count > valueLimit)
                return false;
            const std::uint64_t refs = dictionary ? object->count * 2 : object->count;
            if (values + pending.size() + refs > valueLimit || !fits(object->payloadAt, refs, refSize_))
                return false;
            for (std::uint64_t i = 0; i < refs; ++i) {
                const auto ref = bigEndian(bytes_, object->payloadAt + i * refSize_, refSize_);
                const bool isKey = dictionary && i < object->count;
                if (!ref || *ref >= objectCount_ || (isKey && !readableKeyOnce(*ref, checkedKeys)))
                    return false;
                pending.push_back({*ref, next.depth + 1});
            }
        }
        return true;
    }

private:
    static constexpr std::size_t trailerSize = 32;

    struct Object {
        unsigned type;       // the high half of the marker byte
        std::uint64_t count; // elements, characters or bytes
        std::uint64_t payloadAt;
    };

    explicit BinaryPropertyList(std::string_view bytes) : bytes_(bytes), trailer_(bytes.size() - trailerSize) {}

    // Whether `count` items of `size` bytes from `at` lie before the trailer.
    bool fits(std::uint64_t at, std::uint64_t count, std::size_t size) const
    {
        return at <= trailer_ && (trailer_ - at) / size >= count;
    }

    std::optional<Object> objectAt(std::uint64_t object) const
    {
        const auto at = bigEndian(bytes_, offsetTable_ + object * offsetSize_, offsetSize_);
        if (!at || *at < binaryMagic.size() || !fits(*at, 1, 1))
            return std::nullopt;
        const auto marker = static_cast<std::uint8_t>(bytes_[*at]);
        Object result{static_cast<unsigned>(marker >> 4), marker & 0xFu, *at + 1};
        if (result.count == 0xF) {
            // The count follows as an integer object of 1, 2, 4 or 8 bytes.
            if (!fits(result.payloadAt, 1, 1))
                return std::nullopt;
            const auto sizeMarker = static_cast<std::uint8_t>(bytes_[result.payloadAt]);
            if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3)
                return std::nullopt;
            const std::size_t size = std::size_t{1} << (sizeMarker & 0xF);
            const auto count = bigEndian(bytes_, result.payloadAt + 1, size);
            if (!count)
                return std::nullopt;
            result.count = *count;
            result.payloadAt += 1 + size;
        }
        return result;
    }

    // The bytes a parser copies for one use of the object (its references
    // are counted as the values they lead to).
    static std::uint64_t payloadSize(const Object& object)
    {
        switch (object.type) {
        case 0x1:
            return std::uint64_t{1} << (object.count & 0x7); // integer of 2^n bytes
        case 0x2:
            return 8; // real
        case 0x3:
            return 8; // date
        case 0x4:
        case 0x5:
        case 0x7:
            return object.count; // data, ASCII, UTF-8
        case 0x6:
            return object.count * 2; // UTF-16
        default:
            return 0;
        }
    }

    // Integers of 1 to 8 bytes, and of 16 bytes when the value fits in 64 bits
    // (writers use 16 bytes for unsigned values above the signed range).
    bool integerFits(const Object& integer) const
    {
        if (integer.count <= 3)
            return fits(integer.payloadAt, std::uint64_t{1} << integer.count, 1);
        if (integer.count != 4 || !fits(integer.payloadAt, 16, 1))
            return false;
        return bigEndian(bytes_, integer.payloadAt, 8) == 0u;
    }

    bool readableKeyOnce(std::uint64_t object, std::unordered_set<std::uint64_t>& checked) const
    {
        if (checked.contains(object))
            return true;
        if (!isReadableKey(object))
            return false;
        checked.insert(object);
        return true;
    }

    // An ASCII, UTF-16 or UTF-8 text without U+0000.
    bool isReadableKey(std::uint64_t object) const
    {
        const auto key = objectAt(object);
        if (!key || key->type < 0x5 || key->type > 0x7)
            return false;
        const std::size_t unit = key->type == 0x6 ? 2 : 1;
        if (!fits(key->payloadAt, key->count, unit))
            return false;
        for (std::uint64_t i = 0; i < key->count; ++i) {
            const auto at = key->payloadAt + i * unit;
            if (bytes_[at] == 0 && (unit == 1 || bytes_[at + 1] == 0))
                return false;
        }
        return true;
    }

    std::string_view bytes_;
    std::uint64_t trailer_; // where the trailer starts
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::uint64_t offsetTable_ = 0;
};

} // namespace

bool propertyListSafeToParse(std::string_view bytes)
{
    if (bytes.starts_with(binaryMagic)) {
        auto list = BinaryPropertyList::open(bytes);
        return list && list->safeToParse();
    }
    // Another binary version would reach a parser that this walk does not know.
    if (bytes.starts_with("bplist"))
        return false;
    return xmlComplete(bytes) && xmlIntegersFit(bytes) && xmlWithinBounds(bytes);
}

} // namespace hb::platform
