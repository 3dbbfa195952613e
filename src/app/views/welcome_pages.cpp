#include "app/views/welcome_pages.h"

#include "app/views/hotkey_recorder_view.h"
#include "onboarding/welcome_wizard.h"
#include "popup/views/panel_style.h"
#include "popup/views/symbol_icons.h"
#include "settings_window/settings_model.h"
#include "tray/app_delegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QVBoxLayout>

#include <string>
#include <utility>
#include <vector>

namespace hb::views {
namespace {

constexpr int pageMargin = 18;
constexpr int heroSymbolSize = 52;

QColor successColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(0x5B, 0xD2, 0x7A) : QColor(0x1E, 0x8E, 0x3E);
}

enum class Tone { accent, success, secondary };

QColor toneColor(Tone tone, const QPalette& palette)
{
    switch (tone) {
    case Tone::success:
        return successColor(palette);
    case Tone::secondary:
        return secondaryTextColor(palette);
    case Tone::accent:
        break;
    }
    return palette.color(QPalette::Highlight);
}

// A shipped symbol drawn in a colour taken from the palette, redrawn when the
// palette changes.
class SymbolLabel final : public QLabel {
public:
    SymbolLabel(std::string symbol, int size, Tone tone) : symbol_(std::move(symbol)), size_(size), tone_(tone)
    {
        setFixedSize(size, size);
        setAlignment(Qt::AlignCenter);
        redraw();
    }

    void setSymbol(std::string symbol, Tone tone)
    {
        if (symbol == symbol_ && tone == tone_)
            return;
        symbol_ = std::move(symbol);
        tone_ = tone;
        redraw();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::PaletteChange)
            redraw();
    }

private:
    void redraw()
    {
        const QIcon icon = views::shippedSymbolIcon(symbol_, toneColor(tone_, palette()), size_);
        setPixmap(icon.pixmap(QSize(size_, size_), devicePixelRatioF()));
    }

    std::string symbol_;
    int size_;
    Tone tone_;
};

// Text in the secondary colour.
class SecondaryLabel final : public QLabel {
public:
    explicit SecondaryLabel(const QString& text, bool small = false) : QLabel(text)
    {
        setWordWrap(true);
        if (small) {
            QFont f = font();
            f.setPointSizeF(f.pointSizeF() * 0.92);
            setFont(f);
        }
        recolour();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::PaletteChange && !recolouring_)
            recolour();
    }

private:
    void recolour()
    {
        // From the surroundings: this label's own text colour is the one set here.
        recolouring_ = true;
        const QPalette around = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, secondaryTextColor(around));
        setPalette(p);
        recolouring_ = false;
    }

    bool recolouring_ = false;
};

// A rounded panel that groups related controls.
class Card final : public QWidget {
public:
    Card()
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(8, 10, 8, 10);
        layout->setSpacing(6);
    }
    QVBoxLayout* column() { return static_cast<QVBoxLayout*>(layout()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& p = palette();
        const QColor fill = isDark(p) ? p.color(QPalette::Window).lighter(118) : p.color(QPalette::Base);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        painter.fillPath(path, fill);
        painter.setPen(QPen(panelBorderColor(p), 1));
        painter.drawPath(path);
    }
};

QLabel* titleLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setObjectName(QStringLiteral("pageTitle")); // said when the page comes
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.45);
    f.setBold(true);
    label->setFont(f);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

QLabel* boldLabel(const QString& text)
{
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

// The indent that lines a caption up with a check box's text.
int checkBoxTextIndent(const QWidget* widget)
{
    const QStyle* style = widget->style();
    return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget)
           + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget);
}

// The common frame of a step: symbol (optional), title, text, then the page's own content.
QVBoxLayout* pageFrame(WelcomePage* page, SymbolLabel* symbol, const QString& title, const QString& text)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(pageMargin, 16, pageMargin, 4);
    layout->setSpacing(8);
    // Pages end with a stretch twice this one: the content sits a little above the middle.
    layout->addStretch(1);
    if (symbol) {
        layout->addWidget(symbol, 0, Qt::AlignHCenter);
        layout->addSpacing(4);
    }
    layout->addWidget(titleLabel(title));
    auto* body = new SecondaryLabel(text);
    body->setAlignment(Qt::AlignCenter);
    layout->addWidget(body);
    layout->addSpacing(10);
    return layout;
}

