#pragma once

#include "platform/observer_list.h"

#include <QComboBox>
#include <QWidget>

class QLabel;
class QPushButton;

namespace hb {
class SettingsModel;
}

namespace hb::views {

// The global shortcut's badge and recorder: the hot key's text ("Not set"
// without one, "Type your shortcut…" while recording), "Record Shortcut…" or
// "Cancel", "Clear", and "Shortcut already in use" after a refused
// combination. The model hears the keys through its global key monitor; while
// it records, key presses into this program's windows are swallowed so that
// they trigger nothing here. Destroying the view ends a recording. Follows the
// model; the model outlives the view.
class HotkeyRecorderView : public QWidget {
    Q_OBJECT
public:
    explicit HotkeyRecorderView(SettingsModel& model, QWidget* parent = nullptr);
    ~HotkeyRecorderView() override;

    // The badge's text, as shown.
    QString badgeText() const;
    QPushButton* recordButton() const { return record_; }
    QPushButton* clearButton() const { return clear_; }
    // "Shortcut already in use"; visible after a refusal.
    QLabel* failureLine() const { return failure_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void swallowKeys(bool swallow);

    SettingsModel& model_;
    platform::ObserverList<>::Id observer_;
    QLabel* badge_;
    QPushButton* record_;
    QPushButton* clear_;
    QLabel* failure_;
    bool swallowing_ = false;
};

// The double tap's modifier: "Ctrl", "Alt", "Super", bound to
// the model's `doubleTapModifier`.
class DoubleTapModifierPicker : public QComboBox {
    Q_OBJECT
public:
    explicit DoubleTapModifierPicker(SettingsModel& model, QWidget* parent = nullptr);
    ~DoubleTapModifierPicker() override;

private:
    void refresh();

    SettingsModel& model_;
    platform::ObserverList<>::Id observer_;
};

} // namespace hb::views
