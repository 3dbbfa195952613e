#include "app/views/settings_dialogs.h"

#include "settings/settings_backup.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

namespace hb::views {
namespace {

std::filesystem::path toPath(const QString& file)
{
    return std::filesystem::path(file.toStdString());
}

QString backupFilter()
{
    return QStringLiteral("Hintboard Settings (*.%1)")
        .arg(QString::fromUtf8(backupFileExtension.data(), qsizetype(backupFileExtension.size())));
}

} // namespace

int QtSettingsDialogs::alert(QWidget* parent, const Alert& request)
{
    QMessageBox box(parent);
    box.setWindowModality(Qt::WindowModal);
    box.setIcon(request.icon == Alert::Icon::warning ? QMessageBox::Warning : QMessageBox::Information);
    box.setText(request.message);
    box.setInformativeText(request.informativeText);
    QList<QAbstractButton*> buttons;
    for (int i = 0; i < request.buttons.size(); ++i) {
        const auto role = i == request.cancelButton        ? QMessageBox::RejectRole
                          : i == request.destructiveButton ? QMessageBox::DestructiveRole
                                                           : QMessageBox::AcceptRole;
        buttons.append(box.addButton(request.buttons[i], role));
    }
    // The first button, unless it destroys data and there is a way out.
    const int defaultButton = request.destructiveButton == 0 && request.cancelButton >= 0 ? request.cancelButton : 0;
    if (defaultButton < buttons.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons[defaultButton]));
    if (request.cancelButton >= 0)
        box.setEscapeButton(buttons[request.cancelButton]);
    box.exec();
    const int chosen = int(buttons.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : std::max(request.cancelButton, 0);
}

std::optional<std::filesystem::path> QtSettingsDialogs::chooseExportFile(QWidget* parent)
{
    QFileDialog dialog(parent, QObject::tr("Export Settings"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(backupFilter());
    dialog.setDefaultSuffix(QString::fromUtf8(backupFileExtension.data(), qsizetype(backupFileExtension.size())));
    dialog.setDirectory(QDir::homePath());
    dialog.selectFile(QString::fromUtf8(backupDefaultFileName.data(), qsizetype(backupDefaultFileName.size())));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toPath(dialog.selectedFiles().front());
}

std::optional<std::filesystem::path> QtSettingsDialogs::chooseImportFile(QWidget* parent)
{
    const QString file =
        QFileDialog::getOpenFileName(parent, QObject::tr("Import Settings"), QDir::homePath(), backupFilter());
    if (file.isEmpty())
        return std::nullopt;
    return toPath(file);
}

std::optional<std::filesystem::path> QtSettingsDialogs::chooseSyncFolder(QWidget* parent,
                                                                         const std::filesystem::path& current)
{
    const QString start = current.empty() ? QDir::homePath() : QString::fromStdString(current.string());
    const QString folder = QFileDialog::getExistingDirectory(parent, QObject::tr("Choose Sync Folder"), start);
    if (folder.isEmpty())
        return std::nullopt;
    return toPath(folder);
}

std::optional<QColor> QtSettingsDialogs::chooseColor(QWidget* parent, const QColor& current)
{
    const QColor color = QColorDialog::getColor(current, parent, QObject::tr("Key Colour"));
    if (!color.isValid())
        return std::nullopt;
    return color;
}

void relaunchApplication()
{
    // $0 is the program, $1 this process; the rest are its arguments.
    const QString script =
        QStringLiteral("while kill -0 \"$1\" 2>/dev/null; do sleep 0.1; done; shift; exec \"$0\" \"$@\"");
    QStringList arguments{QStringLiteral("-c"), script, QCoreApplication::applicationFilePath(),
                          QString::number(QCoreApplication::applicationPid())};
    arguments += QCoreApplication::arguments().mid(1);
    QProcess::startDetached(QStringLiteral("/bin/sh"), arguments);
    QCoreApplication::quit();
}

} // namespace hb::views
