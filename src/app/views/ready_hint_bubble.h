#pragma once

#include <QWidget>

class QLabel;

namespace hb::views {

// A small frameless bubble beside the status icon: a bold title and one line
// of text. It never takes the keyboard; a click on it closes it.
class ReadyHintBubble final : public QWidget {
    Q_OBJECT

public:
    ReadyHintBubble();

    void setTexts(const QString& title, const QString& text);
    // Next to `anchor` (the icon's screen rectangle), on the side of the
    // screen that has room; at the screen's corner when the anchor is empty.
    void showNear(const QRect& anchor);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* title_;
    QLabel* text_;
};

} // namespace hb::views