class IntroPage final : public WelcomePage {
public:
    IntroPage()
    {
        auto* layout =
            pageFrame(this, new SymbolLabel("keyboard.fill", heroSymbolSize, Tone::accent), tr("Welcome to Hintboard"),
                      tr("See every keyboard shortcut for any app — without opening its menus."));
        auto* bullets = new QVBoxLayout;
        bullets->setSpacing(12);
        const std::pair<const char*, QString> items[] = {
            {"keyboard", tr("Instant lookup — just switch to any app")},
            {"magnifyingglass", tr("Filter by modifier key or search by name")},
            {"star", tr("Pin favourites for one-tap access")},
        };
        for (const auto& [symbol, text] : items) {
            auto* row = new QHBoxLayout;
            row->setSpacing(12);
            row->addWidget(new SymbolLabel(symbol, 20, Tone::accent));
            row->addWidget(new QLabel(text), 1);
            bullets->addLayout(row);
        }
        auto* block = new QWidget;
        block->setLayout(bullets);
        bullets->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(block, 0, Qt::AlignHCenter);
        layout->addStretch(2);
    }
    void refresh() override {}
};

class PermissionPage final : public WelcomePage {
public:
    explicit PermissionPage(WelcomeWizard& wizard)
        : wizard_(wizard), symbol_(new SymbolLabel("lock.fill", heroSymbolSize, Tone::accent)),
          grant_(new QPushButton(tr("Turn On Accessibility…"))), busy_(new QProgressBar),
          granted_(new SymbolLabel("checkmark.circle.fill", 16, Tone::success)), status_(new QLabel),
          restartNote_(new SecondaryLabel(tr("Apps that were already open may need a restart before Hintboard "
                                             "can read their menus."),
                                          true))
    {
        auto* layout = pageFrame(this, symbol_, tr("Allow access to your apps"),
                                 tr("Hintboard reads menus through the desktop's accessibility interface "
                                    "(AT-SPI) — the same one screen readers use. Your data never leaves your "
                                    "computer."));
        connect(grant_, &QPushButton::clicked, this, [this] { wizard_.grantAccess(); });
        layout->addWidget(grant_, 0, Qt::AlignHCenter);
        layout->addSpacing(6);

        busy_->setRange(0, 0);
        busy_->setTextVisible(false);
        busy_->setFixedSize(48, 8);
        auto* statusRow = new QHBoxLayout;
        statusRow->setSpacing(8);
        statusRow->addStretch(1);
        statusRow->addWidget(busy_, 0, Qt::AlignVCenter);
        statusRow->addWidget(granted_);
        statusRow->addWidget(status_);
        statusRow->addStretch(1);
        layout->addLayout(statusRow);
        restartNote_->setAlignment(Qt::AlignCenter);
        layout->addWidget(restartNote_);
        layout->addStretch(2);
        refresh();
    }

    void refresh() override
    {
        const bool granted = wizard_.permissionGranted();
        symbol_->setSymbol(granted ? "lock.open.fill" : "lock.fill", granted ? Tone::success : Tone::accent);
        grant_->setVisible(!granted);
        busy_->setVisible(!granted);
        granted_->setVisible(granted);
        status_->setText(granted ? tr("Access granted") : tr("Waiting for permission…"));
        restartNote_->setVisible(granted);
    }

private:
    WelcomeWizard& wizard_;
    SymbolLabel* symbol_;
    QPushButton* grant_;
    QProgressBar* busy_;
    SymbolLabel* granted_;
    QLabel* status_;
    QLabel* restartNote_;
};

