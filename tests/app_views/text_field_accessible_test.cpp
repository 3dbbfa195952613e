// Hintboard's own text interface for line edits: every piece a screen reader
// asks for comes back, and the pieces are the ones it expects.
#include "app/views/text_field_accessible.h"

#include <gmock/gmock.h>

#include <QAccessible>
#include <QLineEdit>

namespace hb::views {
namespace {

using Place = TextPlace;
constexpr auto character = QAccessible::CharBoundary, word = QAccessible::WordBoundary,
               sentence = QAccessible::SentenceBoundary, line = QAccessible::LineBoundary,
               whole = QAccessible::NoBoundary;

const QString emoji = QString::fromUtf8("👍🏽 ok");         // a surrogate pair with its modifier: 4 units
const QString combining = QString::fromUtf8("e\u0301te\u0301"); // "été" with combining accents
const QString rightToLeft = QString::fromUtf8("שלום עולם");

// The factory, installed for one test.
struct Installed {
    Installed() { QAccessible::installFactory(textFieldAccessible); }
    ~Installed() { QAccessible::removeFactory(textFieldAccessible); }
};

struct Case {
    QString text;
    QAccessible::TextBoundaryType boundary;
    int offset;
    Place place;
    TextSpan expected;
};

TEST(TextPiece, PiecesAreThoseAScreenReaderReads)
{
    const Case cases[] = {
        {"save as", character, 7, Place::at, {7, 7}}, {"save as", character, 7, Place::before, {6, 7}},
        {"save as", word, 0, Place::at, {0, 4}},      {"save as", word, 4, Place::at, {4, 5}},
        {"save as", word, 7, Place::at, {5, 7}}, // the end: the last word, where Qt's own looped
        {"save as", word, 2, Place::after, {4, 5}},   {"save as", word, 5, Place::before, {4, 5}},
        {"save as", word, 0, Place::before, {0, 0}},  {"save as", word, 6, Place::after, {7, 7}},
        {"save as", sentence, 3, Place::at, {0, 7}},  {"save as", whole, 3, Place::at, {0, 7}},
        {"   ", word, 1, Place::at, {0, 3}},          {"", word, 0, Place::at, {0, 0}},
        {"save", word, 9, Place::at, {0, 0}},         {"save", word, -1, Place::at, {0, 4}},    // -1 is the end
        {emoji, character, 0, Place::at, {0, 4}},     {emoji, character, 1, Place::at, {0, 4}}, // inside the pair
        {emoji, character, 0, Place::after, {4, 5}},  {combining, character, 0, Place::at, {0, 2}},
        {combining, word, 4, Place::at, {0, 5}},      {rightToLeft, word, 1, Place::at, {0, 4}},
        {"one\ntwo", line, 5, Place::at, {4, 7}},     {"Save it. Then quit.", sentence, 12, Place::at, {9, 19}},
    };
    for (const auto& [text, boundary, offset, place, expected] : cases)
        EXPECT_EQ(textPiece(text, boundary, offset, place), expected)
            << text.toStdString() << " boundary " << boundary << " offset " << offset << " place " << int(place);
}

TEST(TextFieldAccessible, PasswordsAreReadAsStars)
{
    Installed factory;
    QLineEdit field("secret");
    field.setEchoMode(QLineEdit::Password);
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&field);
    EXPECT_TRUE(element->state().passwordEdit);
    int start = 0, end = 0;
    EXPECT_EQ(element->textInterface()->textAtOffset(0, word, &start, &end), QString(6, '*'));
    element->editableTextInterface()->insertText(6, "!");
    EXPECT_EQ(field.text(), "secret!");
}

} // namespace
} // namespace hb::views
