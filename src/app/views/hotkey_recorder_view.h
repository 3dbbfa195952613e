#pragma once

#include <QComboBox>
#include <QWidget>

namespace hb {
class SettingsModel;
}

namespace hb::views {

// The global shortcut's badge and recorder: the hot key's text ("Not set"
// without one, "Type your shortcut…" while recording), "Record Shortcut…" or
// "Cancel", "Clear", and "Shortcut already in use" after a refused
// combination. Follows the model; the model outlives the view.
class HotkeyRecorderView : public QWidget {
    Q_OBJECT
public:
    explicit HotkeyRecorderView(SettingsModel& model, QWidget* parent = nullptr);
    ~HotkeyRecorderView() override;

private:
    SettingsModel& model_;
};

// The double tap's modifier: "⌘ Command", "⌥ Option", "⌃ Control", bound to
// the model's `doubleTapModifier`.
class DoubleTapModifierPicker : public QComboBox {
    Q_OBJECT
public:
    explicit DoubleTapModifierPicker(SettingsModel& model, QWidget* parent = nullptr);

private:
    SettingsModel& model_;
};

} // namespace hb::views
