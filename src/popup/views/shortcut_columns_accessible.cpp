#include "popup/views/shortcut_columns_accessible.h"

#include "popup/views/shortcut_columns_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>

#include <algorithm>
#include <utility>
#include <vector>

namespace hb::views {
namespace {

QString qstring(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Interfaces made on first request, kept by index until the lines change.
template <typename Interface>
class LazyChildren {
public:
    template <typename Make>
    Interface* at(std::size_t index, std::size_t count, Make make)
    {
        if (made_.size() != count)
            made_.resize(count, nullptr);
        if (!made_[index]) {
            made_[index] = make();
            QAccessible::registerAccessibleInterface(made_[index]);
        }
        return made_[index];
    }
    int indexOf(const QAccessibleInterface* child) const
    {
        const auto found = std::find(made_.begin(), made_.end(), child);
        return found == made_.end() ? -1 : int(found - made_.begin());
    }
    Interface* made(std::size_t index) const { return index < made_.size() ? made_[index] : nullptr; }
    template <typename Before>
    void forget(Before before)
    {
        for (Interface* child : std::exchange(made_, {}))
            if (child) {
                before(*child);
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(child));
            }
    }

private:
    std::vector<Interface*> made_;
};

// A leaf with no children of its own.
class LeafAccessible : public QAccessibleInterface {
public:
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
};

} // namespace

class SectionAccessible;

// A submenu title, separator or row of a section. A row's actions are a press
// (what a click does) and its favourites star.
class LineAccessible : public LeafAccessible, public QAccessibleActionInterface {
public:
    LineAccessible(SectionAccessible* section, std::size_t item) : section_(section), item_(item) {}

    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessible::Role role() const override;
    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    QRect rect() const override;
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface && isRow() ? static_cast<QAccessibleActionInterface*>(this)
                                                               : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), favouriteAction}; }
    QString localizedActionName(const QString& name) const override;
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    const Shortcut* shortcut() const;

private:
    static inline const QString favouriteAction = QStringLiteral("favourite");
    bool isRow() const;

    SectionAccessible* section_;
    std::size_t item_; // in the section's column
};

// One menu's drawn lines in one column, named after the menu; its title line
// is its name rather than a child.
class SectionAccessible : public QAccessibleInterface {
public:
    SectionAccessible(QAccessibleInterface* columns, std::size_t column, std::size_t first, std::size_t end)
        : columns_(columns), column_(column), first_(first), end_(end)
    {}
    ~SectionAccessible() override { forgetLines(); }

    bool isValid() const override { return columns_->isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return columns_->window(); }
    QAccessibleInterface* parent() const override { return columns_; }
    QAccessible::Role role() const override { return QAccessible::Grouping; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && titled())
            return qstring(*items()[first_].title);
        if (kind == QAccessible::Description)
            return ShortcutColumnsView::tr("Menu");
        return {};
    }

    QAccessible::State state() const override { return {}; }

    QRect rect() const override
    {
        QRectF area;
        for (std::size_t i = first_; i < end_; ++i)
            area |= view()->itemRect(column_, items()[i]);
        const QRect local = area.toAlignedRect();
        return {view()->mapToGlobal(local.topLeft()), local.size()};
    }

    int childCount() const override { return int(end_ - childStart()); }

    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        return lines_.at(std::size_t(index), std::size_t(childCount()), [&] {
            return new LineAccessible(const_cast<SectionAccessible*>(this), childStart() + std::size_t(index));
        });
    }

    int indexOfChild(const QAccessibleInterface* child) const override { return lines_.indexOf(child); }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPointF local = view()->mapFromGlobal(QPoint(x, y));
        for (std::size_t i = childStart(); i < end_; ++i)
            if (view()->itemRect(column_, items()[i]).contains(local))
                return child(int(i - childStart()));
        return nullptr;
    }

    // The line of this row, made when needed; null when the row is not here.
    LineAccessible* lineOf(const Shortcut& row) const
    {
        for (std::size_t i = childStart(); i < end_; ++i)
            if (items()[i].shortcut == &row && items()[i].kind == ShortcutColumnsView::Kind::row)
                return static_cast<LineAccessible*>(child(int(i - childStart())));
        return nullptr;
    }

    void forgetLines()
    {
        lines_.forget([](LineAccessible&) {});
    }

    ShortcutColumnsView* view() const { return static_cast<ShortcutColumnsView*>(columns_->object()); }
    const std::vector<ShortcutColumnsView::Item>& items() const { return view()->columns_[column_].items; }
    std::size_t column() const { return column_; }

