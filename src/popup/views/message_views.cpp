#include "popup/views/message_views.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace hb::views {
namespace {

QLabel* symbolLabel(Glyph glyph, const QColor& color, int size, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(glyphIcon(glyph, color, size).pixmap(size, size));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

PermissionView::PermissionView(std::function<void()> grant, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 28);
    layout->setSpacing(12);
    layout->addStretch(1);
    layout->addWidget(symbolLabel(Glyph::accessibility, palette().color(QPalette::Highlight), 44, this));

    auto* title = new QLabel(tr("Hintboard needs Accessibility access"), this);
    QFont headline = title->font();
    headline.setWeight(QFont::Bold);
    headline.setPointSizeF(headline.pointSizeF() * 1.2);
    title->setFont(headline);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    layout->addWidget(title);

    auto* text = new QLabel(tr("Hintboard reads the active app's menus to show its keyboard shortcuts. "
                               "Turn on the session's accessibility support in Settings; applications "
                               "started before it may need a restart. The popup will update automatically."),
                            this);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    QPalette secondary = text->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    text->setPalette(secondary);
    layout->addWidget(text);

    auto* button = new QPushButton(tr("Open Settings…"), this);
    button->setObjectName(QStringLiteral("grant"));
    button->setDefault(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumSize(150, 30);
    connect(button, &QPushButton::clicked, this, [grant = std::move(grant)] {
        if (grant)
            grant();
    });
    layout->addSpacing(4);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

MessageView::MessageView(Glyph glyph, const QString& text, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(14);
    layout->addStretch(1);
    layout->addWidget(symbolLabel(glyph, secondaryTextColor(palette()), 40, this));
    label_ = new QLabel(text, this);
    label_->setObjectName(QStringLiteral("message"));
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    label_->setTextFormat(Qt::PlainText);
    QPalette secondary = label_->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    label_->setPalette(secondary);
    layout->addWidget(label_);
    layout->addStretch(1);
}

QString MessageView::text() const
{
    return label_->text();
}

void MessageView::setText(const QString& text)
{
    label_->setText(text);
}

} // namespace hb::views
