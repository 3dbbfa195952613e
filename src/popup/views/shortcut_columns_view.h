#pragma once

#include "model/key_label.h"
#include "model/shortcut.h"
#include "popup/popup_filter_model.h"

#include <QColor>
#include <QStaticText>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

namespace hb::views {

class ColumnsAccessible;
class LineAccessible;
class SectionAccessible;

// The laid-out columns of the shortcut list, painted by one widget: section
// titles, submenu titles, separators and rows with their keys, conflict marks
// and favourite stars. Only the items inside the exposed area are painted, so
// long lists stay cheap; the item positions are worked out again after each
// change of the model. Assistive technologies read the drawn lines as its
// children (shortcut_columns_accessible.h).
class ShortcutColumnsView : public QWidget {
    Q_OBJECT
    friend class ColumnsAccessible;
    friend class LineAccessible;
    friend class SectionAccessible;

public:
    static constexpr int topPadding = 10;
    static constexpr int bottomPadding = 16;

    // Keeps the model alive as long as it is, also while it waits to be deleted.
    ShortcutColumnsView(std::shared_ptr<PopupFilterModel> model, QWidget* parent = nullptr);

    // Called with a row clicked that has a menu item and is not dimmed.
    std::function<void(const Shortcut&)> onActivate;
    std::function<QColor()> keyColor;
    // How the rows' keys are written; set before the first paint.
    notation::KeyLabels keyLabels = notation::defaultKeyLabels;

    // Reads the drawn items from the model again and repaints.
    void rebuild();

    // The height of a column's drawn items, and of the whole content with its padding.
    double columnHeight(std::size_t column) const;
    int contentHeight() const;
    // The content's height with nothing filtered away.
    int unfilteredContentHeight() const;
    std::size_t drawnRowCount() const { return drawnRows_; }
    // Where a drawn row is, in this widget's coordinates.
    std::optional<QRect> rowRect(const Shortcut& shortcut) const;
    // The drawn row under a point, if any.
    const Shortcut* rowAt(QPoint point) const;
    // The hover help at a point: the star's action, the conflict mark's
    // warning, or the whole title of a row cut short.
    QString helpText(QPoint point) const;

    // The column width that shows every row of `app` with a key combination
    // whole, its title and its keys as this view draws them over `base`.
    static double neededColumnWidth(const AppShortcuts& app, const QFont& base, notation::KeyLabels keyLabels);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    using Kind = PopupFilterModel::DrawnLine::Kind;
    struct Item {
        Kind kind;
        double y;
        double height;
        const std::string* title; // section and group titles
        const Shortcut* shortcut; // rows and separators
    };
    struct Column {
        std::vector<Item> items;
        double height = 0;
    };
    struct Hit {
        std::size_t column;
        std::size_t item;
        bool onStar;
        bool onConflict;
    };

    struct RowParts {
        QRectF keys;
        QRectF conflict;
        QRectF pressYourself; // the mark of a row whose keys the user presses
        QRectF title;
    };

    // A row's texts laid out once per showing: only rows that were on screen have them.
    struct RowText {
        double keysWidth = 0;
        bool laidOut = false;
        bool titleElided = false;
        QStaticText title;
        QStaticText keys;
    };

    std::optional<Hit> hitAt(QPointF point) const;
    const RowText& rowText(const Shortcut& row) const;
    const RowText& rowText(const Shortcut& row, const RowParts& parts) const;
    RowParts rowParts(const QRectF& rect, const Shortcut& row) const;
    QRectF itemRect(std::size_t column, const Item& item) const;
    QRectF starRect(const QRectF& row) const;
    void paintItem(QPainter& painter, std::size_t column, const Item& item);
    void updateFonts();
    void setHovered(std::optional<std::pair<std::size_t, std::size_t>> hovered);
    // What a click on the row does: reports it when it can run.
    void activate(const Shortcut& row);
    // The keys as the row shows them.
    QString keyLabel(const Shortcut& row) const;
    // The keys as drawn in the row's place, cut when they had to be.
    QString drawnKeys(std::size_t column, const Item& item) const;
    double columnWidth() const;

    std::shared_ptr<PopupFilterModel> sharedModel_;
    PopupFilterModel& model_;
    std::vector<Column> columns_;
    std::size_t drawnRows_ = 0;
    std::uint64_t layouts_ = 0; // counts the times the lines were laid out
    std::optional<std::pair<std::size_t, std::size_t>> hovered_;
    std::optional<Hit> pressed_;
    mutable std::unordered_map<const Shortcut*, RowText> rowTexts_;
    std::uint64_t rowsGeneration_ = 0;
    QColor paintedKeyColor_;
    QFont sectionFont_;
    QFont groupFont_;
    QFont rowFont_;
    QFont keyFont_;
};

} // namespace hb::views
