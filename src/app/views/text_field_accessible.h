#pragma once

#include <QAccessible>

class QAccessibleInterface;
class QObject;
class QString;

namespace hb::views {

// Where a piece of text lies in a string: [start, end) in UTF-16 units.
struct TextSpan {
    int start = 0;
    int end = 0;
    friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

enum class TextPlace { before, at, after };

// The character, word, sentence or line at, before or after `offset` in
// `text`. Each answer takes one pass over the text, whatever the offset
// (out of range ones included); an empty span when there is no such piece.
TextSpan textPiece(const QString& text, QAccessible::TextBoundaryType boundary, int offset, TextPlace place);

// The accessibility factory for line edits (and the fields inside spin and
// combo boxes). Qt 6.4's own interface looks for the word at the end of the
// text without end, freezing the program the moment a screen reader reads a
// word; this one finds its pieces with textPiece.
QAccessibleInterface* textFieldAccessible(const QString& className, QObject* object);

} // namespace hb::views
