#include "app/views/text_field_accessible.h"

#include <QAccessibleWidget>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QValidator>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace hb::views {
namespace {

// The places between pieces of `text`, 0 and its length included, in order.
std::vector<int> pieceBounds(const QString& text, QAccessible::TextBoundaryType boundary)
{
    const int length = int(text.size());
    std::vector<int> bounds{0};
    const auto finderType = [&]() -> std::optional<QTextBoundaryFinder::BoundaryType> {
        switch (boundary) {
        case QAccessible::CharBoundary:
            return QTextBoundaryFinder::Grapheme;
        case QAccessible::WordBoundary:
            return QTextBoundaryFinder::Word;
        case QAccessible::SentenceBoundary:
            return QTextBoundaryFinder::Sentence;
        default:
            return std::nullopt;
        }
    }();
    if (finderType) {
        // Reads the finder's marks position by position: its own stepping
        // (toNextBoundary) reports the end as -1, which Qt's loops missed.
        QTextBoundaryFinder finder(*finderType, text);
        for (int position = 1; position < length; ++position) {
            finder.setPosition(position);
            if (finder.boundaryReasons() & (QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem))
                bounds.push_back(position);
        }
    } else if (boundary == QAccessible::LineBoundary || boundary == QAccessible::ParagraphBoundary) {
        for (int position = 1; position < length; ++position)
            if (text[position - 1] == QLatin1Char('\n'))
                bounds.push_back(position);
    }
    if (length > 0)
        bounds.push_back(length);
    return bounds;
}

} // namespace

TextSpan textPiece(const QString& text, QAccessible::TextBoundaryType boundary, int offset, TextPlace place)
{
    const int length = int(text.size());
    if (offset == -1)
        offset = length; // the end, as Qt's callers mean it
    if (length == 0 || offset < 0 || offset > length)
        return {};
    const std::vector<int> bounds = pieceBounds(text, boundary);
    const int pieces = int(bounds.size()) - 1;
    // The piece holding the offset; at the end, the last one, save for characters.
    int index = int(std::ranges::upper_bound(bounds, offset) - bounds.begin()) - 1;
    if (index == pieces && boundary != QAccessible::CharBoundary)
        index = pieces - 1;
    if (boundary == QAccessible::NoBoundary && place != TextPlace::at)
        return {length, length};
    switch (place) {
    case TextPlace::before:
        --index;
        break;
    case TextPlace::after:
        ++index;
        break;
    case TextPlace::at:
        break;
    }
    if (index < 0)
        return {0, 0};
    if (index >= pieces)
        return {length, length};
    return {bounds[index], bounds[index + 1]};
}

namespace {

class TextFieldAccessible : public QAccessibleWidget,
                            public QAccessibleTextInterface,
                            public QAccessibleEditableTextInterface {
public:
    explicit TextFieldAccessible(QLineEdit* field) : QAccessibleWidget(field, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (field()->isReadOnly())
            state.readOnly = true;
        else
            state.editable = true;
        state.passwordEdit = field()->echoMode() != QLineEdit::Normal;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text type) const override
    {
        QString text;
        if (type == QAccessible::Value)
            text = shown();
        if (text.isEmpty())
            text = QAccessibleWidget::text(type);
        if (text.isEmpty() && type == QAccessible::Description)
            text = field()->placeholderText();
        return text;
    }

    void setText(QAccessible::Text type, const QString& text) override
    {
        if (type != QAccessible::Value) {
            QAccessibleWidget::setText(type, text);
            return;
        }
        replaceAll(text);
    }

    // Text
    void selection(int index, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (index != 0 || !field()->hasSelectedText())
            return;
        *startOffset = field()->selectionStart();
        *endOffset = field()->selectionEnd();
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            field()->deselect();
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            field()->setSelection(startOffset, endOffset - startOffset);
    }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setCursorPosition(position); }
    QString text(int startOffset, int endOffset) const override
    {
        if (startOffset < 0 || endOffset < startOffset)
            return {};
        return shown().mid(startOffset, endOffset - startOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override
    {
        return piece(offset, boundary, TextPlace::before, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override
    {
        return piece(offset, boundary, TextPlace::after, start, end);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override
    {
        return piece(offset, boundary, TextPlace::at, start, end);
    }
    int characterCount() const override { return int(shown().size()); }
    QRect characterRect(int offset) const override
    {
        const QString text = field()->displayText();
        if (offset < 0 || offset >= text.size())
            return {};
        // Laid out as the field lays out its text, without the scrolling of a text longer than the field.
        QTextLayout layout(text, field()->font());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        if (!line.isValid())
            return {};
        const qreal left = line.cursorToX(offset), right = line.cursorToX(offset + 1);
        const QRect contents = textArea();
        const QRect local(contents.left() + int(std::min(left, right)), contents.top(),
                          std::max(1, int(std::abs(right - left))), contents.height());
        return QRect(field()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return field()->cursorPositionAt(field()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        field()->setCursorPosition(endIndex);
        field()->setCursorPosition(startIndex);
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

    // Editable text
    void deleteText(int startOffset, int endOffset) override
    {
        if (startOffset >= 0 && endOffset >= startOffset)
            replaceAll(field()->text().remove(startOffset, endOffset - startOffset));
    }
    void insertText(int offset, const QString& text) override
    {
        if (offset >= 0 && offset <= field()->text().size())
            replaceAll(field()->text().insert(offset, text));
    }
    void replaceText(int startOffset, int endOffset, const QString& text) override
    {
        if (startOffset >= 0 && endOffset >= startOffset)
            replaceAll(field()->text().replace(startOffset, endOffset - startOffset, text));
    }

private:
    QLineEdit* field() const { return static_cast<QLineEdit*>(widget()); }

    // What the field shows: its text, or a star for each character of a
    // password, or nothing when it echoes nothing.
    QString shown() const
    {
        switch (field()->echoMode()) {
        case QLineEdit::Normal:
            return field()->text();
        case QLineEdit::NoEcho:
            return {};
        default:
            return QString(field()->text().size(), QLatin1Char('*'));
        }
    }

    QString piece(int offset, QAccessible::TextBoundaryType boundary, TextPlace place, int* start, int* end) const
    {
        const QString text = shown();
        const TextSpan span = textPiece(text, boundary, offset, place);
        *start = span.start;
        *end = span.end;
        return text.mid(span.start, span.end - span.start);
    }

    void replaceAll(QString text)
    {
        if (const QValidator* validator = field()->validator()) {
            int position = 0;
            if (validator->validate(text, position) != QValidator::Acceptable)
                return;
        }
        field()->setText(text);
    }

    QRect textArea() const
    {
        QStyleOptionFrame option;
        option.initFrom(field());
        option.lineWidth =
            field()->hasFrame() ? field()->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field()) : 0;
        const QRect contents = field()->style()->subElementRect(QStyle::SE_LineEditContents, &option, field());
        return contents.marginsRemoved(field()->textMargins());
    }
};

} // namespace

QAccessibleInterface* textFieldAccessible(const QString&, QObject* object)
{
    auto* field = qobject_cast<QLineEdit*>(object);
    return field ? new TextFieldAccessible(field) : nullptr;
}

} // namespace hb::views
