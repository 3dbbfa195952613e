#include "popup/views/disambiguation_overlay.h"

#include "popup/views/announcement.h"
#include "popup/views/panel_style.h"

#include <QAccessible>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace hb::views {
namespace {

constexpr int optionPadding = 10;
constexpr int arrowSize = 16;

QString qstring(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QFont noteFont(const QFont& base)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.86);
    return font;
}

} // namespace

OptionButton::OptionButton(QString title, QString note, bool trailingArrow, QWidget* parent)
    : QAbstractButton(parent), note_(std::move(note)), trailingArrow_(trailingArrow)
{
    setText(title);
    setAccessibleName(title);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void OptionButton::setFocusedOption(bool focused)
{
    if (focused_ == focused)
        return;
    focused_ = focused;
    update();
    // The option Tab moves to is spoken like a focused control, while typing stays in the search field.
    if (focused && QAccessible::isActive()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

QSize OptionButton::sizeHint() const
{
    const QFontMetrics title(font());
    int height = title.height() + 2 * optionPadding;
    if (!note_.isEmpty())
        height += QFontMetrics(noteFont(font())).height() + 2;
    int textWidth = title.horizontalAdvance(text());
    if (!note_.isEmpty())
        textWidth = std::max(textWidth, QFontMetrics(noteFont(font())).horizontalAdvance(note_));
    const int width = std::min(textWidth, 400) + 2 * optionPadding + (trailingArrow_ ? arrowSize + 8 : 0) + 2;
    return {width, height};
}

void OptionButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = focused_ ? pal.color(QPalette::Highlight) : pal.color(QPalette::Button);
    if (!focused_ && (hovered_ || isDown()))
        fill = fill.darker(isDark(pal) ? 80 : 108);
    QColor border = panelBorderColor(pal);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 7, 7);

    const QColor text = focused_ ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::ButtonText);
    QRectF content = r.adjusted(optionPadding, optionPadding - 1, -optionPadding, -optionPadding + 1);
    if (trailingArrow_) {
        paintGlyph(p, Glyph::arrowRight,
                   QRectF(content.right() - arrowSize, r.center().y() - arrowSize / 2.0, arrowSize, arrowSize), text);
        content.setRight(content.right() - arrowSize - 8);
    }
    const QFontMetrics titleMetrics(font());
    p.setPen(text);
    p.setFont(font());
    QRectF titleRect(content.left(), content.top(), content.width(), titleMetrics.height());
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               titleMetrics.elidedText(this->text(), Qt::ElideRight, int(content.width())));
    if (!note_.isEmpty()) {
        const QFont small = noteFont(font());
        QColor noteColor = text;
        noteColor.setAlphaF(0.7f);
        p.setPen(noteColor);
        p.setFont(small);
        const QRectF noteRect(content.left(), titleRect.bottom() + 2, content.width(), QFontMetrics(small).height());
        p.drawText(noteRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   QFontMetrics(small).elidedText(note_, Qt::ElideRight, int(content.width())));
    }
}

void OptionButton::enterEvent(QEnterEvent*)
{
    hovered_ = true;
    update();
}

void OptionButton::leaveEvent(QEvent*)
{
    hovered_ = false;
    update();
}

DisambiguationOverlay::DisambiguationOverlay(notation::KeyLabels keyLabels, QWidget* parent)
    : QWidget(parent), keyLabels_(keyLabels)
{
    setAttribute(Qt::WA_NoMousePropagation);
    setAccessibleName(tr("What should happen?"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);
    card_ = new QWidget(this);
    card_->setMinimumWidth(280);
    card_->setMaximumWidth(460);
    card_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* cardLayout = new QVBoxLayout(card_);
    cardLayout->setContentsMargins(18, 16, 18, 18);
    cardLayout->setSpacing(12);
    auto* title = new QLabel(tr("What should happen?"), card_);
    QFont headline = title->font();
    headline.setWeight(QFont::Bold);
    headline.setPointSizeF(headline.pointSizeF() * 1.15);
    title->setFont(headline);
    title->setAlignment(Qt::AlignCenter);
    cardLayout->addWidget(title);
    keys_ = new QLabel(card_);
    keys_->setAlignment(Qt::AlignCenter);
    keys_->setTextFormat(Qt::PlainText);
    cardLayout->addWidget(keys_);
    optionsLayout_ = new QVBoxLayout;
    optionsLayout_->setSpacing(6);
    cardLayout->addLayout(optionsLayout_);
    outer->addWidget(card_, 0, Qt::AlignHCenter);
    outer->addStretch(1);
}

void DisambiguationOverlay::show(const DisambiguationState& state, std::size_t focusedIndex)
{
    const bool opening = isHidden();
    std::vector<QString> titles;
    std::vector<QString> notes;
    for (const Shortcut& shortcut : state.shortcuts) {
        titles.push_back(qstring(shortcut.title) + QStringLiteral(" in ") + qstring(state.appName));
        notes.emplace_back();
    }
    if (state.hintboardAction) {
        titles.push_back(qstring(state.hintboardAction->title));
        notes.push_back(state.hintboardAction->note ? qstring(*state.hintboardAction->note) : QString());
    }
    titles.push_back(tr("Cancel"));
    notes.emplace_back();
    keys_->setText(state.shortcuts.empty() ? QString()
                                           : qstring(notation::keyLabel(state.shortcuts.front().keys, keyLabels_)));
    keys_->setVisible(!keys_->text().isEmpty());

    if (titles != shownTitles_) {
        for (OptionButton* button : buttons_)
            delete button;
        buttons_.clear();
        const std::size_t actionIndex = state.hintboardAction ? state.shortcuts.size() : std::size_t(-1);
        for (std::size_t i = 0; i < titles.size(); ++i) {
            auto* button = new OptionButton(titles[i], notes[i], i == actionIndex, card_);
            connect(button, &QAbstractButton::clicked, this, [this, i] {
                if (onChoose)
                    onChoose(i);
            });
            optionsLayout_->addWidget(button);
            buttons_.push_back(button);
        }
        shownTitles_ = std::move(titles);
    }
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setFocusedOption(i == focusedIndex);
    QWidget::show();
    raise();
    if (opening)
        announce(this, accessibleName() + (keys_->isHidden() ? QString() : QStringLiteral(" ") + keys_->text()));
}

QString DisambiguationOverlay::shownKeys() const
{
    return keys_->isHidden() ? QString() : keys_->text();
}

void DisambiguationOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QColor veil = pal.color(QPalette::Window);
    veil.setAlphaF(0.8f);
    p.fillRect(rect(), veil);
    const QRectF card = QRectF(card_->geometry()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(panelBorderColor(pal), 1));
    p.setBrush(pal.color(QPalette::Base));
    p.drawRoundedRect(card, 12, 12);
}

void DisambiguationOverlay::mousePressEvent(QMouseEvent* event)
{
    // The list underneath takes no clicks while the choice is open.
    event->accept();
}

} // namespace hb::views