private:
    bool titled() const { return items()[first_].kind == ShortcutColumnsView::Kind::sectionTitle; }
    std::size_t childStart() const { return titled() ? first_ + 1 : first_; }

    QAccessibleInterface* columns_;
    std::size_t column_;
    std::size_t first_;
    std::size_t end_;
    mutable LazyChildren<LineAccessible> lines_;
};

bool LineAccessible::isValid() const
{
    return section_->isValid() && item_ < section_->items().size();
}

QWindow* LineAccessible::window() const
{
    return section_->window();
}

QAccessibleInterface* LineAccessible::parent() const
{
    return section_;
}

bool LineAccessible::isRow() const
{
    return section_->items()[item_].kind == ShortcutColumnsView::Kind::row;
}

const Shortcut* LineAccessible::shortcut() const
{
    return isRow() ? section_->items()[item_].shortcut : nullptr;
}

QAccessible::Role LineAccessible::role() const
{
    switch (section_->items()[item_].kind) {
    case ShortcutColumnsView::Kind::sectionTitle:
    case ShortcutColumnsView::Kind::groupTitle:
        return QAccessible::Heading;
    case ShortcutColumnsView::Kind::separator:
        return QAccessible::Separator;
    case ShortcutColumnsView::Kind::row:
        break;
    }
    return QAccessible::ListItem;
}

QString LineAccessible::text(QAccessible::Text kind) const
{
    const auto& item = section_->items()[item_];
    if (kind == QAccessible::Name)
        return item.title ? qstring(*item.title) : isRow() ? qstring(item.shortcut->title) : QString();
    if (kind != QAccessible::Description)
        return {};
    if (isRow()) {
        // The keys as drawn: what a sighted user reads beside the title, said with the row.
        const QString keys = section_->view()->drawnKeys(section_->column(), item);
        if (item.shortcut->cannotRunHere && !keys.isEmpty())
            return ShortcutColumnsView::tr("Press %1 yourself: this desktop lets no program run it.").arg(keys);
        return keys;
    }
    return item.kind == ShortcutColumnsView::Kind::separator ? QString() : ShortcutColumnsView::tr("Submenu");
}

QAccessible::State LineAccessible::state() const
{
    QAccessible::State state;
    const Shortcut* row = shortcut();
    if (!row)
        return state;
    const auto& model = section_->view()->model_;
    state.selectable = state.focusable = true;
    state.selected = model.isSelected(*row);
    state.focused = state.selected && section_->view()->isActiveWindow();
    state.disabled = model.dimsRow(*row);
    state.checkable = true;
    state.checked = model.isFavourite(*row);
    return state;
}

QRect LineAccessible::rect() const
{
    const QRect local = section_->view()->itemRect(section_->column(), section_->items()[item_]).toAlignedRect();
    return {section_->view()->mapToGlobal(local.topLeft()), local.size()};
}

QString LineAccessible::localizedActionName(const QString& name) const
{
    if (name != favouriteAction)
        return QAccessibleActionInterface::localizedActionName(name);
    const Shortcut* row = shortcut();
    return row && section_->view()->model_.isFavourite(*row) ? ShortcutColumnsView::tr("Remove from favourites")
                                                             : ShortcutColumnsView::tr("Add to favourites");
}

void LineAccessible::doAction(const QString& name)
{
    const Shortcut* row = shortcut();
    if (!row)
        return;
    ShortcutColumnsView* view = section_->view();
    if (name == favouriteAction)
        view->model_.toggleFavourite(*row);
    else if (name == pressAction())
        view->activate(*row);
}

// The columns' menus in reading order, column by column.
class ColumnsAccessible : public QAccessibleWidget {
public:
    explicit ColumnsAccessible(ShortcutColumnsView* view) : QAccessibleWidget(view, QAccessible::List)
    {
        selected_ = selectedId();
    }
    ~ColumnsAccessible() override { forgetSections(); }

    QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name ? ShortcutColumnsView::tr("Shortcuts") : QAccessibleWidget::text(kind);
    }

    int childCount() const override { return int(sections().size()); }

    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        return children_.at(std::size_t(index), sections().size(), [&] {
            const Span& span = sections()[std::size_t(index)];
            return new SectionAccessible(const_cast<ColumnsAccessible*>(this), span.column, span.first, span.end);
        });
    }

    int indexOfChild(const QAccessibleInterface* child) const override { return children_.indexOf(child); }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* section = child(i); section->rect().contains(x, y))
                return section;
        return nullptr;
    }

    // The drawn lines were laid out again.
    void refresh()
    {
        if (sync()) {
            QAccessibleEvent reordered(view(), QAccessible::ObjectReorder);
            QAccessible::updateAccessibility(&reordered);
        }
        const auto selected = selectedId();
        if (selected == selected_)
            return;
        selected_ = selected;
        if (LineAccessible* line = selectedLine()) {
            QAccessible::State changed;
            changed.selected = true;
            QAccessibleStateChangeEvent selection(line, changed);
            QAccessible::updateAccessibility(&selection);
            if (view()->isActiveWindow()) {
                QAccessibleEvent focus(line, QAccessible::Focus);
                QAccessible::updateAccessibility(&focus);
            }
        } else if (QWidget* focused = QApplication::focusWidget(); focused && focused->window() == view()->window()) {
            QAccessibleEvent focus(focused, QAccessible::Focus);
            QAccessible::updateAccessibility(&focus);
        }
    }

private:
    struct Span {
        std::size_t column;
        std::size_t first;
        std::size_t end;
    };
    using Kind = ShortcutColumnsView::Kind;
    using Shown = std::vector<std::pair<Kind, const void*>>;

    ShortcutColumnsView* view() const { return static_cast<ShortcutColumnsView*>(widget()); }

    // Drops the children when the lines changed since they were made; whether they did.
    bool sync() const
    {
        if (view()->layouts_ == layouts_)
            return false;
        layouts_ = view()->layouts_;
        auto shown = shownLines();
        if (shown == shown_)
            return false;
        shown_ = std::move(shown);
        const_cast<ColumnsAccessible*>(this)->forgetSections();
        return true;
    }

    // Each menu's lines: from its title to the next title in the column.
    const std::vector<Span>& sections() const
    {
        sync();
        if (!spansMade_) {
            spansMade_ = true;
            const auto& columns = view()->columns_;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const auto& items = columns[c].items;
                for (std::size_t i = 0; i < items.size(); ++i) {
                    if (i > 0 && items[i].kind != Kind::sectionTitle)
                        continue;
                    if (i > 0)
                        spans_.back().end = i;
                    spans_.push_back({c, i, items.size()});
                }
            }
        }
        return spans_;
    }

    Shown shownLines() const
    {
        Shown shown;
        for (const auto& column : view()->columns_) {
            for (const auto& item : column.items)
                shown.emplace_back(item.kind, item.shortcut ? static_cast<const void*>(item.shortcut) : item.title);
            shown.emplace_back(Kind::separator, nullptr); // the end of a column
        }
        return shown;
    }

    std::optional<Uuid> selectedId() const
    {
        const Shortcut* row = view()->model_.selectedShortcut();
        return row ? std::optional(row->id) : std::nullopt;
    }

    LineAccessible* selectedLine() const
    {
        const Shortcut* row = view()->model_.selectedShortcut();
        if (!row)
            return nullptr;
        for (std::size_t i = 0; i < sections().size(); ++i) {
            const Span& span = sections()[i];
            const auto& items = view()->columns_[span.column].items;
            if (std::any_of(items.begin() + long(span.first), items.begin() + long(span.end),
                            [&](const auto& item) { return item.shortcut == row && item.kind == Kind::row; }))
                return static_cast<SectionAccessible*>(child(int(i)))->lineOf(*row);
        }
        return nullptr;
    }

    void forgetSections()
    {
        children_.forget([](SectionAccessible& section) { section.forgetLines(); });
        spans_.clear();
        spansMade_ = false;
    }

    mutable LazyChildren<SectionAccessible> children_;
    mutable std::vector<Span> spans_;
    mutable bool spansMade_ = false;
    mutable std::uint64_t layouts_ = view()->layouts_;
    mutable Shown shown_ = shownLines();
    std::optional<Uuid> selected_;
};

QAccessibleInterface* columnsAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("hb::views::ShortcutColumnsView") && object && object->isWidgetType())
        return new ColumnsAccessible(static_cast<ShortcutColumnsView*>(object));
    return nullptr;
}

void announceLines(ShortcutColumnsView& view)
{
    if (!QAccessible::isActive())
        return;
    if (auto* columns = dynamic_cast<ColumnsAccessible*>(QAccessible::queryAccessibleInterface(&view)))
        columns->refresh();
}

} // namespace hb::views
