#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>

class QWidget;

namespace hb::views {

// A modal alert: a message in bold, an explaining text, and buttons.
struct Alert {
    enum class Icon { information, warning };

    Icon icon = Icon::warning;
    QString message;
    QString informativeText;
    // The first button is the default one, unless it is destructive and
    // there is a cancel button.
    QStringList buttons{QStringLiteral("OK")};
    // The button that Escape chooses; -1: none.
    int cancelButton = -1;
    // A button that destroys data, drawn as such; -1: none.
    int destructiveButton = -1;
};

// The settings window's modal questions: file and folder choosers, the colour
// picker and alerts. Tests put in their own answers so that nothing blocks.
class SettingsDialogs {
public:
    virtual ~SettingsDialogs() = default;

    // The position of the button chosen.
    virtual int alert(QWidget* parent, const Alert& request) = 0;
    // Where to save a backup; none when cancelled.
    virtual std::optional<std::filesystem::path> chooseExportFile(QWidget* parent) = 0;
    // The backup to import; none when cancelled.
    virtual std::optional<std::filesystem::path> chooseImportFile(QWidget* parent) = 0;
    // The folder that the user's sync tool keeps in step; none when cancelled.
    virtual std::optional<std::filesystem::path> chooseSyncFolder(QWidget* parent,
                                                                  const std::filesystem::path& current) = 0;
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& current) = 0;
};

// The same with Qt's dialogs, window-modal over `parent`.
class QtSettingsDialogs final : public SettingsDialogs {
public:
    int alert(QWidget* parent, const Alert& request) override;
    std::optional<std::filesystem::path> chooseExportFile(QWidget* parent) override;
    std::optional<std::filesystem::path> chooseImportFile(QWidget* parent) override;
    std::optional<std::filesystem::path> chooseSyncFolder(QWidget* parent,
                                                          const std::filesystem::path& current) override;
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& current) override;
};

// Starts this program again once this process has ended, then quits the
// event loop. The new process waits for this one, so that it does not meet
// this one still holding the single-instance name.
void relaunchApplication();

} // namespace hb::views
