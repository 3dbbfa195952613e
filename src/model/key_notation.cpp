#include "model/key_notation.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <unordered_map>

namespace hb::notation {
namespace {

using NameTable = std::unordered_map<std::int64_t, std::string_view>;

const NameTable& functionKeys()
{
    // clang-format off
    static const NameTable table{
        {0xF700, "↑"},   {0xF701, "↓"},   {0xF702, "←"},   {0xF703, "→"},   {0xF728, "⌦"},   {0xF729, "↖"},
        {0xF72B, "↘"},   {0xF72C, "⇞"},   {0xF72D, "⇟"},   {0xF704, "F1"},  {0xF705, "F2"},  {0xF706, "F3"},
        {0xF707, "F4"},  {0xF708, "F5"},  {0xF709, "F6"},  {0xF70A, "F7"},  {0xF70B, "F8"},  {0xF70C, "F9"},
        {0xF70D, "F10"}, {0xF70E, "F11"}, {0xF70F, "F12"}, {0xF710, "F13"}, {0xF711, "F14"}, {0xF712, "F15"},
        {0xF713, "F16"}, {0xF714, "F17"}, {0xF715, "F18"}, {0xF716, "F19"}, {0xF717, "F20"},
        // Keys of PC keyboards that Linux applications and desktops bind.
        {0xF727, "Ins"}, {0xF72E, "Print"}, {0xF730, "Pause"}, {0xF735, "Menu"},
    };
    // clang-format on
    return table;
}

const NameTable& menuGlyphs()
{
    // clang-format off
    static const NameTable table{
        {2, "⇥"},   {3, "⇤"},   {4, "⌅"},   {9, "Space"}, {10, "⌦"},  {11, "↩"},  {13, "↩"},
        {17, "⌘"},  {23, "⌫"},  {27, "⎋"},  {28, "⌧"},    {98, "⇞"},  {99, "⇪"},  {100, "←"},
        {101, "→"}, {102, "↖"}, {104, "↑"}, {105, "↘"},   {106, "↓"}, {107, "⇟"},
    };
    // clang-format on
    return table;
}

const NameTable& virtualKeys()
{
    // clang-format off
    static const NameTable table{
        {36, "↩"},   {76, "⌅"},   {48, "⇥"},   {49, "Space"}, {51, "⌫"},   {117, "⌦"},  {53, "⎋"},
        {71, "⌧"},   {115, "↖"},  {119, "↘"},  {116, "⇞"},    {121, "⇟"},  {123, "←"},  {124, "→"},
        {126, "↑"},  {125, "↓"},  {122, "F1"}, {120, "F2"},   {99, "F3"},  {118, "F4"}, {96, "F5"},
        {97, "F6"},  {98, "F7"},  {100, "F8"}, {101, "F9"},   {109, "F10"}, {103, "F11"}, {111, "F12"},
        {105, "F13"}, {107, "F14"}, {113, "F15"}, {106, "F16"}, {64, "F17"}, {79, "F18"}, {80, "F19"},
        {90, "F20"},
    };
    // clang-format on
    return table;
}

const NameTable& ansiKeys()
{
    // clang-format off
    static const NameTable table{
        {0, "A"},   {1, "S"},   {2, "D"},   {3, "F"},   {4, "H"},   {5, "G"},   {6, "Z"},   {7, "X"},
        {8, "C"},   {9, "V"},   {10, "§"},  {11, "B"},  {12, "Q"},  {13, "W"},  {14, "E"},  {15, "R"},
        {16, "Y"},  {17, "T"},  {18, "1"},  {19, "2"},  {20, "3"},  {21, "4"},  {22, "6"},  {23, "5"},
        {24, "="},  {25, "9"},  {26, "7"},  {27, "-"},  {28, "8"},  {29, "0"},  {30, "]"},  {31, "O"},
        {32, "U"},  {33, "["},  {34, "I"},  {35, "P"},  {37, "L"},  {38, "J"},  {39, "'"},  {40, "K"},
        {41, ";"},  {42, "\\"}, {43, ","},  {44, "/"},  {45, "N"},  {46, "M"},  {47, "."},  {50, "`"},
        {65, "."},  {67, "*"},  {69, "+"},  {75, "/"},  {78, "-"},  {81, "="},  {82, "0"},  {83, "1"},
        {84, "2"},  {85, "3"},  {86, "4"},  {87, "5"},  {88, "6"},  {89, "7"},  {91, "8"},  {92, "9"},
    };
    // clang-format on
    return table;
}

std::optional<std::string_view> lookup(const NameTable& table, std::int64_t key)
{
    auto found = table.find(key);
    if (found == table.end())
        return std::nullopt;
    return found->second;
}

// A character that names its own key: printable ASCII, or a letter, digit,
// punctuation or symbol of another script (é, ß, ø on European layouts).
bool namesItsKey(char32_t c)
{
    if (c >= 0x21 && c <= 0x7E)
        return true;
    return c >= 0xA1 && c < 0xF700 && u_isgraph(static_cast<UChar32>(c));
}

// Upper case one scalar at a time, so that a key keeps one character (ß stays ß).
std::string upperCased(std::string_view utf8)
{
    std::string result;
    result.reserve(utf8.size());
    std::int32_t offset = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(utf8.size());
    while (offset < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, offset, length, c);
        if (c < 0)
            c = 0xFFFD;
        result += utf8Encoded(static_cast<char32_t>(u_toupper(c)));
    }
    return result;
}

std::optional<std::string> nameOfCharacter(char32_t c)
{
    if (c >= 0xF700) {
        if (auto name = functionKeyName(c))
            return std::string(*name);
        return std::nullopt;
    }
    switch (c) {
    case 3:
    case 13:
        return "↩";
    case 8:
    case 127:
        return "⌫";
    case 9:
        return "⇥";
    case 27:
        return "⎋";
    case 32:
        return "Space";
    default:
        break;
    }
    if (namesItsKey(c))
        return upperCased(utf8Encoded(c));
    return std::nullopt;
}

} // namespace

