#include "app/views/general_settings_page.h"

#include "app/views/hotkey_recorder_view.h"
#include "app/views/settings_form.h"
#include "popup/views/panel_style.h"
#include "settings/settings_keys.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace hb::views {
namespace {

RgbColor toRgb(const QColor& color)
{
    const QColor c = color.toRgb();
    return {c.redF(), c.greenF(), c.blueF(), c.alphaF()};
}

QIcon swatchIcon(const QColor& colour, const QPalette& palette)
{
    QPixmap pixmap(QSize(40, 18) * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(panelBorderColor(palette), 1));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, 0.5, 39, 17), 4, 4);
    return QIcon(pixmap);
}

} // namespace

GeneralSettingsPage::GeneralSettingsPage(SettingsPageContext& context, QWidget* parent) : QWidget(parent), c_(context)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(16);
    for (QWidget* section : {shortcutSection(), generalSection(), doubleTapSection(), appearanceSection(),
                             displaySection(), syncSection(), backupSection()})
        layout->addWidget(section);
    layout->addStretch(1);
}

QWidget* GeneralSettingsPage::shortcutSection()
{
    auto section =
        makeSection(tr("Global Shortcut"), tr("Open Hintboard from any app to see the active keyboard shortcuts."));
    recorder_ = new HotkeyRecorderView(c_.model);
    section.box->addWidget(recorder_);
    return section.widget;
}

QWidget* GeneralSettingsPage::generalSection()
{
    auto& m = c_.model;
    auto section = makeSection({});
    section.box->addRow(tr("Launch at Login"), boundSwitch(
                                                   this, m, "launchAtLogin", [&m] { return m.launchAtLogin(); },
                                                   [&m](bool on) { m.setLaunchAtLogin(on); }));
    auto* updates = boundSwitch(
        this, m, keys::automaticUpdateChecks, [&m] { return m.automaticUpdatesEnabled(); },
        [&m](bool on) { m.setAutomaticUpdatesEnabled(on); });
    updates->setEnabled(!m.updatesFromPackageManager());
    section.box->addRow(tr("Check for updates automatically"), updates,
                        m.updatesFromPackageManager() ? tr("Updates come from the system's package manager.")
                                                      : QString());
    return section.widget;
}

QWidget* GeneralSettingsPage::doubleTapSection()
{
    auto& m = c_.model;
    auto section = makeSection(tr("Double-tap Trigger"),
                               tr("Show Hintboard by quickly pressing and releasing one modifier key twice."));
    section.box->addRow(tr("Enable"), boundSwitch(
                                          this, m, keys::doubleTapEnabled, [&m] { return m.doubleTapEnabled(); },
                                          [&m](bool on) { m.setDoubleTapEnabled(on); }));
    auto* picker = new DoubleTapModifierPicker(m);
    picker->setObjectName(qtText(keys::doubleTapModifier));
    auto* modifierRow = section.box->addRow(tr("Modifier"), picker);
    auto* matchRow =
        section.box->addRow(tr("Match app icon to trigger key"),
                            boundSwitch(
                                this, m, keys::matchAppIconToTrigger, [&m] { return m.matchAppIconToTrigger(); },
                                [&m](bool on) { m.setMatchAppIconToTrigger(on); }));
    // Sessions that hide the modifier keys from applications: off, and why.
    const auto& availability = m.triggerAvailability();
    if (!availability.doubleTapAvailable) {
        section.box->setEnabled(false);
        section.footer->setText(QString::fromStdString(availability.doubleTapReason));
    }
    auto enable = [&m, modifierRow, matchRow] {
        modifierRow->setEnabled(m.doubleTapEnabled());
        matchRow->setEnabled(m.doubleTapEnabled());
    };
    enable();
    observe(this, m, enable);
    return section.widget;
}

