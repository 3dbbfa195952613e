#include "app/views/hotkey_recorder_view.h"

#include "popup/views/key_translation.h"
#include "popup/views/panel_style.h"
#include "settings_window/settings_model.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <initializer_list>

namespace hb::views {
namespace {

QColor failureColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xFF, 0x7A, 0x70) : QColor(0xC0, 0x1C, 0x28);
}

} // namespace

HotkeyRecorderView::HotkeyRecorderView(SettingsModel& model, QWidget* parent)
    : QWidget(parent), model_(model), badge_(new QLabel), record_(new QPushButton),
      clear_(new QPushButton(tr("Clear"))), failure_(new QLabel(tr("Shortcut already in use")))
{
    badge_->setObjectName(QStringLiteral("hotkeyBadge"));
    badge_->setAlignment(Qt::AlignCenter);
    badge_->setMinimumWidth(150);
    badge_->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont badgeFont = badge_->font();
    badgeFont.setPointSizeF(badgeFont.pointSizeF() * 1.1);
    badgeFont.setWeight(QFont::DemiBold);
    badge_->setFont(badgeFont);
    failure_->setObjectName(QStringLiteral("hotkeyFailure"));
    failure_->setWordWrap(true);

    connect(record_, &QPushButton::clicked, this, [this] {
        if (model_.isRecording())
            model_.stopRecording();
        else
            model_.startRecording();
    });
    connect(clear_, &QPushButton::clicked, this, [this] { model_.clearHotkey(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    const auto& availability = model_.triggerAvailability();
    if (availability.hotkeyRoute == HotkeyRoute::desktopBinding) {
        // Only the desktop's own keyboard settings bind a key here: what to
        // bind and where, and nothing of a hot key that cannot work.
        addDesktopBinding(*layout, availability);
        for (QWidget* unused : std::initializer_list<QWidget*>{badge_, record_, clear_, failure_}) {
            unused->setParent(this);
            unused->hide();
        }
    } else {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(badge_, 1);
        row->addWidget(record_);
        row->addWidget(clear_);
        layout->addLayout(row);
        layout->addWidget(failure_);
        // Where the desktop asks before it grants a hot key.
        if (const auto& note = availability.hotkeyNote; !note.empty()) {
            auto* explanation = new QLabel(QString::fromStdString(note));
            explanation->setObjectName(QStringLiteral("hotkeyNote"));
            explanation->setWordWrap(true);
            explanation->setTextInteractionFlags(Qt::TextSelectableByMouse);
            explanation->setForegroundRole(QPalette::PlaceholderText);
            layout->addWidget(explanation);
        }
    }

    observer_ = model_.addObserver([this] { refresh(); });
    refresh();
}

void HotkeyRecorderView::addDesktopBinding(QVBoxLayout& layout, const TriggerAvailability& availability)
{
    auto* lead = new QLabel(QString::fromStdString(availability.hotkeyNote));
    lead->setObjectName(QStringLiteral("hotkeyNote"));
    lead->setWordWrap(true);
    layout.addWidget(lead);

    const QString command = QString::fromUtf8(TriggerAvailability::toggleCommand.data());
    command_ = new QLineEdit(command);
    command_->setObjectName(QStringLiteral("toggleCommand"));
    command_->setReadOnly(true);
    command_->setAccessibleName(tr("Command to bind"));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(command_->font().pointSizeF() * 1.05);
    command_->setFont(fixed);
    copy_ = new QPushButton(tr("Copy Command"));
    copy_->setObjectName(QStringLiteral("copyCommand"));
    connect(copy_, &QPushButton::clicked, this, [this, command] {
        QGuiApplication::clipboard()->setText(command);
        copy_->setText(tr("Copied"));
    });
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(command_, 1);
    row->addWidget(copy_);
    layout.addLayout(row);

    auto* places = new QLabel(QString::fromStdString(availability.bindingPlaces));
    places->setObjectName(QStringLiteral("bindingPlaces"));
    places->setWordWrap(true);
    places->setTextInteractionFlags(Qt::TextSelectableByMouse);
    places->setForegroundRole(QPalette::PlaceholderText);
    layout.addWidget(places);
}

HotkeyRecorderView::~HotkeyRecorderView()
{
    model_.removeObserver(observer_);
    swallowKeys(false);
    if (model_.isRecording())
        model_.stopRecording();
}

QString HotkeyRecorderView::badgeText() const
{
    return badge_->text();
}

void HotkeyRecorderView::refresh()
{
    if (command_)
        return;
    const bool recording = model_.isRecording();
    if (recording)
        badge_->setText(tr("Type your shortcut…"));
    else if (model_.hotkey())
        badge_->setText(QString::fromStdString(notation::keyLabel(model_.hotkey()->displayString, model_.keyLabels())));
    else
        badge_->setText(tr("Not set"));
    record_->setText(recording ? tr("Cancel") : tr("Record Shortcut…"));
    record_->setAccessibleName(record_->text() + QStringLiteral(" — ") + tr("Global Shortcut: %1").arg(badge_->text()));
    clear_->setEnabled(!recording && model_.hotkey().has_value());
    const bool lost = model_.hotkeyLost();
    failure_->setText(lost ? tr("Not working: the desktop does not deliver this shortcut. Record it again.")
                           : tr("Shortcut already in use"));
    failure_->setVisible((model_.registrationFailed() || lost) && !recording);

    const QPalette& p = palette();
    const QColor accent = p.color(QPalette::Highlight);
    const QColor border = recording ? accent : panelBorderColor(p);
    const QColor text = recording || !model_.hotkey() || lost ? secondaryTextColor(p) : p.color(QPalette::Text);
    badge_->setStyleSheet(QStringLiteral("QLabel#hotkeyBadge { background: %1; color: %2; border: %3px solid %4;"
                                         " border-radius: 6px; padding: 4px 10px; }")
                              .arg(p.color(QPalette::Base).name(), text.name(),
                                   recording ? QStringLiteral("2") : QStringLiteral("1"),
                                   border.name(QColor::HexArgb)));
    failure_->setStyleSheet(QStringLiteral("color: %1;").arg(failureColor(p).name()));
    swallowKeys(recording);
}

// Installed on the application while recording.
bool HotkeyRecorderView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Swallowed either way, also the press that ends the recording.
        const bool recording = model_.isRecording();
        if (recording && !model_.hearsDesktopKeys())
            model_.record(keyEvent(*static_cast<QKeyEvent*>(event)));
        return recording;
    }
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
        return model_.isRecording();
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void HotkeyRecorderView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

void HotkeyRecorderView::swallowKeys(bool swallow)
{
    if (swallow == swallowing_ || !qApp)
        return;
    swallowing_ = swallow;
    if (swallow)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

DoubleTapModifierPicker::DoubleTapModifierPicker(SettingsModel& model, QWidget* parent)
    : QComboBox(parent), model_(model)
{
    for (auto modifier : {DoubleTapModifier::control, DoubleTapModifier::option, DoubleTapModifier::command})
        addItem(QString::fromUtf8(keyName(modifier).data()), int(modifier));
    connect(this, &QComboBox::activated, this,
            [this](int index) { model_.setDoubleTapModifier(DoubleTapModifier(itemData(index).toInt())); });
    observer_ = model_.addObserver([this] { refresh(); });
    refresh();
}

DoubleTapModifierPicker::~DoubleTapModifierPicker()
{
    model_.removeObserver(observer_);
}

void DoubleTapModifierPicker::refresh()
{
    const int index = findData(int(model_.doubleTapModifier()));
    if (index != currentIndex())
        setCurrentIndex(index);
}

} // namespace hb::views