std::optional<std::string_view> functionKeyName(char32_t scalar)
{
    return lookup(functionKeys(), scalar);
}
std::optional<std::string_view> menuGlyphName(std::int64_t glyph)
{
    return lookup(menuGlyphs(), glyph);
}
std::optional<std::string_view> virtualKeyName(std::int64_t keyCode)
{
    return lookup(virtualKeys(), keyCode);
}
std::optional<std::string_view> ansiKeyName(std::int64_t keyCode)
{
    return lookup(ansiKeys(), keyCode);
}

std::string utf8Encoded(char32_t scalar)
{
    if (scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF))
        scalar = 0xFFFD;
    std::uint8_t bytes[U8_MAX_LENGTH];
    std::int32_t size = 0;
    [[maybe_unused]] UBool failed = false;
    U8_APPEND(bytes, size, U8_MAX_LENGTH, static_cast<UChar32>(scalar), failed);
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

std::optional<char32_t> firstScalar(std::string_view utf8)
{
    if (utf8.empty())
        return std::nullopt;
    std::int32_t offset = 0;
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(utf8.data()), offset, static_cast<std::int32_t>(utf8.size()), c);
    return c < 0 ? char32_t{0xFFFD} : static_cast<char32_t>(c);
}

std::string menuModifierGlyphs(std::int64_t mask)
{
    std::string glyphs;
    if (mask & menuMask::control)
        glyphs += control;
    if (mask & menuMask::option)
        glyphs += option;
    if (mask & menuMask::shift)
        glyphs += shift;
    if (!(mask & menuMask::noCommand))
        glyphs += command;
    return glyphs;
}

int menuModifierMask(std::uint64_t flags)
{
    int mask = 0;
    if (flags & eventFlag::shift)
        mask += menuMask::shift;
    if (flags & eventFlag::option)
        mask += menuMask::option;
    if (flags & eventFlag::control)
        mask += menuMask::control;
    if (!(flags & eventFlag::command))
        mask += menuMask::noCommand;
    return mask;
}

std::optional<std::string> menuKeyName(const std::optional<std::string>& character,
                                       std::optional<std::int64_t> virtualKey, std::optional<std::int64_t> glyph)
{
    if (character) {
        if (auto c = firstScalar(*character))
            if (auto name = nameOfCharacter(*c))
                return name;
    }
    if (glyph && *glyph != 0)
        if (auto name = menuGlyphName(*glyph))
            return std::string(*name);
    if (virtualKey) {
        if (auto name = virtualKeyName(*virtualKey))
            return std::string(*name);
        if (auto name = ansiKeyName(*virtualKey))
            return std::string(*name);
    }
    return std::nullopt;
}

std::optional<std::string> menuKeyNotation(const std::optional<std::string>& character,
                                           std::optional<std::int64_t> virtualKey, std::optional<std::int64_t> glyph,
                                           std::optional<std::int64_t> modifierMask)
{
    auto name = menuKeyName(character, virtualKey, glyph);
    if (!name)
        return std::nullopt;
    return menuModifierGlyphs(modifierMask.value_or(0)) + *name;
}

std::optional<std::string> eventKeyNotation(std::int64_t keyCode, std::uint64_t flags,
                                            const std::optional<std::string>& characters)
{
    // Command is written only when its flag is set, as the menu mask's no-Command bit says.
    std::string notation = menuModifierGlyphs(menuModifierMask(flags));

    if (auto name = virtualKeyName(keyCode))
        return notation + std::string(*name);
    auto c = characters ? firstScalar(*characters) : std::nullopt;
    if (!c) {
        if (auto name = ansiKeyName(keyCode))
            return notation + std::string(*name);
        return std::nullopt;
    }
    if (*c >= 0xF700) {
        if (auto name = functionKeyName(*c))
            return notation + std::string(*name);
        return std::nullopt;
    }
    if (*c == 32)
        return notation + "Space";
    if (namesItsKey(*c))
        return notation + upperCased(*characters);
    return std::nullopt;
}

} // namespace hb::notation
