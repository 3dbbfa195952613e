#pragma once

#include "updates/updates.h"

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;
class QTextBrowser;

namespace hb::views {

// The update window: while a check runs, then its result — the newer version
// with its notes and a button to its download page, this version being
// current, that the package manager brings the updates, or the error. The
// window installs nothing; it only points to where updates come from. Main
// thread only.
class UpdateDialog final : public QDialog {
    Q_OBJECT

public:
    explicit UpdateDialog(QString runningVersion, QWidget* parent = nullptr);

    void showChecking();
    void showResult(const UpdateCheckResult& result);

private:
    void present();

    QString runningVersion_;
    QLabel* heading_;
    QLabel* text_;
    QTextBrowser* notes_;
    QLabel* notesLink_;
    QPushButton* download_;
    QUrl downloadPage_;
};

} // namespace hb::views
