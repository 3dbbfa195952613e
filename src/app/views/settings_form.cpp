#include "app/views/settings_form.h"

#include "app/views/accessible_roles.h"
#include "popup/views/panel_style.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace hb::views {
namespace {

constexpr int boxRadius = 8;
constexpr int rowMargin = 12;
constexpr int indentWidth = 18;

QColor boxColor(const QPalette& palette)
{
    return isDark(palette) ? palette.color(QPalette::Window).lighter(125) : palette.color(QPalette::Base);
}

// A label in the secondary text colour of the application's palette; follows
// changes of that palette.
class SecondaryLabel final : public QLabel {
public:
    explicit SecondaryLabel(const QString& text) : QLabel(text) { follow(); }

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::PaletteChange && !following_)
            follow();
    }

private:
    void follow()
    {
        following_ = true;
        QPalette p = palette();
        p.setColor(QPalette::WindowText, secondaryTextColor(QApplication::palette(this)));
        setPalette(p);
        following_ = false;
    }

    bool following_ = false;
};

} // namespace

SwitchButton::SwitchButton(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize SwitchButton::sizeHint() const
{
    return {38, 22};
}

void SwitchButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const double radius = track.height() / 2;
    QColor fill =
        isChecked() ? pal.color(QPalette::Highlight) : (isDark(pal) ? QColor(255, 255, 255, 56) : QColor(0, 0, 0, 40));
    if (!isEnabled())
        fill.setAlphaF(fill.alphaF() * 0.45f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);
    if (hasFocus()) {
        QColor ring = pal.color(QPalette::Highlight);
        ring.setAlphaF(0.5f);
        p.setPen(QPen(ring, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
        p.setPen(Qt::NoPen);
    }
    const double knob = track.height() - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(isEnabled() ? QColor(Qt::white) : QColor(0xF0, 0xF0, 0xF0));
    p.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

SegmentedControl::SegmentedControl(QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)), row_(new QHBoxLayout(this))
{
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(0);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int index) { emit selected(index); });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QAbstractButton* SegmentedControl::addSegment(const QString& text, const QIcon& icon, const QString& toolTip)
{
    auto* button = new QToolButton(this); // a child from the start: screen readers meet it as a segment
    button->setCheckable(true);
    button->setText(text);
    button->setIcon(icon);
    button->setIconSize(QSize(18, 18));
    button->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip.isEmpty() ? text : toolTip);
    button->setFocusPolicy(Qt::TabFocus);
    const int index = count();
    group_->addButton(button, index);
    row_->addWidget(button);
    if (index == 0)
        button->setChecked(true);
    restyle();
    return button;
}

void SegmentedControl::setSegmentIcon(int index, const QIcon& icon)
{
    if (auto* button = static_cast<QToolButton*>(group_->button(index))) {
        button->setIcon(icon);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
}

int SegmentedControl::currentIndex() const
{
    return group_->checkedId();
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (auto* button = group_->button(index))
        button->setChecked(true);
}

QAbstractButton* SegmentedControl::segment(int index) const
{
    return group_->button(index);
}

int SegmentedControl::count() const
{
    return int(group_->buttons().size());
}

void SegmentedControl::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !restyling_)
        restyle();
}

void SegmentedControl::restyle()
{
    restyling_ = true;
    const QPalette& p = palette();
    const QString border = panelBorderColor(p).name(QColor::HexArgb);
    QString sheet =
        QStringLiteral("QToolButton { border: 1px solid %1; border-left-width: 0; background: %2; color: %3;"
                       " padding: 3px 12px; min-height: 18px; }"
                       "QToolButton:checked { background: %4; color: %5; }"
                       "QToolButton:hover:!checked { background: %6; }")
            .arg(border, boxColor(p).name(), p.color(QPalette::ButtonText).name(), p.color(QPalette::Highlight).name(),
                 p.color(QPalette::HighlightedText).name(), p.color(QPalette::Button).name());
    const auto buttons = group_->buttons();
    for (int i = 0; i < buttons.size(); ++i) {
        QString own = sheet;
        if (i == 0)
            own += QStringLiteral("QToolButton { border-left-width: 1px; border-top-left-radius: 6px;"
                                  " border-bottom-left-radius: 6px; }");
        if (i == buttons.size() - 1)
            own += QStringLiteral("QToolButton { border-top-right-radius: 6px; border-bottom-right-radius: 6px; }");
        buttons[i]->setStyleSheet(own);
    }
    restyling_ = false;
}

