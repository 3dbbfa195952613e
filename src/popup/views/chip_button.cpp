#include "popup/views/chip_button.h"

#include <QPainter>

namespace hb::views {

ChipButton::ChipButton(QString text, QWidget* parent) : QAbstractButton(parent)
{
    setText(text);
    setUp();
}

ChipButton::ChipButton(Glyph glyph, QWidget* parent) : QAbstractButton(parent), glyph_(glyph)
{
    setUp();
}

ChipButton::ChipButton(QIcon icon, QWidget* parent) : QAbstractButton(parent)
{
    setIcon(icon);
    setUp();
}

void ChipButton::setUp()
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setIconSize({16, 16});
}

void ChipButton::setEmphasised(bool emphasised)
{
    if (emphasised_ == emphasised)
        return;
    emphasised_ = emphasised;
    update();
}

QSize ChipButton::sizeHint() const
{
    if (!text().isEmpty()) {
        const QFontMetrics metrics(font());
        return {std::max(26, metrics.horizontalAdvance(text()) + 12), 26};
    }
    return {26, 26};
}

void ChipButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool on = isChecked() || emphasised_;
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (on) {
        QColor fill = pal.color(QPalette::Highlight);
        if (!isChecked())
            fill.setAlphaF(0.45f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(r, 6, 6);
    } else if (hovered_ || isDown()) {
        QColor fill = pal.color(QPalette::WindowText);
        fill.setAlphaF(isDown() ? 0.16f : 0.08f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(r, 6, 6);
    }
    QColor foreground = on ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText);
    if (!isEnabled())
        foreground.setAlphaF(0.35f);
    if (glyph_) {
        const Glyph glyph = isChecked() && checkedGlyph_ ? *checkedGlyph_ : *glyph_;
        const QSizeF size = iconSize();
        const QRectF box(r.center().x() - size.width() / 2, r.center().y() - size.height() / 2, size.width(),
                         size.height());
        paintGlyph(p, glyph, box, glyphColor_ && !on ? *glyphColor_ : foreground);
    } else if (!icon().isNull()) {
        const QSize size = iconSize();
        const QRect box(rect().center().x() - size.width() / 2 + 1, rect().center().y() - size.height() / 2 + 1,
                        size.width(), size.height());
        icon().paint(&p, box, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    } else {
        p.setPen(foreground);
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, text());
    }
}

void ChipButton::enterEvent(QEnterEvent*)
{
    hovered_ = true;
    update();
}

void ChipButton::leaveEvent(QEvent*)
{
    hovered_ = false;
    update();
}

} // namespace hb::views
