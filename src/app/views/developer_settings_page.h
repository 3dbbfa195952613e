#pragma once

#include "app/views/settings_window.h"

#include <QWidget>

class QPushButton;

namespace hb::views {

// The "Developer" tab: update channels, debug logging, the conflict indicator,
// and clearing the synced settings.
class DeveloperSettingsPage final : public QWidget {
    Q_OBJECT
public:
    explicit DeveloperSettingsPage(SettingsPageContext& context, QWidget* parent = nullptr);

    // "Clear Synced Settings…": asks, then clears the folder and turns sync off.
    void clearSyncedSettings();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();

    SettingsPageContext& c_;
    QPushButton* clear_;
};

} // namespace hb::views
