#pragma once

#include "model/key_label.h"
#include "model/shortcut.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

namespace hb::views {

enum class ExportChoice { saveAsFile, copyToClipboard, cancel };

// The dialogs of an export; the defaults are modal message boxes and the
// file dialog, replaceable where no one can click them.
struct ExportDialogs {
    std::function<ExportChoice(QWidget* parent, const QString& appName)> ask;
    // The chosen path, or empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggestedName)> saveLocation;
    std::function<void(QWidget* parent, const QString& error)> reportSaveFailure;

    static ExportDialogs standard();
};

// Writes the document as UTF-8, atomically; the error text on failure, else empty.
QString writeDocument(const QString& path, const std::string& document);

// "<app> Shortcuts.md", without characters a file name cannot hold.
QString suggestedFileName(const std::string& appName);

// Asks how to export the application's shortcuts, keys written as `labels`
// says, and does it; the dialogs are placed over `panel` while it exists.
// `modal` is called with true before a dialog opens and false after it
// closed. True after a successful save or copy. The popup may close, and its
// panel go, while a dialog is open: the export keeps its own copies of
// everything else.
bool exportShortcuts(QPointer<QWidget> panel, AppShortcuts app, notation::KeyLabels labels, ExportDialogs dialogs,
                     std::function<void(bool modal)> modal);

} // namespace hb::views