QWidget* GeneralSettingsPage::appearanceSection()
{
    auto& theme = c_.services.theme;
    auto section = makeSection(tr("Appearance"));

    colourWell_ = new QToolButton;
    colourWell_->setObjectName(qtText(keys::keyAccentColor));
    colourWell_->setIconSize(QSize(40, 18));
    colourWell_->setAutoRaise(true);
    colourWell_->setToolTip(tr("Choose the key colour"));
    colourWell_->setAccessibleName(tr("Key colour"));
    connect(colourWell_, &QToolButton::clicked, this, [this, &theme] {
        if (auto chosen = c_.dialogs.chooseColor(c_.window, toQColor(theme.effectiveColor()))) {
            theme.setCustomColor(toRgb(*chosen));
            theme.save();
        }
    });
    resetColour_ = new QPushButton(tr("Reset"));
    connect(resetColour_, &QPushButton::clicked, this, [&theme] {
        theme.setCustomColor(std::nullopt);
        theme.save();
    });
    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(colourWell_);
    row->addWidget(resetColour_);
    section.box->addRow(tr("Key colour"), controls, tr("Colour used for keyboard shortcut glyphs in the popup."));

    auto* follow = boundSwitch(
        this, theme, "followSystemAccentColour", [&theme] { return !theme.customColor().has_value(); },
        [&theme](bool on) {
            if (on) {
                theme.setCustomColor(std::nullopt);
                theme.save();
            } else {
                theme.adoptEffectiveColor();
            }
        });
    section.box->addRow(tr("Follow system accent colour"), follow);

    auto& m = c_.model;
    auto* labels = new QComboBox;
    labels->setObjectName(qtText(keys::keyLabels));
    labels->addItem(tr("Words (Ctrl+Shift+S)"), int(notation::KeyLabels::words));
    labels->addItem(tr("Symbols (⌃⇧S)"), int(notation::KeyLabels::symbols));
    connect(labels, &QComboBox::activated, this,
            [&m, labels](int index) { m.setKeyLabels(notation::KeyLabels(labels->itemData(index).toInt())); });
    auto refreshLabels = [&m, labels] { labels->setCurrentIndex(labels->findData(int(m.keyLabels()))); };
    refreshLabels();
    observe(this, m, refreshLabels);
    section.box->addRow(tr("Key labels"), labels,
                        tr("How key combinations are written in the popup, the menus and exports."));
    refreshColour();
    observe(this, theme, [this] { refreshColour(); });
    return section.widget;
}

QWidget* GeneralSettingsPage::displaySection()
{
    auto& m = c_.model;
    auto section = makeSection({});
    auto* picker = new QComboBox;
    picker->setObjectName(qtText(keys::popupDisplayMode));
    picker->addItem(tr("Active App's Screen"), int(PopupDisplayMode::activeAppWindow));
    picker->addItem(tr("Screen with Mouse Cursor"), int(PopupDisplayMode::mouseCursor));
    picker->addItem(tr("Main Display"), int(PopupDisplayMode::mainDisplay));
    picker->setToolTip(tr("Which screen the popup appears on."));
    connect(picker, &QComboBox::activated, this,
            [&m, picker](int index) { m.setPopupDisplayMode(PopupDisplayMode(picker->itemData(index).toInt())); });
    auto refresh = [&m, picker] { picker->setCurrentIndex(picker->findData(int(m.popupDisplayMode()))); };
    refresh();
    observe(this, m, refresh);
    section.box->addRow(tr("Popup Display"), picker, tr("Which screen the popup appears on."));
    return section.widget;
}

QWidget* GeneralSettingsPage::syncSection()
{
    auto& m = c_.model;
    auto section = makeSection(tr("Sync"));
    section.box->addRow(tr("Sync settings through a folder"),
                        boundSwitch(
                            this, m, keys::iCloudSyncEnabled, [&m] { return m.iCloudSyncEnabled(); },
                            [this](bool on) { setSyncEnabled(on); }),
                        tr("Syncs favourites, ignore rules, and appearance through a folder that your sync tool "
                           "(Syncthing, Nextcloud, a network share) keeps in step across your computers. The "
                           "global shortcut and trigger key are kept per computer."));

    auto* folder = new QWidget;
    auto* row = new QHBoxLayout(folder);
    row->setContentsMargins(0, 0, 0, 0);
    folderLabel_ = new QLabel;
    folderLabel_->setObjectName(qtText(keys::syncFolderPath));
    folderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderLabel_->setMinimumWidth(40);
    folderLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* change = new QPushButton(tr("Change…"));
    change->setAccessibleName(tr("Change sync folder…"));
    connect(change, &QPushButton::clicked, this, [this] { changeSyncFolder(); });
    row->addWidget(new QLabel(tr("Folder")));
    row->addWidget(folderLabel_, 1);
    row->addWidget(change);
    folderRow_ = section.box->addWidget(folder);
    refreshSync();
    return section.widget;
}

QWidget* GeneralSettingsPage::backupSection()
{
    auto section = makeSection(tr("Backup & Restore"),
                               tr("Save your settings to a file, or restore them from a previous export."));
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    auto* exportButton = new QPushButton(tr("Export Settings…"));
    auto* importButton = new QPushButton(tr("Import Settings…"));
    connect(exportButton, &QPushButton::clicked, this, [this] { exportSettings(); });
    connect(importButton, &QPushButton::clicked, this, [this] { importSettings(); });
    row->addWidget(exportButton);
    row->addWidget(importButton);
    row->addStretch(1);
    section.box->addWidget(buttons);
    return section.widget;
}

void GeneralSettingsPage::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && colourWell_)
        refreshColour();
}

