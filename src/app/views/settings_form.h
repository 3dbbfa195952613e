#pragma once

#include "base/observer_list.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QObject>

#include <functional>
#include <string_view>

class QButtonGroup;
class QHBoxLayout;
class QVBoxLayout;

namespace hb::views {

// An on/off switch. Its object name is the settings key it edits.
class SwitchButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A row of exclusive segments, each a text or an icon (with the tool tip
// naming it). Emits selected() when the user picks another segment.
class SegmentedControl final : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    QAbstractButton* addSegment(const QString& text, const QIcon& icon = {}, const QString& toolTip = {});
    // Shows the icon in place of the text.
    void setSegmentIcon(int index, const QIcon& icon);
    int currentIndex() const;
    void setCurrentIndex(int index);
    QAbstractButton* segment(int index) const;
    int count() const;

signals:
    void selected(int index);

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QButtonGroup* group_;
    QHBoxLayout* row_;
    bool restyling_ = false;
};

// Text from UTF-8.
inline QString qtText(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
// A path as the user reads it: "~/…" inside the home folder.
QString homeRelativePath(const QString& path);

// Secondary, smaller, wrapping text under a control or a group.
QLabel* makeCaption(const QString& text);
// A group's title.
QLabel* makeSectionTitle(const QString& text);
// A small rounded label ("experimental").
QLabel* makeBadge(const QString& text);

// A rounded box of rows with lines between them, as the settings tabs group
// their controls.
class FormBox final : public QFrame {
    Q_OBJECT
public:
    explicit FormBox(QWidget* parent = nullptr);

    // A row: the title (with a caption under it when given) on the left,
    // `control` on the right. `indent` sets it under the row before it;
    // `accessory` follows the title (a badge).
    QWidget* addRow(const QString& title, QWidget* control, const QString& caption = {}, bool indent = false,
                    QWidget* accessory = nullptr);
    // A row of any content, full width.
    QWidget* addWidget(QWidget* widget);
    // Removes every row.
    void clear();
    int rowCount() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};

// A group: an optional title, a box, and an optional caption under the box.
struct FormSection {
    QWidget* widget;
    FormBox* box;
    QLabel* footer; // null without a caption
};
FormSection makeSection(const QString& title, const QString& footer = {});

// Runs `onChange` after every change of `observable` until `owner` is destroyed.
template <typename Observable>
void observe(QObject* owner, Observable& observable, std::function<void()> onChange)
{
    const auto id = observable.addObserver(std::move(onChange));
    QObject::connect(owner, &QObject::destroyed, [&observable, id] { observable.removeObserver(id); });
}

// A switch that shows `get()` now and after every change of `observable`, and
// calls `set` when the user flips it. Its object name is `key`.
template <typename Observable>
SwitchButton* boundSwitch(QObject* owner, Observable& observable, std::string_view key, std::function<bool()> get,
                          std::function<void(bool)> set)
{
    auto* button = new SwitchButton;
    button->setObjectName(qtText(key));
    auto refresh = [button, get = std::move(get)] {
        const QSignalBlocker blocker(button);
        button->setChecked(get());
    };
    refresh();
    observe(owner, observable, refresh);
    QObject::connect(button, &QAbstractButton::toggled, button, [set = std::move(set), refresh](bool on) {
        set(on);
        refresh(); // a refused change shows the real state
    });
    return button;
}

} // namespace hb::views
