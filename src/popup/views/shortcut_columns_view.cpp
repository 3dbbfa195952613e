#include "popup/views/shortcut_columns_view.h"

#include "popup/popup_layout.h"
#include "popup/views/panel_style.h"

#include "popup/views/shortcut_columns_accessible.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace hb::views {
namespace {

namespace metrics = layout::metrics;

constexpr double starSize = 13;
constexpr double starInset = 3;
constexpr double titleInset = 22;
constexpr double rightInset = 6;
constexpr double conflictSize = 12;

const char* conflictHelp = "This shortcut is assigned to multiple commands";

QString qstring(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// One line, elided at its logical end; a right-to-left text is laid out in its
// own direction so that the ellipsis lands where its reading ends.
void drawLine(QPainter& painter, const QRectF& rect, const QString& text, Qt::Alignment vertical)
{
    const QFontMetrics metrics(painter.font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, int(rect.width()));
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute | vertical);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    painter.drawText(rect, shown, option);
}

} // namespace

namespace {
using Line = PopupFilterModel::DrawnLine;
} // namespace

ShortcutColumnsView::ShortcutColumnsView(std::shared_ptr<PopupFilterModel> model, QWidget* parent)
    : QWidget(parent), sharedModel_(std::move(model)), model_(*sharedModel_)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    static const bool accessible = [] {
        QAccessible::installFactory(columnsAccessible);
        return true;
    }();
    (void)accessible;
    updateFonts();
    rebuild();
}

namespace {

QFont rowFontOf(const QFont& base)
{
    QFont row = base;
    row.setPixelSize(13);
    return row;
}

QFont keyFontOf(const QFont& base)
{
    QFont keys = rowFontOf(base);
    keys.setWeight(QFont::Medium);
    return keys;
}

} // namespace

double ShortcutColumnsView::neededColumnWidth(const AppShortcuts& app, const QFont& base, notation::KeyLabels keyLabels)
{
    const QFontMetricsF titles(rowFontOf(base));
    const QFontMetricsF keys(keyFontOf(base));
    double widest = 0;
    for (const auto& section : app.sections)
        for (const auto& group : section.groups)
            for (const auto& row : group.shortcuts) {
                if (row.isSeparator || row.keys.empty())
                    continue;
                double width = titleInset + titles.horizontalAdvance(qstring(row.title)) + 8
                               + keys.horizontalAdvance(qstring(notation::keyLabel(row.keys, keyLabels))) + rightInset;
                if (row.cannotRunHere)
                    width += conflictSize + 5;
                widest = std::max(widest, width);
            }
    // A pixel or two for the whole-pixel rounding of the elision.
    return widest > 0 ? std::ceil(widest) + 2 : 0;
}

double ShortcutColumnsView::columnWidth() const
{
    return model_.columnWidth() > 0 ? model_.columnWidth() : metrics::columnWidth;
}

void ShortcutColumnsView::updateFonts()
{
    rowFont_ = rowFontOf(font());
    keyFont_ = keyFontOf(font());
    sectionFont_ = rowFont_;
    sectionFont_.setWeight(QFont::Bold);
    groupFont_ = rowFont_;
    groupFont_.setPixelSize(12);
    groupFont_.setWeight(QFont::DemiBold);
}

namespace {

double lineHeight(Line::Kind kind)
{
    switch (kind) {
    case Line::Kind::sectionTitle:
        return metrics::sectionHeader;
    case Line::Kind::groupTitle:
        return metrics::groupHeader;
    case Line::Kind::separator:
        return metrics::separator;
    case Line::Kind::row:
        break;
    }
    return metrics::row;
}

// Places the lines of one column's sections from the top; calls `place` with
// each line and its top, and gives the column's height.
template <typename LinesOf, typename Place>
double placeColumn(const std::vector<MenuSection>& sections, LinesOf linesOf, Place place)
{
    double y = 0;
    bool first = true;
    for (const MenuSection& section : sections) {
        const auto lines = linesOf(section);
        if (lines.empty())
            continue;
        if (!std::exchange(first, false))
            y += metrics::sectionSpacing;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i > 0)
                y += metrics::innerSpacing;
            place(lines[i], y);
            y += lineHeight(lines[i].kind);
        }
    }
    return y;
}

int paddedHeight(double tallestColumn)
{
    return int(std::ceil(tallestColumn)) + ShortcutColumnsView::topPadding + ShortcutColumnsView::bottomPadding;
}

} // namespace

