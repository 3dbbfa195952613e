#include "app/views/ready_hint_bubble.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace hb::views {
namespace {

constexpr int gap = 6;
constexpr qreal radius = 8;

} // namespace

ReadyHintBubble::ReadyHintBubble() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName("readyHint");
    title_ = new QLabel(this);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    text_ = new QLabel(this);
    text_->setWordWrap(true);
    text_->setMinimumWidth(240);
    text_->setMaximumWidth(300);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 10, 14, 12);
    layout->setSpacing(4);
    layout->addWidget(title_);
    layout->addWidget(text_);
    for (QLabel* label : {title_, text_})
        label->setForegroundRole(QPalette::ToolTipText);
}

void ReadyHintBubble::setTexts(const QString& title, const QString& text)
{
    title_->setText(title);
    setWindowTitle(title); // names the bubble to the window system and screen readers
    text_->setText(text);
    adjustSize();
}

void ReadyHintBubble::showNear(const QRect& anchor)
{
    QScreen* screen = anchor.isEmpty() ? QGuiApplication::primaryScreen() : QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize size = sizeHint();
    QPoint position;
    if (anchor.isEmpty()) {
        position = QPoint(area.right() - size.width() - gap, area.top() + gap);
    } else {
        // Below an icon in the upper half of the screen, above one in the lower half.
        const bool below = anchor.center().y() < area.center().y();
        position.setX(anchor.center().x() - size.width() / 2);
        position.setY(below ? anchor.bottom() + gap : anchor.top() - gap - size.height());
    }
    position.setX(
        std::clamp(position.x(), area.left() + gap, std::max(area.left() + gap, area.right() - size.width() - gap)));
    position.setY(std::clamp(position.y(), area.top(), std::max(area.top(), area.bottom() - size.height())));
    resize(size);
    move(position);
    show();
    raise();
}

void ReadyHintBubble::mousePressEvent(QMouseEvent*)
{
    hide();
}

void ReadyHintBubble::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(shape, palette().color(QPalette::ToolTipBase));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawPath(shape);
}

} // namespace hb::views
