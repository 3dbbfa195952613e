#include "app/views/developer_settings_page.h"

#include "app/views/settings_form.h"
#include "settings/settings_keys.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace hb::views {

DeveloperSettingsPage::DeveloperSettingsPage(SettingsPageContext& context, QWidget* parent)
    : QWidget(parent), c_(context), clear_(new QPushButton(tr("Clear Synced Settings…"))), feed_(new QLineEdit)
{
    auto& m = c_.model;
    const bool fromPackageManager = m.updatesFromPackageManager();
    auto updates =
        makeSection(tr("Updates"), fromPackageManager ? tr("Updates come from the system's package manager, which "
                                                           "installed Hintboard.")
                                                      : QString());
    feed_->setObjectName(qtText(keys::updateFeedAddress));
    feed_->setPlaceholderText(QStringLiteral("https://…/appcast.xml"));
    feed_->setMinimumWidth(260);
    connect(feed_, &QLineEdit::editingFinished, this,
            [this] { c_.model.setUpdateFeedAddress(feed_->text().trimmed().toStdString()); });
    updates.box->addRow(tr("Update feed"), feed_, tr("The address of the feed that announces new versions."));
    updates.box->addRow(tr("Receive beta releases"),
                        boundSwitch(
                            this, m, keys::receiveBetaUpdates, [&m] { return m.receiveBetaUpdates(); },
                            [&m](bool on) { m.setReceiveBetaUpdates(on); }),
                        tr("Get early access to new features before the public release. Beta builds may be less "
                           "stable."));
    updates.box->addRow(tr("Receive alpha releases"),
                        boundSwitch(
                            this, m, keys::receiveAlphaUpdates, [&m] { return m.receiveAlphaUpdates(); },
                            [&m](bool on) { m.setReceiveAlphaUpdates(on); }),
                        tr("Experimental builds for active testers. Expect rough edges and occasional instability."));

    updates.box->setEnabled(!fromPackageManager);

    auto developer = makeSection(tr("Developer"));
    developer.box->addRow(tr("Enable debug logging"),
                          boundSwitch(
                              this, m, keys::debugLoggingEnabled, [&m] { return m.debugLoggingEnabled(); },
                              [&m](bool on) { m.setDebugLoggingEnabled(on); }));
    developer.box->addRow(tr("Show conflict indicator"),
                          boundSwitch(
                              this, m, keys::showConflictIndicator, [&m] { return m.showConflictIndicator(); },
                              [&m](bool on) { m.setShowConflictIndicator(on); }));

    auto sync = makeSection(tr("Sync"), tr("Removes this program's settings from the sync folder."));
    connect(clear_, &QPushButton::clicked, this, [this] { clearSyncedSettings(); });
    auto* buttonRow = new QWidget;
    auto* row = new QHBoxLayout(buttonRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(clear_);
    row->addStretch(1);
    sync.box->addWidget(buttonRow);
    refresh();
    observe(this, m, [this] { refresh(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(updates.widget);
    layout->addWidget(developer.widget);
    layout->addWidget(sync.widget);
    layout->addStretch(1);
}

void DeveloperSettingsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh(); // the folder is chosen on the General tab
}

void DeveloperSettingsPage::refresh()
{
    const auto folder = c_.services.model.settings.object(keys::syncFolderPath);
    const auto* path = folder ? folder->as<std::string>() : nullptr;
    clear_->setEnabled(path && !path->empty());
    if (!feed_->hasFocus())
        feed_->setText(QString::fromStdString(c_.model.updateFeedAddress()));
}

void DeveloperSettingsPage::clearSyncedSettings()
{
    auto& m = c_.model;
    m.setShowingClearICloudAlert(true);
    enum { clear, cancel };
    const int answer = c_.dialogs.alert(
        c_.window,
        {.icon = Alert::Icon::warning,
         .message = tr("Clear Synced Settings?"),
         .informativeText = tr("Removes all Hintboard settings from the sync folder. This affects every computer "
                               "that syncs this folder: the others keep their own settings and send one again only "
                               "when it is changed there. Sync will be turned off here; re-enable it manually in "
                               "General settings."),
         .buttons = {tr("Clear Synced Settings"), tr("Cancel")},
         .cancelButton = cancel,
         .destructiveButton = clear});
    m.setShowingClearICloudAlert(false);
    if (answer != clear)
        return;
    if (c_.services.clearSyncedSettings)
        c_.services.clearSyncedSettings();
    m.setICloudSyncEnabled(false);
}

} // namespace hb::views