void ShortcutColumnsView::rebuild()
{
    // Replaced rows may reuse the addresses the texts are kept under.
    if (rowsGeneration_ != model_.rowsGeneration()) {
        rowsGeneration_ = model_.rowsGeneration();
        rowTexts_.clear();
        hovered_.reset();
        pressed_.reset();
    }
    columns_.clear();
    drawnRows_ = 0;
    ++layouts_;
    for (const auto& sections : model_.columns()) {
        Column column;
        column.height = placeColumn(
            sections, [&](const MenuSection& section) { return model_.drawnLines(section); },
            [&](const Line& line, double y) {
                column.items.push_back({line.kind, topPadding + y, lineHeight(line.kind), line.title, line.shortcut});
                drawnRows_ += line.kind == Kind::row ? 1 : 0;
            });
        // A filter that empties a column moves the columns after it to the left.
        if (!column.items.empty())
            columns_.push_back(std::move(column));
    }
    hovered_.reset();
    pressed_.reset();
    updateGeometry();
    update();
    announceLines(*this);
}

double ShortcutColumnsView::columnHeight(std::size_t column) const
{
    return column < columns_.size() ? columns_[column].height : 0;
}

int ShortcutColumnsView::contentHeight() const
{
    double tallest = 0;
    for (const Column& column : columns_)
        tallest = std::max(tallest, column.height);
    return paddedHeight(tallest);
}

int ShortcutColumnsView::unfilteredContentHeight() const
{
    double tallest = 0;
    for (const auto& sections : model_.columns()) {
        const double height = placeColumn(
            sections, [&](const MenuSection& section) { return model_.unfilteredLines(section); },
            [](const Line&, double) {});
        tallest = std::max(tallest, height);
    }
    return paddedHeight(tallest);
}

QSize ShortcutColumnsView::sizeHint() const
{
    return {int(layout::panelWidth(model_.columns().size(), columnWidth())), contentHeight()};
}

QRectF ShortcutColumnsView::itemRect(std::size_t column, const Item& item) const
{
    const double x = metrics::outerMargin / 2 + double(column) * (columnWidth() + metrics::columnGap);
    return {x, item.y, columnWidth(), item.height};
}

const ShortcutColumnsView::RowText& ShortcutColumnsView::rowText(const Shortcut& row) const
{
    auto [found, added] = rowTexts_.try_emplace(&row);
    RowText& text = found->second;
    if (added && !row.keys.empty())
        text.keysWidth = QFontMetricsF(keyFont_).horizontalAdvance(keyLabel(row));
    return text;
}

