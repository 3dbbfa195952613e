#include "app/views/hotkey_recorder_view.h"

#include "settings/settings_model.h"

#include <QHBoxLayout>
#include <QLabel>

namespace hb::views {

// Placeholder until the recorder lands: shows the hot key only.
HotkeyRecorderView::HotkeyRecorderView(SettingsModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new QLabel(model_.hotkey() ? QString::fromStdString(model_.hotkey()->displayString) : tr("Not set")));
}

HotkeyRecorderView::~HotkeyRecorderView() = default;

DoubleTapModifierPicker::DoubleTapModifierPicker(SettingsModel& model, QWidget* parent) : QComboBox(parent), model_(model)
{
    addItems({QStringLiteral("⌘ Command"), QStringLiteral("⌥ Option"), QStringLiteral("⌃ Control")});
}

} // namespace hb::views
