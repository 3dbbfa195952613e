#include "app/views/tray_icon.h"

#include "app/views/ready_hint_bubble.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>

namespace hb::views {
namespace {

constexpr std::uint64_t controlFlag = 0x40000;

QString styleName(MenuBarIconStyle style)
{
    switch (style) {
    case MenuBarIconStyle::command: return "command";
    case MenuBarIconStyle::option: return "option";
    case MenuBarIconStyle::control: return "control";
    case MenuBarIconStyle::keyboard: break;
    }
    return "keyboard";
}

// Renders the SVG at each size a panel asks for, so that no size is scaled
// from a bitmap.
QIcon renderedIcon(const QString& file, std::initializer_list<int> sizes)
{
    QSvgRenderer renderer(file);
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool panelIsDark()
{
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

} // namespace

TrayIcon::TrayIcon(platform::Log& log, QObject* parent) : QObject(parent), log_(log)
{
    tray_.setToolTip("Hintboard");
    connect(&tray_, &QSystemTrayIcon::activated, this, &TrayIcon::activated);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        log_.notice(platform::LogCategory::settings,
                    "There is no tray host: no status icon can be shown until one starts; Hintboard keeps running");
}

TrayIcon::~TrayIcon() = default;

QIcon TrayIcon::statusIcon(MenuBarIconStyle style, bool darkPanel)
{
    return renderedIcon(QString(":/icons/status/hintboard-%1-%2-panel.svg").arg(styleName(style), darkPanel ? "dark" : "light"),
                        {16, 22, 24, 32, 48, 64});
}

QIcon TrayIcon::applicationIcon()
{
    return renderedIcon(":/icons/apps/org.mirelo.Hintboard.svg", {16, 32, 48, 64, 128, 256});
}

bool TrayIcon::exists() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setIconStyle(MenuBarIconStyle style)
{
    tray_.setIcon(statusIcon(style, panelIsDark()));
    // Shown even without a host: the icon appears when one starts, and
    // comes back when the host restarts.
    tray_.show();
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    if (!onClick)
        return;
    StatusClick click;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:  // the second click of two quick ones is a click all the same
        if (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier)
            click.modifierFlags = controlFlag;
        break;
    case QSystemTrayIcon::Context:
        click.secondaryButton = true;
        break;
    default:
        return;  // middle clicks are no requests
    }
    onClick(click);
}

QPoint TrayIcon::menuPosition() const
{
    const QRect icon = tray_.geometry();
    const QPoint cursor = QCursor::pos();
    if (icon.isEmpty() || icon.adjusted(-4, -4, 4, 4).contains(cursor))
        return cursor;
    return icon.bottomLeft();
}

void TrayIcon::showMenu(std::vector<StatusMenuEntry> entries)
{
    // Built anew each time; the last one goes once it has closed.
    if (menu_)
        menu_.release()->deleteLater();
    entries_ = std::move(entries);
    menu_ = std::make_unique<QMenu>();
    menu_->setObjectName("statusMenu");
    menu_->setWindowTitle("Hintboard Menu");  // names the window for window managers and tests
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const StatusMenuEntry& entry = entries_[i];
        if (entry.kind == StatusMenuEntry::Kind::separator) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(QString::fromStdString(entry.title));
        action->setEnabled(entry.enabled && entry.kind == StatusMenuEntry::Kind::action);
        if (!entry.keyText.empty()) {
            // Written as the rest of the program writes keys.
            action->setText(QString::fromStdString(entry.title + "\t" + entry.keyText));
        } else if (!entry.keyEquivalent.empty()) {
            // Command is the Control key in Linux menus.
            const QString keys = QString::fromStdString(entry.keyEquivalent).toUpper();
            action->setShortcut(QKeySequence(entry.commandModifier ? "Ctrl+" + keys : keys));
        }
        if (entry.action) {
            connect(action, &QAction::triggered, this, [this, i] {
                // Copied: the action may open a new menu, which replaces the entries.
                auto run = entries_[i].action;
                run();
            });
        }
    }
    menu_->popup(menuPosition());
}

void TrayIcon::showReadyHint(const std::string& title, const std::string& text)
{
    if (!hint_)
        hint_ = std::make_unique<ReadyHintBubble>();
    hint_->setTexts(QString::fromStdString(title), QString::fromStdString(text));
    hint_->showNear(tray_.geometry());
}

void TrayIcon::closeReadyHint()
{
    if (hint_)
        hint_->hide();
}

void TrayIcon::showAbout()
{
    if (about_) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle("About Hintboard");
    box->setIconPixmap(applicationIcon().pixmap(64, 64));
    box->setTextFormat(Qt::RichText);
    QString version = HINTBOARD_VERSION;
    if (const QString channel = HINTBOARD_RELEASE_CHANNEL; !channel.isEmpty())
        version += " (" + channel + ")";
    box->setText(QString("<p><b>Hintboard</b><br>Version %1</p>"
                         "<p>Reads the menus of the application in front through AT-SPI, the desktop's "
                         "accessibility service.</p>"
                         "<p>Hintboard is free software: you may redistribute and change it under the terms of "
                         "the <a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">GNU General Public License, "
                         "version 3 or later</a> (GPL-3.0-or-later). It comes with no warranty.</p>"
                         "<p><small>Made by %2<br>"
                         "<a href=\"%3\">%3</a><br>"
                         "Feedback: <a href=\"mailto:%4\">%4</a></small></p>")
                     .arg(version, HINTBOARD_AUTHOR, HINTBOARD_WEB_SITE, HINTBOARD_FEEDBACK_ADDRESS));
    if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        label->setOpenExternalLinks(true);
    }
    box->setStandardButtons(QMessageBox::Ok);
    box->setModal(false);
    about_ = box;
    box->show();
}

} // namespace hb::views
