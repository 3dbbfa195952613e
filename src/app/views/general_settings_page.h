#pragma once

#include "app/views/settings_window.h"

#include <QWidget>

#include <filesystem>
#include <optional>

class QLabel;
class QPushButton;
class QToolButton;

namespace hb::views {

class HotkeyRecorderView;

// The "General" tab: the global shortcut, start at login, update checks, the
// double tap, the key colour, the popup's screen, settings sync through a
// folder, and backup export and import.
class GeneralSettingsPage final : public QWidget {
    Q_OBJECT
public:
    explicit GeneralSettingsPage(SettingsPageContext& context, QWidget* parent = nullptr);

    HotkeyRecorderView* recorder() const { return recorder_; }

    // "Export Settings…" and "Import Settings…".
    void exportSettings();
    void importSettings();
    // The sync switch and the folder's "Change…".
    void setSyncEnabled(bool enabled);
    void changeSyncFolder();

protected:
    // The system accent colour is the palette's.
    void changeEvent(QEvent* event) override;

private:
    QWidget* shortcutSection();
    QWidget* generalSection();
    QWidget* doubleTapSection();
    QWidget* appearanceSection();
    QWidget* displaySection();
    QWidget* syncSection();
    QWidget* backupSection();

    std::optional<std::filesystem::path> syncFolder() const;
    void setSyncFolder(const std::filesystem::path& folder);
    // Turns sync on with the stored folder; asks which side wins when the folder holds newer settings.
    void startSync();
    void refreshColour();
    void refreshSync();

    SettingsPageContext& c_;
    HotkeyRecorderView* recorder_ = nullptr;
    QToolButton* colourWell_ = nullptr;
    QPushButton* resetColour_ = nullptr;
    QWidget* folderRow_ = nullptr;
    QLabel* folderLabel_ = nullptr;
};

} // namespace hb::views
