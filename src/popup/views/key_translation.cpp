#include "popup/views/key_translation.h"

#include <QKeyEvent>

#include <unordered_map>

namespace hb::views {
namespace {

namespace flags = platform::modifier_flags;

struct KeyPlace {
    std::int64_t code;
    char character; // without Shift; 0 when the key has no text
};

const std::unordered_map<int, KeyPlace>& mainKeys()
{
    // clang-format off
    static const std::unordered_map<int, KeyPlace> keys{
        {Qt::Key_A, {0, 'a'}},   {Qt::Key_S, {1, 's'}},   {Qt::Key_D, {2, 'd'}},   {Qt::Key_F, {3, 'f'}},
        {Qt::Key_H, {4, 'h'}},   {Qt::Key_G, {5, 'g'}},   {Qt::Key_Z, {6, 'z'}},   {Qt::Key_X, {7, 'x'}},
        {Qt::Key_C, {8, 'c'}},   {Qt::Key_V, {9, 'v'}},   {Qt::Key_B, {11, 'b'}},  {Qt::Key_Q, {12, 'q'}},
        {Qt::Key_W, {13, 'w'}},  {Qt::Key_E, {14, 'e'}},  {Qt::Key_R, {15, 'r'}},  {Qt::Key_Y, {16, 'y'}},
        {Qt::Key_T, {17, 't'}},  {Qt::Key_O, {31, 'o'}},  {Qt::Key_U, {32, 'u'}},  {Qt::Key_I, {34, 'i'}},
        {Qt::Key_P, {35, 'p'}},  {Qt::Key_L, {37, 'l'}},  {Qt::Key_J, {38, 'j'}},  {Qt::Key_K, {40, 'k'}},
        {Qt::Key_N, {45, 'n'}},  {Qt::Key_M, {46, 'm'}},
        {Qt::Key_1, {18, '1'}},  {Qt::Key_2, {19, '2'}},  {Qt::Key_3, {20, '3'}},  {Qt::Key_4, {21, '4'}},
        {Qt::Key_6, {22, '6'}},  {Qt::Key_5, {23, '5'}},  {Qt::Key_9, {25, '9'}},  {Qt::Key_7, {26, '7'}},
        {Qt::Key_8, {28, '8'}},  {Qt::Key_0, {29, '0'}},
        // Shifted digits and punctuation keep the place of their key.
        {Qt::Key_Exclam, {18, '1'}},     {Qt::Key_At, {19, '2'}},         {Qt::Key_NumberSign, {20, '3'}},
        {Qt::Key_Dollar, {21, '4'}},     {Qt::Key_AsciiCircum, {22, '6'}}, {Qt::Key_Percent, {23, '5'}},
        {Qt::Key_ParenLeft, {25, '9'}},  {Qt::Key_Ampersand, {26, '7'}},  {Qt::Key_Asterisk, {28, '8'}},
        {Qt::Key_ParenRight, {29, '0'}},
        {Qt::Key_Equal, {24, '='}},      {Qt::Key_Plus, {24, '='}},       {Qt::Key_Minus, {27, '-'}},
        {Qt::Key_Underscore, {27, '-'}}, {Qt::Key_BracketRight, {30, ']'}}, {Qt::Key_BraceRight, {30, ']'}},
        {Qt::Key_BracketLeft, {33, '['}}, {Qt::Key_BraceLeft, {33, '['}}, {Qt::Key_Apostrophe, {39, '\''}},
        {Qt::Key_QuoteDbl, {39, '\''}},  {Qt::Key_Semicolon, {41, ';'}},  {Qt::Key_Colon, {41, ';'}},
        {Qt::Key_Backslash, {42, '\\'}}, {Qt::Key_Bar, {42, '\\'}},       {Qt::Key_Comma, {43, ','}},
        {Qt::Key_Less, {43, ','}},       {Qt::Key_Slash, {44, '/'}},      {Qt::Key_Question, {44, '/'}},
        {Qt::Key_Period, {47, '.'}},     {Qt::Key_Greater, {47, '.'}},    {Qt::Key_QuoteLeft, {50, '`'}},
        {Qt::Key_AsciiTilde, {50, '`'}},
        {Qt::Key_Return, {36, '\r'}},    {Qt::Key_Enter, {76, '\x03'}},   {Qt::Key_Tab, {48, '\t'}},
        {Qt::Key_Backtab, {48, '\t'}},   {Qt::Key_Space, {49, ' '}},      {Qt::Key_Backspace, {51, '\x7f'}},
        {Qt::Key_Escape, {53, '\x1b'}},
        {Qt::Key_Delete, {117, 0}},      {Qt::Key_Home, {115, 0}},        {Qt::Key_End, {119, 0}},
        {Qt::Key_PageUp, {116, 0}},      {Qt::Key_PageDown, {121, 0}},    {Qt::Key_Help, {114, 0}},
        {Qt::Key_Clear, {71, 0}},
        {Qt::Key_Left, {123, 0}},        {Qt::Key_Right, {124, 0}},       {Qt::Key_Down, {125, 0}},
        {Qt::Key_Up, {126, 0}},
        {Qt::Key_F1, {122, 0}},  {Qt::Key_F2, {120, 0}},  {Qt::Key_F3, {99, 0}},   {Qt::Key_F4, {118, 0}},
        {Qt::Key_F5, {96, 0}},   {Qt::Key_F6, {97, 0}},   {Qt::Key_F7, {98, 0}},   {Qt::Key_F8, {100, 0}},
        {Qt::Key_F9, {101, 0}},  {Qt::Key_F10, {109, 0}}, {Qt::Key_F11, {103, 0}}, {Qt::Key_F12, {111, 0}},
        {Qt::Key_F13, {105, 0}}, {Qt::Key_F14, {107, 0}}, {Qt::Key_F15, {113, 0}}, {Qt::Key_F16, {106, 0}},
        {Qt::Key_F17, {64, 0}},  {Qt::Key_F18, {79, 0}},  {Qt::Key_F19, {80, 0}},  {Qt::Key_F20, {90, 0}},
    };
    // clang-format on
    return keys;
}

const std::unordered_map<int, KeyPlace>& keypadKeys()
{
    // clang-format off
    static const std::unordered_map<int, KeyPlace> keys{
        {Qt::Key_0, {82, '0'}},        {Qt::Key_1, {83, '1'}},        {Qt::Key_2, {84, '2'}},
        {Qt::Key_3, {85, '3'}},        {Qt::Key_4, {86, '4'}},        {Qt::Key_5, {87, '5'}},
        {Qt::Key_6, {88, '6'}},        {Qt::Key_7, {89, '7'}},        {Qt::Key_8, {91, '8'}},
        {Qt::Key_9, {92, '9'}},        {Qt::Key_Period, {65, '.'}},   {Qt::Key_Comma, {65, '.'}},
        {Qt::Key_Asterisk, {67, '*'}}, {Qt::Key_Plus, {69, '+'}},     {Qt::Key_Slash, {75, '/'}},
        {Qt::Key_Minus, {78, '-'}},    {Qt::Key_Equal, {81, '='}},    {Qt::Key_Enter, {76, '\x03'}},
    };
    // clang-format on
    return keys;
}

} // namespace

std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers)
{
    std::uint64_t result = 0;
    if (modifiers & Qt::ShiftModifier)
        result |= flags::shift;
    if (modifiers & Qt::ControlModifier)
        result |= flags::control;
    if (modifiers & Qt::AltModifier)
        result |= flags::option;
    if (modifiers & Qt::MetaModifier)
        result |= flags::command;
    return result;
}

std::optional<std::uint64_t> modifierKeyFlag(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
        return flags::shift;
    case Qt::Key_Control:
        return flags::control;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return flags::option;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return flags::command;
    default:
        return std::nullopt;
    }
}

platform::KeyEvent keyEvent(const QKeyEvent& event)
{
    platform::KeyEvent key;
    key.modifierFlags = modifierFlags(event.modifiers());
    key.isRepeat = event.isAutoRepeat();

    const auto* table = &mainKeys();
    if (event.modifiers() & Qt::KeypadModifier && keypadKeys().contains(event.key()))
        table = &keypadKeys();
    if (auto found = table->find(event.key()); found != table->end()) {
        key.keyCode = found->second.code;
        if (found->second.character)
            key.characters = std::string(1, found->second.character);
        return key;
    }

    // A key off the US layout: its text, when it types one without Control or Super.
    key.keyCode = unknownKeyCode;
    const QString text = event.text();
    if (!text.isEmpty() && text.at(0).isPrint() && !(event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        key.characters = text.toLower().toStdString();
    return key;
}

} // namespace hb::views
