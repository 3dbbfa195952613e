#pragma once

#include "app/views/settings_window.h"

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace hb::views {

// The "Developer" tab: the update feed and channels (off where the package
// manager brings the updates), debug logging, the conflict indicator, and
// clearing the synced settings.
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
    QLineEdit* feed_;
};

} // namespace hb::views