const ShortcutColumnsView::RowText& ShortcutColumnsView::rowText(const Shortcut& row, const RowParts& parts) const
{
    RowText& text = const_cast<RowText&>(rowText(row));
    if (text.laidOut)
        return text;
    text.laidOut = true;
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setWrapMode(QTextOption::NoWrap);

    const QString title = qstring(row.title);
    const QString shownTitle = QFontMetrics(rowFont_).elidedText(title, Qt::ElideRight, int(parts.title.width()));
    text.titleElided = shownTitle != title;
    option.setTextDirection(title.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    text.title.setText(shownTitle);
    text.title.setTextFormat(Qt::PlainText);
    text.title.setTextOption(option);
    text.title.prepare(QTransform(), rowFont_);

    if (!row.keys.empty()) {
        const QString keys = keyLabel(row);
        option.setTextDirection(Qt::LeftToRight);
        text.keys.setText(QFontMetricsF(keyFont_).elidedText(keys, Qt::ElideLeft, parts.keys.width() + 0.5));
        text.keys.setTextFormat(Qt::PlainText);
        text.keys.setTextOption(option);
        text.keys.prepare(QTransform(), keyFont_);
    }
    return text;
}

ShortcutColumnsView::RowParts ShortcutColumnsView::rowParts(const QRectF& rect, const Shortcut& row) const
{
    RowParts parts;
    double right = rect.right() - rightInset;
    if (!row.keys.empty()) {
        // Keys are shown whole; the title gives way.
        const double width = std::min(rowText(row).keysWidth, rect.width() - titleInset - rightInset);
        parts.keys = QRectF(right - width, rect.top(), width, rect.height());
        right = parts.keys.left() - 8;
    }
    if (model_.isConflicted(row)) {
        parts.conflict = QRectF(right - conflictSize, rect.center().y() - conflictSize / 2, conflictSize, conflictSize);
        right = parts.conflict.left() - 5;
    }
    if (row.cannotRunHere) {
        parts.pressYourself =
            QRectF(right - conflictSize, rect.center().y() - conflictSize / 2, conflictSize, conflictSize);
        right = parts.pressYourself.left() - 5;
    }
    parts.title =
        QRectF(rect.left() + titleInset, rect.top(), std::max(0.0, right - rect.left() - titleInset), rect.height());
    return parts;
}

QRectF ShortcutColumnsView::starRect(const QRectF& row) const
{
    return {row.left() + starInset, row.center().y() - starSize / 2, starSize, starSize};
}

std::optional<QRect> ShortcutColumnsView::rowRect(const Shortcut& shortcut) const
{
    for (std::size_t c = 0; c < columns_.size(); ++c)
        for (const Item& item : columns_[c].items)
            if (item.shortcut && item.shortcut->id == shortcut.id)
                return itemRect(c, item).toAlignedRect();
    return std::nullopt;
}

std::optional<ShortcutColumnsView::Hit> ShortcutColumnsView::hitAt(QPointF point) const
{
    const double stride = columnWidth() + metrics::columnGap;
    const double offset = point.x() - metrics::outerMargin / 2;
    if (offset < 0)
        return std::nullopt;
    const auto c = std::size_t(offset / stride);
    if (c >= columns_.size() || offset - double(c) * stride > columnWidth())
        return std::nullopt;
    const auto& items = columns_[c].items;
    auto found = std::upper_bound(items.begin(), items.end(), point.y(),
                                  [](double y, const Item& item) { return y < item.y + item.height; });
    if (found == items.end() || point.y() < found->y || found->kind != Kind::row)
        return std::nullopt;
    const QRectF rect = itemRect(c, *found);
    const bool onStar = point.x() < rect.left() + titleInset - 2;
    const QRectF conflict = rowParts(rect, *found->shortcut).conflict;
    const bool onConflict = !conflict.isEmpty() && std::abs(point.x() - conflict.center().x()) <= conflictSize;
    return Hit{c, std::size_t(found - items.begin()), onStar, onConflict};
}

const Shortcut* ShortcutColumnsView::rowAt(QPoint point) const
{
    auto hit = hitAt(point);
    return hit ? columns_[hit->column].items[hit->item].shortcut : nullptr;
}

void ShortcutColumnsView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRect exposed = event->rect();
    paintedKeyColor_ = keyColor ? keyColor() : palette().color(QPalette::Highlight);
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const auto& items = columns_[c].items;
        auto it = std::upper_bound(items.begin(), items.end(), double(exposed.top()),
                                   [](double y, const Item& item) { return y < item.y + item.height; });
        for (; it != items.end() && it->y <= exposed.bottom(); ++it)
            paintItem(painter, c, *it);
    }
}

void ShortcutColumnsView::paintItem(QPainter& painter, std::size_t column, const Item& item)
{
    const QPalette& pal = palette();
    const QRectF rect = itemRect(column, item);
    switch (item.kind) {
    case Kind::sectionTitle: {
        painter.setFont(sectionFont_);
        painter.setPen(pal.color(QPalette::WindowText));
        drawLine(painter, rect.adjusted(4, 0, -4, -3), qstring(*item.title), Qt::AlignBottom);
        return;
    }
    case Kind::groupTitle: {
        painter.setFont(groupFont_);
        painter.setPen(secondaryTextColor(pal));
        drawLine(painter, rect.adjusted(10, 0, -4, -2), qstring(*item.title), Qt::AlignBottom);
        return;
    }
    case Kind::separator: {
        QColor line = pal.color(QPalette::WindowText);
        line.setAlphaF(0.14f);
        painter.setPen(QPen(line, 1));
        const double y = std::floor(rect.center().y()) + 0.5;
        painter.drawLine(QPointF(rect.left() + titleInset, y), QPointF(rect.right() - rightInset, y));
        return;
    }
    case Kind::row:
        break;
    }

    const Shortcut& row = *item.shortcut;
    const bool selected = model_.isSelected(row);
    const bool dimmed = model_.dimsRow(row);
    const bool favourite = model_.isFavourite(row);
    const bool conflicted = model_.isConflicted(row);
    const bool hovered = hovered_ && hovered_->first == column && &columns_[column].items[hovered_->second] == &item;

    if (selected || (hovered && !dimmed)) {
        QColor fill = pal.color(QPalette::Highlight);
        if (!selected)
            fill.setAlphaF(0.14f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(rect.adjusted(0, 0.5, 0, -0.5), 5, 5);
    }

    painter.save();
    if (dimmed)
        painter.setOpacity(0.38);
    const QColor textColor = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText);

    if (favourite)
        paintCachedGlyph(painter, Glyph::starFilled, starRect(rect), selected ? textColor : favouriteColor);
    else if (hovered)
        paintCachedGlyph(painter, Glyph::star, starRect(rect), selected ? textColor : secondaryTextColor(pal));

    const RowParts parts = rowParts(rect, row);
    const RowText& text = rowText(row, parts);
    if (!row.keys.empty()) {
        painter.setFont(keyFont_);
        painter.setPen(selected ? textColor : paintedKeyColor_);
        const QSizeF size = text.keys.size();
        painter.drawStaticText(QPointF(parts.keys.right() - size.width(), parts.keys.center().y() - size.height() / 2),
                               text.keys);
    }
    if (conflicted)
        paintCachedGlyph(painter, Glyph::warning, parts.conflict, selected ? textColor : conflictColor);
    painter.setFont(rowFont_);
    // A row the desktop lets no program run: its title in the secondary
    // colour, its keys as readable as any (the user presses them).
    painter.setPen(row.cannotRunHere && !selected ? secondaryTextColor(pal) : textColor);
    painter.drawStaticText(QPointF(parts.title.left(), parts.title.center().y() - text.title.size().height() / 2),
                           text.title);
    if (row.cannotRunHere)
        paintCachedGlyph(painter, Glyph::keyboard, parts.pressYourself, selected ? textColor : secondaryTextColor(pal));
    painter.restore();
}

