#pragma once

#include "base/log.h"
#include "tray/status_item.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>
#include <vector>

class QMenu;
class QMessageBox;

namespace hb::views {

class ReadyHintBubble;

// The status icon in the panel's tray area (StatusNotifierItem where a host
// offers it, XEmbed otherwise). Reports clicks to its owner and shows what it
// is given: the menu, the ready hint, the about box. Main thread only.
class TrayIcon final : public QObject, public StatusItem {
    Q_OBJECT

public:
    explicit TrayIcon(platform::Log& log, QObject* parent = nullptr);
    ~TrayIcon() override;

    bool exists() const override;
    void setIconStyle(MenuBarIconStyle style) override;
    void showMenu(std::vector<StatusMenuEntry> entries) override;
    void showReadyHint(const std::string& title, const std::string& text) override;
    void closeReadyHint() override;
    void showAbout() override;

    // The icon for a style, drawn for a dark or a light panel.
    static QIcon statusIcon(MenuBarIconStyle style, bool darkPanel);
    // The program's own icon.
    static QIcon applicationIcon();
    // Where the icon is on the screen; empty when the host does not say.
    QRect geometry() const { return tray_.geometry(); }

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    QPoint menuPosition() const;
    void fillMenu(QMenu& menu, const std::vector<StatusMenuEntry>& entries);
    void refillExportedMenu();

    platform::Log& log_;
    QSystemTrayIcon tray_;
    std::unique_ptr<QMenu> menu_;
    // The menu a StatusNotifierItem host draws itself (over com.canonical.dbusmenu).
    std::unique_ptr<QMenu> exported_;
    std::unique_ptr<ReadyHintBubble> hint_;
    QPointer<QMessageBox> about_;
};

} // namespace hb::views
