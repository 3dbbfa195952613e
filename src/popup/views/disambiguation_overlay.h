#pragma once

#include "model/key_label.h"
#include "popup/disambiguation.h"

#include <QAbstractButton>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace hb::views {

// One choice of the overlay: a title, an optional note under it, an optional
// trailing symbol; drawn highlighted while it has the keyboard focus.
class OptionButton : public QAbstractButton {
    Q_OBJECT

public:
    OptionButton(QString title, QString note, bool trailingArrow, QWidget* parent = nullptr);

    bool isFocusedOption() const { return focused_; }
    void setFocusedOption(bool focused);
    const QString& note() const { return note_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString note_;
    bool trailingArrow_;
    bool focused_ = false;
    bool hovered_ = false;
};

// "What should happen?" above the keys pressed, then one option per command,
// the own action, Cancel; drawn over the whole list while a choice is open.
class DisambiguationOverlay : public QWidget {
    Q_OBJECT

public:
    DisambiguationOverlay(notation::KeyLabels keyLabels, QWidget* parent = nullptr);

    std::function<void(std::size_t option)> onChoose;

    // Shows the options of the state (rebuilt only when they change) with one focused.
    void show(const DisambiguationState& state, std::size_t focusedIndex);
    const std::vector<OptionButton*>& options() const { return buttons_; }
    QString shownKeys() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    notation::KeyLabels keyLabels_;
    QWidget* card_;
    QLabel* keys_;
    QVBoxLayout* optionsLayout_;
    std::vector<OptionButton*> buttons_;
    std::vector<QString> shownTitles_;
};

} // namespace hb::views
