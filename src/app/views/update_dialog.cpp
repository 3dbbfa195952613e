#include "app/views/update_dialog.h"

#include "app/views/tray_icon.h"
#include "popup/views/window_placement.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace hb::views {
namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void openWebAddress(const QUrl& url)
{
    if (url.scheme() == "https" || url.scheme() == "http")
        QDesktopServices::openUrl(url);
}

// Notes come from the network: they may show text and links, never load
// images or style sheets (that would read local files or reach other hosts).
class NotesBrowser final : public QTextBrowser {
public:
    NotesBrowser()
    {
        setOpenLinks(false);
        connect(this, &QTextBrowser::anchorClicked, this, &openWebAddress);
    }

    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

UpdateDialog::UpdateDialog(QString runningVersion, QWidget* parent)
    : QDialog(parent), runningVersion_(std::move(runningVersion)), heading_(new QLabel), text_(new QLabel),
      notes_(new NotesBrowser), notesLink_(new QLabel), download_(new QPushButton("Open Download Page"))
{
    setWindowTitle("Software Update");
    setWindowIcon(TrayIcon::applicationIcon());

    auto* icon = new QLabel;
    icon->setPixmap(TrayIcon::applicationIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    QFont headingFont = heading_->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.2);
    heading_->setFont(headingFont);
    heading_->setWordWrap(true);
    text_->setWordWrap(true);
    notes_->setMinimumSize(420, 180);
    notesLink_->setTextFormat(Qt::RichText);
    connect(notesLink_, &QLabel::linkActivated, this, [](const QString& link) { openWebAddress(QUrl(link)); });

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(download_, QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(download_, &QPushButton::clicked, this, [this] {
        openWebAddress(downloadPage_);
        accept();
    });

    auto* column = new QVBoxLayout;
    column->addWidget(heading_);
    column->addWidget(text_);
    column->addWidget(notes_, 1);
    column->addWidget(notesLink_);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(column, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

void UpdateDialog::showChecking()
{
    heading_->setText("Checking for updates…");
    text_->setText(QString("Hintboard %1 is looking for a newer version.").arg(runningVersion_));
    notes_->hide();
    notesLink_->hide();
    download_->hide();
    present();
}

void UpdateDialog::showResult(const UpdateCheckResult& result)
{
    notes_->hide();
    notesLink_->hide();
    download_->hide();
    switch (result.outcome) {
    case UpdateCheckResult::Outcome::updateAvailable: {
        const AppcastItem& item = *result.update;
        heading_->setText("A new version of Hintboard is available!");
        text_->setText(QString("Hintboard %1 is available; you have %2. Install it with your package manager, "
                               "or get it from the download page.")
                           .arg(fromUtf8(item.displayVersion), runningVersion_));
        if (!item.notes.empty()) {
            notes_->setHtml(fromUtf8(item.notes));
            notes_->show();
        }
        if (!item.releaseNotesLink.empty()) {
            notesLink_->setText(
                QString("<a href=\"%1\">Release notes</a>").arg(fromUtf8(item.releaseNotesLink).toHtmlEscaped()));
            notesLink_->show();
        }
        downloadPage_ = QUrl(fromUtf8(item.downloadLink));
        download_->show();
        download_->setDefault(true);
        break;
    }
    case UpdateCheckResult::Outcome::upToDate:
        heading_->setText("You're up to date!");
        text_->setText(QString("Hintboard %1 is currently the newest version available.").arg(runningVersion_));
        break;
    case UpdateCheckResult::Outcome::fromPackageManager:
        heading_->setText("Updates come from your package manager.");
        text_->setText(QString("Hintboard %1 was installed by the system's package manager, which also installs "
                               "its updates: use your desktop's software updater, or apt. Hintboard itself does "
                               "not check for updates.")
                           .arg(runningVersion_));
        break;
    case UpdateCheckResult::Outcome::failed:
        heading_->setText("The update check failed.");
        text_->setText(fromUtf8(result.error));
        break;
    }
    adjustSize();
    present();
}

void UpdateDialog::present()
{
    if (!isVisible()) {
        // Centred at the size it shows at, not the default size of a new window.
        adjustSize();
        centreOnPointerScreen(*this);
    }
    show();
    raise();
    activateWindow();
}

} // namespace hb::views