void ShortcutColumnsView::setHovered(std::optional<std::pair<std::size_t, std::size_t>> hovered)
{
    if (hovered == hovered_)
        return;
    for (const auto& h : {hovered_, hovered})
        if (h)
            update(itemRect(h->first, columns_[h->first].items[h->second]).toAlignedRect().adjusted(-1, -1, 1, 1));
    hovered_ = hovered;
}

void ShortcutColumnsView::mouseMoveEvent(QMouseEvent* event)
{
    auto hit = hitAt(event->position());
    setHovered(hit ? std::optional(std::pair(hit->column, hit->item)) : std::nullopt);
    const Shortcut* row = hit ? columns_[hit->column].items[hit->item].shortcut : nullptr;
    const bool clickable = row && (hit->onStar || (row->axElement && !model_.dimsRow(*row)));
    setCursor(clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ShortcutColumnsView::leaveEvent(QEvent*)
{
    setHovered(std::nullopt);
}

void ShortcutColumnsView::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton ? hitAt(event->position()) : std::nullopt;
}

void ShortcutColumnsView::mouseReleaseEvent(QMouseEvent* event)
{
    const auto pressed = pressed_;
    pressed_.reset();
    // Nothing under the open choice of the overlay takes clicks.
    if (event->button() != Qt::LeftButton || !pressed || model_.disambiguation())
        return;
    const auto released = hitAt(event->position());
    if (!released || released->column != pressed->column || released->item != pressed->item)
        return;
    const Shortcut& row = *columns_[released->column].items[released->item].shortcut;
    if (released->onStar)
        model_.toggleFavourite(row);
    else
        activate(row);
}

void ShortcutColumnsView::activate(const Shortcut& row)
{
    if (!row.axElement || model_.dimsRow(row) || model_.disambiguation() || !onActivate)
        return;
    // The receiver may close the popup and let the model go: hand over a copy.
    const Shortcut chosen = row;
    onActivate(chosen);
}

QString ShortcutColumnsView::keyLabel(const Shortcut& row) const
{
    return qstring(notation::keyLabel(row.keys, keyLabels));
}

QString ShortcutColumnsView::drawnKeys(std::size_t column, const Item& item) const
{
    if (!item.shortcut || item.shortcut->keys.empty())
        return {};
    return rowText(*item.shortcut, rowParts(itemRect(column, item), *item.shortcut)).keys.text();
}

QString ShortcutColumnsView::helpText(QPoint point) const
{
    const auto hit = hitAt(point);
    if (!hit)
        return {};
    const Shortcut& row = *columns_[hit->column].items[hit->item].shortcut;
    if (hit->onStar)
        return model_.isFavourite(row) ? tr("Remove from favourites") : tr("Add to favourites");
    if (hit->onConflict)
        return tr(conflictHelp);
    const QRectF rect = itemRect(hit->column, columns_[hit->column].items[hit->item]);
    if (rowText(row, rowParts(rect, row)).titleElided)
        return qstring(row.title);
    return {};
}

bool ShortcutColumnsView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = helpText(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void ShortcutColumnsView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateFonts();
        rowTexts_.clear();
    }
    QWidget::changeEvent(event);
}

} // namespace hb::views
