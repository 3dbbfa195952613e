#include "popup/views/export_flow.h"

#include "popup/markdown_export.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>

namespace hb::views {
namespace {

QString qstring(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A dialog of the panel: a window of its own that the window manager frames
// and stacks (the panel is unmanaged), centred where the panel is.
void placeOverPanel(QWidget& dialog, QWidget* panel)
{
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (!panel)
        return;
    dialog.adjustSize();
    QRect frame = dialog.rect();
    frame.moveCenter(panel->geometry().center());
    dialog.move(frame.topLeft());
}

ExportChoice askChoice(QWidget* parent, const QString& appName)
{
    QMessageBox box;
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(QObject::tr("Export Shortcuts"));
    box.setText(QObject::tr("Export %1 Shortcuts").arg(appName));
    box.setInformativeText(QObject::tr("Save as a Markdown file, or copy to the clipboard."));
    QPushButton* save = box.addButton(QObject::tr("Save as File…"), QMessageBox::AcceptRole);
    QPushButton* copy = box.addButton(QObject::tr("Copy to Clipboard"), QMessageBox::ActionRole);
    QPushButton* cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    placeOverPanel(box, parent);
    box.exec();
    if (box.clickedButton() == save)
        return ExportChoice::saveAsFile;
    if (box.clickedButton() == copy)
        return ExportChoice::copyToClipboard;
    return ExportChoice::cancel;
}

QString askSaveLocation(QWidget* parent, const QString& suggestedName)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QFileDialog dialog(nullptr, QObject::tr("Save Shortcuts"), QDir(folder).filePath(suggestedName),
                       QObject::tr("Markdown (*.md);;Plain text (*.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("md"));
    dialog.setOption(QFileDialog::ShowDirsOnly, false);
    placeOverPanel(dialog, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void showSaveFailure(QWidget* parent, const QString& error)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QObject::tr("Save Failed"));
    box.setText(QObject::tr("Save Failed"));
    box.setInformativeText(error);
    box.addButton(QMessageBox::Ok);
    placeOverPanel(box, parent);
    box.exec();
}

} // namespace

ExportDialogs ExportDialogs::standard()
{
    return {askChoice, askSaveLocation, showSaveFailure};
}

QString writeDocument(const QString& path, const std::string& document)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(document.data(), qint64(document.size())) != qint64(document.size())) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

QString suggestedFileName(const std::string& appName)
{
    QString name = qstring(appName);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    name.remove(QChar(0));
    return name + QStringLiteral(" Shortcuts.md");
}

bool exportShortcuts(QPointer<QWidget> panel, AppShortcuts app, notation::KeyLabels labels, ExportDialogs dialogs,
                     std::function<void(bool modal)> modal)
{
    const std::string document = markdown::document(app, labels);
    const auto dialog = [&](auto&& run) {
        if (modal)
            modal(true);
        auto result = run();
        if (modal)
            modal(false);
        return result;
    };

    const ExportChoice choice = dialog([&] { return dialogs.ask(panel.data(), qstring(app.appName)); });
    switch (choice) {
    case ExportChoice::copyToClipboard:
        QGuiApplication::clipboard()->setText(qstring(document));
        return true;
    case ExportChoice::saveAsFile: {
        const QString path = dialog([&] { return dialogs.saveLocation(panel.data(), suggestedFileName(app.appName)); });
        if (path.isEmpty())
            return false;
        const QString error = writeDocument(path, document);
        if (error.isEmpty())
            return true;
        dialog([&] {
            dialogs.reportSaveFailure(panel.data(), error);
            return 0;
        });
        return false;
    }
    case ExportChoice::cancel:
        break;
    }
    return false;
}

} // namespace hb::views