class TriggerPage final : public WelcomePage {
public:
    TriggerPage(WelcomeWizard& wizard, SettingsModel& model)
        : wizard_(wizard), model_(model), enable_(new QCheckBox(tr("Enable"))),
          picker_(new DoubleTapModifierPicker(model)), trySymbol_(new SymbolLabel("play.circle", 26, Tone::accent)),
          tryTitle_(boldLabel(QString())), tryCaption_(new SecondaryLabel(QString(), true)),
          try_(new QPushButton(tr("Try")))
    {
        auto* layout =
            pageFrame(this, nullptr, tr("Set your trigger"), tr("Choose how you'll open Hintboard from any app."));

        auto* shortcut = new Card;
        shortcut->column()->addWidget(boldLabel(tr("Global Shortcut")));
        shortcut->column()->addWidget(new HotkeyRecorderView(model));
        layout->addWidget(shortcut);

        auto* doubleTap = new Card;
        doubleTap->column()->setSpacing(4);
        doubleTap->column()->addWidget(boldLabel(tr("Double-tap Modifier")));
        doubleTap->column()->addWidget(new SecondaryLabel(tr("Press a modifier key twice quickly."), true));
        auto* row = new QHBoxLayout;
        row->addWidget(enable_);
        row->addStretch(1);
        auto* modifierLabel = new QLabel(tr("Modifier"));
        modifierLabel->setBuddy(picker_);
        row->addWidget(modifierLabel);
        row->addWidget(picker_);
        doubleTap->column()->addLayout(row);
        if (const auto& availability = model.triggerAvailability(); !availability.doubleTapAvailable) {
            enable_->setEnabled(false);
            doubleTap->column()->addWidget(
                new SecondaryLabel(QString::fromStdString(availability.doubleTapReason), true));
        }
        layout->addWidget(doubleTap);
        connect(enable_, &QCheckBox::toggled, this, [this](bool on) {
            model_.setDoubleTapEnabled(on);
            refresh();
        });

        auto* tryCard = new Card;
        auto* tryRow = new QHBoxLayout;
        tryRow->setSpacing(10);
        tryRow->addWidget(trySymbol_, 0, Qt::AlignVCenter);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        texts->addWidget(tryTitle_);
        texts->addWidget(tryCaption_);
        tryRow->addLayout(texts, 1);
        tryRow->addWidget(try_, 0, Qt::AlignVCenter);
        tryCard->column()->addLayout(tryRow);
        layout->addWidget(tryCard);
        connect(try_, &QPushButton::clicked, this, [this] { wizard_.tryItNow(); });
        layout->addStretch(2);
        refresh();
    }

    void refresh() override
    {
        {
            const QSignalBlocker blocker(enable_);
            enable_->setChecked(model_.doubleTapEnabled());
        }
        picker_->setEnabled(enable_->isEnabled() && model_.doubleTapEnabled());
        const TriggerCheck check = wizard_.triggerCheck();
        const bool succeeded = check == TriggerCheck::succeeded;
        trySymbol_->setSymbol(succeeded ? "checkmark.circle.fill" : "play.circle", succeeded ? Tone::success
                                                                                   : check == TriggerCheck::waiting
                                                                                       ? Tone::secondary
                                                                                       : Tone::accent);
        switch (check) {
        case TriggerCheck::notTried:
            tryTitle_->setText(tr("Try it now"));
            tryCaption_->setText(tr("Use your trigger while this window is open."));
            break;
        case TriggerCheck::waiting:
            tryTitle_->setText(tr("Waiting for your trigger…"));
            tryCaption_->setText(waysToTrigger());
            break;
        case TriggerCheck::succeeded:
            tryTitle_->setText(tr("Shortcut works!"));
            tryCaption_->setText(tr("You're all set — click Next to continue."));
            break;
        }
        try_->setVisible(check == TriggerCheck::notTried);
    }

private:
    // The triggers that can reach the program now, as one instruction.
    QString waysToTrigger() const
    {
        const auto& availability = model_.triggerAvailability();
        QStringList ways;
        if (availability.hotkeyRoute != HotkeyRoute::desktopBinding && model_.hotkey() && !model_.hotkeyLost())
            ways << tr("press %1")
                        .arg(QString::fromStdString(
                            notation::keyLabel(model_.hotkey()->displayString, model_.keyLabels())));
        if (availability.doubleTapAvailable && model_.doubleTapEnabled())
            ways << tr("double-tap %1").arg(QString::fromUtf8(keyName(model_.doubleTapModifier()).data()));
        const QString command = QString::fromUtf8(TriggerAvailability::toggleCommand.data());
        ways << (availability.hotkeyRoute == HotkeyRoute::desktopBinding
                     ? tr("press the key you bound to “%1”").arg(command)
                     : tr("run “%1”").arg(command));
        QString text = ways.size() == 1
                           ? ways.front()
                           : ways.mid(0, ways.size() - 1).join(QStringLiteral(", ")) + tr(" or ") + ways.back();
        text[0] = text[0].toUpper();
        return text + QStringLiteral(".");
    }

    WelcomeWizard& wizard_;
    SettingsModel& model_;
    QCheckBox* enable_;
    DoubleTapModifierPicker* picker_;
    SymbolLabel* trySymbol_;
    QLabel* tryTitle_;
    QLabel* tryCaption_;
    QPushButton* try_;
};