void GeneralSettingsPage::refreshColour()
{
    const auto& theme = c_.services.theme;
    colourWell_->setIcon(swatchIcon(toQColor(theme.effectiveColor()), palette()));
    resetColour_->setEnabled(theme.customColor().has_value());
}

// Sync.

std::optional<std::filesystem::path> GeneralSettingsPage::syncFolder() const
{
    const auto value = c_.services.model.settings.object(keys::syncFolderPath);
    const auto* text = value ? value->as<std::string>() : nullptr;
    if (!text || text->empty())
        return std::nullopt;
    return std::filesystem::path(*text);
}

void GeneralSettingsPage::setSyncFolder(const std::filesystem::path& folder)
{
    c_.services.model.settings.set(keys::syncFolderPath, folder.string());
    refreshSync();
}

void GeneralSettingsPage::refreshSync()
{
    const auto folder = syncFolder();
    folderRow_->setVisible(folder.has_value());
    if (folder) {
        folderLabel_->setText(homeRelativePath(QString::fromStdString(folder->string())));
        folderLabel_->setToolTip(QString::fromStdString(folder->string()));
    }
}

void GeneralSettingsPage::setSyncEnabled(bool enabled)
{
    if (!enabled) {
        c_.model.setICloudSyncEnabled(false);
        return;
    }
    if (!syncFolder()) {
        const auto chosen = c_.dialogs.chooseSyncFolder(c_.window, {});
        if (!chosen)
            return; // sync stays off
        setSyncFolder(*chosen);
    }
    startSync();
}

void GeneralSettingsPage::changeSyncFolder()
{
    const auto current = syncFolder();
    const auto chosen = c_.dialogs.chooseSyncFolder(c_.window, current.value_or(std::filesystem::path()));
    if (!chosen || chosen == current)
        return;
    const bool running = c_.model.iCloudSyncEnabled();
    if (running)
        c_.model.setICloudSyncEnabled(false);
    setSyncFolder(*chosen);
    if (running)
        startSync();
}

void GeneralSettingsPage::startSync()
{
    auto& m = c_.model;
    m.setICloudSyncEnabled(true);
    if (!m.showingICloudConflictAlert())
        return;
    enum { useSynced, keepLocal, cancel };
    const int answer = c_.dialogs.alert(
        c_.window, {.icon = Alert::Icon::warning,
                    .message = tr("Sync Folder Has Existing Settings"),
                    .informativeText = tr("The sync folder has settings from another computer. Which settings "
                                          "should take effect on this computer?"),
                    .buttons = {tr("Use Synced Settings"), tr("Keep Local Settings"), tr("Cancel")},
                    .cancelButton = cancel});
    m.setShowingICloudConflictAlert(false);
    const auto& s = c_.services;
    switch (answer) {
    case useSynced:
        if (s.useSyncedSettings)
            s.useSyncedSettings();
        break;
    case keepLocal:
        if (s.keepLocalSettings)
            s.keepLocalSettings();
        break;
    default:
        m.setICloudSyncEnabled(false);
        break;
    }
}

// Backup.

void GeneralSettingsPage::exportSettings()
{
    const auto path = c_.dialogs.chooseExportFile(c_.window);
    if (!path)
        return;
    const auto result = c_.services.backup.exportTo(*path);
    if (!result.succeeded)
        c_.dialogs.alert(c_.window, {.icon = Alert::Icon::warning,
                                     .message = tr("Export Failed"),
                                     .informativeText = QString::fromStdString(result.message)});
}

void GeneralSettingsPage::importSettings()
{
    const auto path = c_.dialogs.chooseImportFile(c_.window);
    if (!path)
        return;
    const auto result = c_.services.backup.importFrom(*path);
    if (!result.succeeded) {
        c_.dialogs.alert(c_.window, {.icon = Alert::Icon::warning,
                                     .message = tr("Import Failed"),
                                     .informativeText = QString::fromStdString(result.message)});
        return;
    }
    enum { relaunchNow, later };
    QString text = tr("Relaunch Hintboard to apply all changes.");
    if (!result.skipped.empty()) {
        QStringList skipped;
        for (const auto& entry : result.skipped)
            skipped << QString::fromStdString(entry);
        text += QLatin1Char('\n')
                + tr("Skipped, because the file holds values of the wrong kind for them: %1.")
                      .arg(skipped.join(QStringLiteral(", ")));
    }
    const int answer = c_.dialogs.alert(c_.window, {.icon = Alert::Icon::information,
                                                    .message = tr("Settings Imported"),
                                                    .informativeText = text,
                                                    .buttons = {tr("Relaunch Now"), tr("Later")},
                                                    .cancelButton = later});
    if (answer == relaunchNow) {
        if (c_.services.relaunch)
            c_.services.relaunch();
        else
            relaunchApplication();
    }
}

} // namespace hb::views
