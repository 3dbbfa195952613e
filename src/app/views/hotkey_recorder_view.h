#pragma once

#include "base/observer_list.h"

#include <QComboBox>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace hb {
class SettingsModel;
struct TriggerAvailability;
} // namespace hb

namespace hb::views {

// The global shortcut's badge and recorder: the hot key's text ("Not set"
// without one, "Type your shortcut…" while recording), "Record Shortcut…" or
// "Cancel", "Clear", and "Shortcut already in use" after a refused
// combination. The model hears the keys through its global key monitor; while
// it records, key presses into this program's windows are swallowed so that
// they trigger nothing here. Destroying the view ends a recording. Follows the
// model; the model outlives the view.
// Where only the desktop's keyboard settings bind keys, it shows instead the
// command to bind, a button that copies it and where desktops take it.
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
    // The command to bind and its copy button; none where the hot key is recorded here.
    QLineEdit* commandField() const { return command_; }
    QPushButton* copyButton() const { return copy_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void swallowKeys(bool swallow);
    void addDesktopBinding(QVBoxLayout& layout, const TriggerAvailability& availability);

    SettingsModel& model_;
    platform::ObserverList<>::Id observer_;
    QLabel* badge_;
    QPushButton* record_;
    QPushButton* clear_;
    QLabel* failure_;
    QLineEdit* command_ = nullptr;
    QPushButton* copy_ = nullptr;
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