class LoginItemPage final : public WelcomePage {
public:
    LoginItemPage(SettingsModel& model, bool trayIconShown)
        : model_(model), launchAtLogin_(new QCheckBox(tr("Launch at Login"))),
          automaticUpdates_(new QCheckBox(tr("Check for Updates Automatically")))
    {
        // Without a tray the room of the symbol goes to the notice.
        auto* layout = pageFrame(
            this, trayIconShown ? new SymbolLabel("checkmark.seal.fill", heroSymbolSize, Tone::accent) : nullptr,
            tr("Almost there"), tr("Set up your last preferences before you start."));
        auto* card = new Card;
        card->column()->setSpacing(2);
        const int indent = checkBoxTextIndent(launchAtLogin_);
        const std::pair<QCheckBox*, QString> options[] = {
            {launchAtLogin_, trayIconShown
                                 ? tr("Hintboard will be ready in your panel's status area whenever you need it.")
                                 : tr("Hintboard will be ready whenever you need it.")},
            {automaticUpdates_, model_.updatesFromPackageManager()
                                    ? tr("Updates come from your system's package manager.")
                                    : tr("Hintboard will notify you when a new version is available.")},
        };
        for (const auto& [box, caption] : options) {
            if (box != launchAtLogin_)
                card->column()->addSpacing(8);
            card->column()->addWidget(box);
            auto* text = new SecondaryLabel(caption, true);
            text->setContentsMargins(indent, 0, 0, 0);
            card->column()->addWidget(text);
        }
        automaticUpdates_->setEnabled(!model_.updatesFromPackageManager());
        layout->addWidget(card);
        connect(launchAtLogin_, &QCheckBox::toggled, this, [this](bool on) {
            model_.setLaunchAtLogin(on);
            refresh();
        });
        connect(automaticUpdates_, &QCheckBox::toggled, this, [this](bool on) {
            model_.setAutomaticUpdatesEnabled(on);
            refresh();
        });

        layout->addSpacing(4);
        if (trayIconShown) {
            auto* note = new SecondaryLabel(tr("You can change these any time in Settings → General."), true);
            note->setAlignment(Qt::AlignCenter);
            layout->addWidget(note);
        } else {
            auto* notice = new Card;
            notice->setObjectName(QStringLiteral("noTrayNotice"));
            notice->column()->setSpacing(4);
            noTrayTitle_ = boldLabel(QString());
            noTrayText_ = new QLabel;
            noTrayText_->setWordWrap(true);
            noTrayText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
            notice->column()->addWidget(noTrayTitle_);
            notice->column()->addWidget(noTrayText_);
            layout->addWidget(notice);
        }
        const QString address = QStringLiteral(HINTBOARD_FEEDBACK_ADDRESS);
        auto* feedback = new QLabel(tr("Found a bug or have a suggestion? ")
                                    + QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(address.toHtmlEscaped()));
        feedback->setObjectName(QStringLiteral("feedbackLink"));
        feedback->setTextFormat(Qt::RichText);
        feedback->setOpenExternalLinks(true);
        feedback->setWordWrap(true);
        feedback->setAlignment(Qt::AlignCenter);
        QFont small = feedback->font();
        small.setPointSizeF(small.pointSizeF() * 0.92);
        feedback->setFont(small);
        layout->addWidget(feedback);
        layout->addStretch(2);
        refresh();
    }

    void refresh() override
    {
        const QSignalBlocker launchBlocker(launchAtLogin_);
        const QSignalBlocker updatesBlocker(automaticUpdates_);
        launchAtLogin_->setChecked(model_.launchAtLogin());
        automaticUpdates_->setChecked(model_.automaticUpdatesEnabled());
        if (noTrayText_) {
            const bool hotkeyWorks = model_.hotkey() && !model_.hotkeyLost()
                                     && model_.triggerAvailability().hotkeyRoute != HotkeyRoute::desktopBinding;
            const auto notice = noTrayNotice(
                hotkeyWorks ? std::optional(notation::keyLabel(model_.hotkey()->displayString, model_.keyLabels()))
                            : std::nullopt);
            noTrayTitle_->setText(QString::fromStdString(notice.title));
            noTrayText_->setText(QString::fromStdString(notice.text));
        }
    }

private:
    SettingsModel& model_;
    QCheckBox* launchAtLogin_;
    QCheckBox* automaticUpdates_;
    QLabel* noTrayTitle_ = nullptr;
    QLabel* noTrayText_ = nullptr;
};

} // namespace

WelcomePage* makeIntroPage(WelcomeWizard&)
{
    return new IntroPage;
}
WelcomePage* makePermissionPage(WelcomeWizard& wizard)
{
    return new PermissionPage(wizard);
}
WelcomePage* makeTriggerPage(WelcomeWizard& wizard, SettingsModel& model)
{
    return new TriggerPage(wizard, model);
}
WelcomePage* makeLoginItemPage(SettingsModel& model, bool trayIconShown)
{
    return new LoginItemPage(model, trayIconShown);
}

} // namespace hb::views
