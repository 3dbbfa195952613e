#include "app/views/tray_icon.h"

#include "app/views/ready_hint_bubble.h"
#include "model/key_label.h"

#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionMenuItem>
#include <QSvgRenderer>

namespace hb::views {
namespace {

constexpr std::uint64_t controlFlag = 0x40000;
constexpr char keyLabelProperty[] = "hintboardKeyLabel";

// The status menu; an item's keys are drawn as the key-labels setting writes
// them, while its shortcut (what screen readers read and hosts draw) stays a
// key sequence.
class StatusMenu final : public QMenu {
protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override
    {
        QMenu::initStyleOption(option, action);
        const QString label = action->property(keyLabelProperty).toString();
        if (!label.isEmpty())
            option->text = action->text() + u'\t' + label;
    }
};

// Key notation as a key sequence in Qt's names.
QKeySequence keySequence(const std::string& keys)
{
    QString words = QString::fromStdString(notation::keyLabel(keys, notation::KeyLabels::words));
    words.replace(QLatin1String("Super"), QLatin1String("Meta"))
        .replace(QLatin1String("Page Up"), QLatin1String("PgUp"))
        .replace(QLatin1String("Page Down"), QLatin1String("PgDown"));
    return QKeySequence::fromString(words, QKeySequence::PortableText);
}

// Whether a StatusNotifierItem host is there, asked as Qt asks before it
// chooses that protocol over XEmbed.
bool statusNotifierHost()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.kde.StatusNotifierWatcher") << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
           && reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

QString styleName(MenuBarIconStyle style)
{
    switch (style) {
    case MenuBarIconStyle::command:
        return "command";
    case MenuBarIconStyle::option:
        return "option";
    case MenuBarIconStyle::control:
        return "control";
    case MenuBarIconStyle::keyboard:
        break;
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
    if (statusNotifierHost()) {
        // The host draws this menu itself, each item with its role and keys; it
        // is filled anew as it opens.
        exported_ = std::make_unique<StatusMenu>();
        connect(exported_.get(), &QMenu::aboutToShow, this, &TrayIcon::refillExportedMenu);
        tray_.setContextMenu(exported_.get());
    }
}

void TrayIcon::refillExportedMenu()
{
    if (exported_ && onMenuOpening)
        fillMenu(*exported_, onMenuOpening());
}

TrayIcon::~TrayIcon() = default;

QIcon TrayIcon::statusIcon(MenuBarIconStyle style, bool darkPanel)
{
    return renderedIcon(
        QString(":/icons/status/hintboard-%1-%2-panel.svg").arg(styleName(style), darkPanel ? "dark" : "light"),
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
    // Hosts read the exported menu before they first open it.
    if (exported_ && exported_->isEmpty())
        refillExportedMenu();
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
    case QSystemTrayIcon::DoubleClick: // the second click of two quick ones is a click all the same
        if (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier)
            click.modifierFlags = controlFlag;
        break;
    case QSystemTrayIcon::Context:
        if (exported_)
            return; // the host shows the exported menu
        click.secondaryButton = true;
        break;
    default:
        return; // middle clicks are no requests
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

void TrayIcon::fillMenu(QMenu& menu, const std::vector<StatusMenuEntry>& entries)
{
    menu.clear();
    for (const StatusMenuEntry& entry : entries) {
        if (entry.kind == StatusMenuEntry::Kind::separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(entry.title));
        action->setEnabled(entry.enabled && entry.kind == StatusMenuEntry::Kind::action);
        if (!entry.keys.empty()) {
            action->setShortcut(keySequence(entry.keys));
            // Only while the menu is open: the hot key belongs to the desktop.
            action->setShortcutContext(Qt::WidgetShortcut);
            action->setProperty(keyLabelProperty, QString::fromStdString(entry.keyText));
        }
        if (entry.action) {
            // Copied: the action may open a new menu, which replaces this one.
            connect(action, &QAction::triggered, this, [run = entry.action] {
                auto copy = run;
                copy();
            });
        }
    }
}

void TrayIcon::showMenu(std::vector<StatusMenuEntry> entries)
{
    // Built anew each time; the last one goes once it has closed.
    if (menu_)
        menu_.release()->deleteLater();
    menu_ = std::make_unique<StatusMenu>();
    menu_->setObjectName("statusMenu");
    menu_->setWindowTitle("Hintboard Menu"); // names the window for window managers and tests
    fillMenu(*menu_, entries);
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