QString homeRelativePath(const QString& path)
{
    const QString home = QDir::homePath();
    if (path == home)
        return QStringLiteral("~");
    if (path.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + path.mid(home.size());
    return path;
}

QLabel* makeCaption(const QString& text)
{
    auto* label = new SecondaryLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* makeSectionTitle(const QString& text)
{
    // Marked before it has text: setting the text already makes Qt's accessible element.
    auto* label = new QLabel;
    markAsHeading(label);
    label->setText(text);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    label->setContentsMargins(4, 0, 0, 0);
    return label;
}

QLabel* makeBadge(const QString& text)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("QLabel { color: #ffffff; background: #d9730d; border-radius: 4px;"
                                        " padding: 1px 5px; }"));
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

FormBox::FormBox(QWidget* parent) : QFrame(parent), rows_(new QVBoxLayout(this))
{
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
}

QWidget* FormBox::addRow(const QString& title, QWidget* control, const QString& caption, bool indent,
                         QWidget* accessory)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(rowMargin + (indent ? indentWidth : 0), 8, rowMargin, 8);
    layout->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* label = new QLabel(title);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (accessory) {
        auto* titleRow = new QHBoxLayout;
        titleRow->setSpacing(6);
        titleRow->addWidget(label);
        titleRow->addWidget(accessory, 0, Qt::AlignVCenter);
        titleRow->addStretch(1);
        texts->addLayout(titleRow);
    } else {
        texts->addWidget(label);
    }
    if (!caption.isEmpty())
        texts->addWidget(makeCaption(caption));
    layout->addLayout(texts, 1);
    if (control) {
        if (control->accessibleName().isEmpty())
            control->setAccessibleName(title);
        layout->addWidget(control, 0, Qt::AlignVCenter | Qt::AlignRight);
    }
    rows_->addWidget(row);
    return row;
}

QWidget* FormBox::addWidget(QWidget* widget)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(rowMargin, 8, rowMargin, 8);
    layout->addWidget(widget);
    rows_->addWidget(row);
    return row;
}

void FormBox::clear()
{
    while (QLayoutItem* item = rows_->takeAt(0)) {
        if (QWidget* row = item->widget()) {
            row->hide();
            row->deleteLater(); // a row's own button may be what asked for this
        }
        delete item;
    }
}

int FormBox::rowCount() const
{
    return rows_->count();
}

void FormBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    p.setPen(QPen(panelBorderColor(pal), 1));
    p.setBrush(boxColor(pal));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), boxRadius, boxRadius);
    // Lines between visible rows.
    p.setRenderHint(QPainter::Antialiasing, false);
    QColor line = panelBorderColor(pal);
    line.setAlphaF(line.alphaF() * 0.7f);
    p.setPen(line);
    bool first = true;
    for (int i = 0; i < rows_->count(); ++i) {
        const QWidget* row = rows_->itemAt(i)->widget();
        if (!row || row->isHidden())
            continue;
        if (!first)
            p.drawLine(rowMargin, row->geometry().top(), width() - rowMargin, row->geometry().top());
        first = false;
    }
}

FormSection makeSection(const QString& title, const QString& footer)
{
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    if (!title.isEmpty())
        layout->addWidget(makeSectionTitle(title));
    auto* box = new FormBox;
    // Screen readers name the group they enter after its title.
    box->setAccessibleName(title);
    layout->addWidget(box);
    QLabel* caption = nullptr;
    if (!footer.isEmpty()) {
        caption = makeCaption(footer);
        caption->setContentsMargins(4, 0, 4, 0);
        layout->addWidget(caption);
    }
    return {widget, box, caption};
}

} // namespace hb::views
