#include "popup/views/filterable_shortcuts_view.h"

#include "model/key_label.h"
#include "model/key_notation.h"
#include "popup/views/announcement.h"
#include "popup/views/chip_button.h"
#include "popup/views/disambiguation_overlay.h"
#include "popup/views/message_views.h"
#include "popup/views/shortcut_columns_view.h"
#include "settings/settings.h"

#include <QAccessible>
#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace hb::views {
namespace {

constexpr int sideMargin = 16;

QString qstring(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString qstring(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

const std::array<const char*, 4> modifierNames{"Control", "Alt", "Shift", "Super"};

// The rounded, lightly tinted strip behind a tip or the nudge.
class BannerFrame : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlphaF(isDark(palette()) ? 0.22f : 0.12f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    }
};

// The hairline between the header and the columns.
class Divider : public QWidget {
public:
    explicit Divider(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QColor line = palette().color(QPalette::WindowText);
        line.setAlphaF(0.12f);
        p.fillRect(rect(), line);
    }
};

// A one-line label that elides its text at the end instead of clipping it.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(QString text, QWidget* parent) : QLabel(parent), full_(std::move(text))
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setToolTip(full_);
        QLabel::setText(full_);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        QLabel::setText(fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width()));
    }

private:
    QString full_;
};

QIcon applicationIcon(const std::optional<std::string>& iconName, const QColor& fallback)
{
    if (iconName && !iconName->empty())
        return themedIcon({iconName->c_str(), "application-x-executable"}, Glyph::keyboard, fallback, 32);
    return themedIcon({"application-x-executable"}, Glyph::keyboard, fallback, 32);
}

} // namespace

FilterableShortcutsView::FilterableShortcutsView(std::shared_ptr<PopupFilterModel> model, PanelContext& context,
                                                 QWidget* parent)
    : QWidget(parent), sharedModel_(std::move(model)), model_(*sharedModel_), context_(context)
{
    const QColor secondary = secondaryTextColor(palette());
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    header_ = new QWidget(this);
    auto* headerLayout = new QVBoxLayout(header_);
    headerLayout->setContentsMargins(sideMargin, 14, sideMargin, 10);
    headerLayout->setSpacing(10);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(10);
    icon_ = new QLabel(header_);
    icon_->setFixedSize(32, 32);
    icon_->setPixmap(applicationIcon(model_.app().iconName, secondary).pixmap(32, 32));
    titleRow->addWidget(icon_);
    auto* names = new QVBoxLayout;
    names->setSpacing(0);
    name_ = new ElidedLabel(qstring(model_.app().appName), header_);
    QFont nameFont = name_->font();
    nameFont.setWeight(QFont::Bold);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.15);
    name_->setFont(nameFont);
    name_->setMinimumWidth(40);
    count_ = new QLabel(header_);
    QFont countFont = count_->font();
    countFont.setPointSizeF(countFont.pointSizeF() * 0.9);
    count_->setFont(countFont);
    QPalette countPalette = count_->palette();
    countPalette.setColor(QPalette::WindowText, secondary);
    count_->setPalette(countPalette);
    names->addWidget(name_);
    names->addWidget(count_);
    titleRow->addLayout(names, 1);

    export_ = new ChipButton(Glyph::share, header_);
    export_->setToolTip(tr("Export shortcuts"));
    export_->setAccessibleName(tr("Export shortcuts"));
    connect(export_, &QAbstractButton::clicked, this, [this] { exportDocument(); });
    titleRow->addWidget(export_);
    settings_ = new ChipButton(
        themedIcon({"preferences-system", "emblem-system"}, Glyph::gear, palette().color(QPalette::WindowText)),
        header_);
    settings_->setToolTip(tr("Settings"));
    settings_->setAccessibleName(tr("Settings"));
    connect(settings_, &QAbstractButton::clicked, this, [this] {
        if (context_.events.openSettings)
            context_.events.openSettings();
    });
    titleRow->addWidget(settings_);
    headerLayout->addLayout(titleRow);

    auto* filterRow = new QHBoxLayout;
    filterRow->setSpacing(3);
    search_ = new QLineEdit(header_);
    search_->setPlaceholderText(tr("Filter"));
    search_->setAccessibleName(tr("Filter"));
    search_->addAction(glyphIcon(Glyph::magnifier, secondary), QLineEdit::LeadingPosition);
    clear_ = search_->addAction(glyphIcon(Glyph::clear, secondary), QLineEdit::TrailingPosition);
    clear_->setToolTip(tr("Clear filter"));
    clear_->setText(tr("Clear filter"));
    connect(clear_, &QAction::triggered, this, [this] { model_.setQuery(""); });
    search_->setText(qstring(model_.query()));
    // A remembered query is shown selected: the first key typed replaces it.
    search_->selectAll();
    connect(search_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setQuery(text.toStdString()); });
    filterRow->addWidget(search_, 1);
    filterRow->addSpacing(6);

    const auto keyLabels = Settings(context_.settings).keyLabels();
    for (std::size_t i = 0; i < notation::modifierGlyphs.size(); ++i) {
        const std::string glyph(notation::modifierGlyphs[i]);
        auto* toggle = new ChipButton(qstring(std::string(notation::modifierLabel(glyph, keyLabels))), header_);
        QFont glyphFont = toggle->font();
        glyphFont.setPixelSize(keyLabels == notation::KeyLabels::words ? 12 : 15);
        toggle->setFont(glyphFont);
        toggle->setCheckable(true);
        toggle->setToolTip(tr(modifierNames[i]));
        toggle->setAccessibleName(tr(modifierNames[i]));
        connect(toggle, &QAbstractButton::clicked, this, [this, glyph] {
            model_.toggleModifier(glyph);
            syncHeader();
        });
        modifierToggles_[i] = toggle;
        filterRow->addWidget(toggle);
    }
    filterRow->addSpacing(6);
    favourites_ = new ChipButton(Glyph::star, header_);
    favourites_->setCheckedGlyph(Glyph::starFilled);
    favourites_->setCheckable(true);
    favourites_->setToolTip(tr("Show only favourites"));
    favourites_->setAccessibleName(tr("Show only favourites"));
    connect(favourites_, &QAbstractButton::clicked, this, [this] {
        model_.setShowOnlyFavourites(!model_.showOnlyFavourites());
        syncHeader();
    });
    filterRow->addWidget(favourites_);
    headerLayout->addLayout(filterRow);
    // Why the chosen row was not run; the popup stays open to say it.
    notice_ = new QLabel(header_);
    notice_->setObjectName(QStringLiteral("runNotice"));
    notice_->setWordWrap(true);
    notice_->setTextFormat(Qt::PlainText);
    notice_->hide();
    headerLayout->addWidget(notice_);
    outer->addWidget(header_);

    bannerHolder_ = new QWidget(this);
    auto* holderLayout = new QVBoxLayout(bannerHolder_);
    holderLayout->setContentsMargins(sideMargin, 0, sideMargin, 10);
    auto* bannerFrame = new BannerFrame(bannerHolder_);
    bannerLayout_ = new QHBoxLayout(bannerFrame);
    bannerLayout_->setContentsMargins(10, 6, 4, 6);
    bannerLayout_->setSpacing(8);
    holderLayout->addWidget(bannerFrame);
    bannerHolder_->hide();
    outer->addWidget(bannerHolder_);

    divider_ = new Divider(this);
    outer->addWidget(divider_);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The panel is sized for the whole list; a bar shows whenever more is drawn than fits.
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setWidgetResizable(true);
    scroll_->viewport()->setAutoFillBackground(false);
    columns_ = new ShortcutColumnsView(sharedModel_);
    columns_->keyLabels = keyLabels;
    columns_->keyColor = [this] { return keyColor(); };
    columns_->onActivate = [this](const Shortcut& shortcut) {
        if (context_.events.activate)
            context_.events.activate(shortcut);
    };
    scroll_->setWidget(columns_);
    // The scroll area fills its widget's background; the panel's own shows through instead.
    columns_->setAutoFillBackground(false);
    outer->addWidget(scroll_, 1);

    noMatch_ = new MessageView(Glyph::magnifier, QString(), this);
    noMatch_->setObjectName(QStringLiteral("noMatch"));
    noMatch_->hide();
    outer->addWidget(noMatch_, 1);

    overlay_ = new DisambiguationOverlay(keyLabels, this);
    overlay_->onChoose = [this](std::size_t option) {
        if (context_.events.chooseOption)
            context_.events.chooseOption(option);
    };
    overlay_->hide();

    observation_ = model_.addObserver([this] { modelChanged(); });
    if (context_.theme)
        themeObservation_ = context_.theme->addObserver([this] { columns_->update(); });
    syncHeader();
    refreshBanner();
    refreshNoMatch();
}

FilterableShortcutsView::~FilterableShortcutsView()
{
    detach();
}

void FilterableShortcutsView::detach()
{
    if (!attached_)
        return;
    attached_ = false;
    model_.removeObserver(observation_);
    if (context_.theme)
        context_.theme->removeObserver(themeObservation_);
}

QColor FilterableShortcutsView::keyColor() const
{
    const RgbColor accent = context_.theme ? context_.theme->effectiveColor() : paletteAccentColor(palette());
    return readableKeyColor(toQColor(accent), palette());
}

void FilterableShortcutsView::modelChanged()
{
    syncHeader();
    refreshBanner();
    columns_->rebuild();
    refreshNoMatch();
    if (const auto& state = model_.disambiguation()) {
        overlay_->setGeometry(rect());
        overlay_->show(*state, model_.disambiguationFocusedIndex());
    } else if (!overlay_->isHidden()) {
        overlay_->hide();
        // The overlay's options took the screen reader's focus: it comes back to the filter.
        if (QAccessible::isActive() && window()->focusWidget() == search_) {
            QAccessibleEvent focus(search_, QAccessible::Focus);
            QAccessible::updateAccessibility(&focus);
        }
    }
    revealSelection();
}

void FilterableShortcutsView::syncHeader()
{
    count_->setText(qstring(model_.headerText()));
    notice_->setText(qstring(model_.notice()));
    notice_->setVisible(!model_.notice().empty());
    // Said once typing pauses; not for a modifier merely held down.
    announceWhenSettled(count_, model_.hasQuery() || !model_.toggledModifiers().empty() ? count_->text() : QString());
    const QString query = qstring(model_.query());
    if (search_->text() != query)
        search_->setText(query);
    clear_->setVisible(!query.isEmpty());
    for (std::size_t i = 0; i < modifierToggles_.size(); ++i) {
        const std::string glyph(notation::modifierGlyphs[i]);
        modifierToggles_[i]->setChecked(model_.toggledModifiers().contains(glyph));
        modifierToggles_[i]->setEmphasised(model_.heldModifiers().contains(glyph));
    }
    favourites_->setChecked(model_.showOnlyFavourites());
}

void FilterableShortcutsView::refreshNoMatch()
{
    const bool empty = columns_->drawnRowCount() == 0;
    if (empty)
        noMatch_->setText(qstring(model_.noMatchText()));
    noMatch_->setVisible(empty);
    scroll_->setVisible(!empty);
}

void FilterableShortcutsView::refreshBanner()
{
    const PopupBanner banner = popupBanner(model_.tipIndex(), context_.settings);
    if (bannerShown_ && banner == banner_)
        return;
    showBanner(banner);
}

void FilterableShortcutsView::showBanner(const PopupBanner& banner)
{
    banner_ = banner;
    bannerShown_ = true;
    while (QLayoutItem* item = bannerLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (std::holds_alternative<std::monostate>(banner)) {
        bannerHolder_->hide();
        return;
    }
    QWidget* frame = bannerLayout_->parentWidget();
    const QColor secondary = secondaryTextColor(palette());
    auto* dismiss = new ChipButton(Glyph::close, frame);
    dismiss->setIconSize({10, 10});
    dismiss->setFixedSize(22, 22);
    dismiss->setGlyphColor(secondary);

    frame->setAccessibleName(std::holds_alternative<PopupTip>(banner) ? tr("Tip") : tr("Suggestion"));
    if (const auto* tip = std::get_if<PopupTip>(&banner)) {
        auto* bulb = new QLabel(frame);
        bulb->setPixmap(glyphIcon(Glyph::lightbulb, keyColor(), 15).pixmap(15, 15));
        bulb->setAlignment(Qt::AlignTop);
        bulb->setContentsMargins(0, 1, 0, 0);
        auto* text = new QLabel(qstring(tipText(*tip, columns_->keyLabels)), frame);
        text->setObjectName(QStringLiteral("tipText"));
        text->setWordWrap(true);
        text->setTextFormat(Qt::PlainText);
        bannerLayout_->addWidget(bulb, 0, Qt::AlignTop);
        bannerLayout_->addWidget(text, 1);
        dismiss->setToolTip(tr("Dismiss tip"));
        dismiss->setAccessibleName(tr("Dismiss tip"));
        connect(dismiss, &QAbstractButton::clicked, this, [this] {
            if (context_.events.dismissTip)
                context_.events.dismissTip();
            refreshBanner();
        });
    } else {
        auto* link = new QPushButton(qstring(nudgeText), frame);
        link->setObjectName(QStringLiteral("nudge"));
        link->setFlat(true);
        link->setFocusPolicy(Qt::NoFocus);
        link->setCursor(Qt::PointingHandCursor);
        QPalette linkPalette = link->palette();
        linkPalette.setColor(QPalette::ButtonText, keyColor());
        link->setPalette(linkPalette);
        link->setStyleSheet(QStringLiteral("QPushButton { border: none; text-align: left; padding: 0; }"));
        bannerLayout_->addWidget(link, 1);
        connect(link, &QPushButton::clicked, this, [this] {
            if (context_.events.followNudge)
                context_.events.followNudge();
            refreshBanner();
        });
        dismiss->setToolTip(tr("Dismiss"));
        dismiss->setAccessibleName(tr("Dismiss"));
        connect(dismiss, &QAbstractButton::clicked, this, [this] {
            if (context_.events.dismissNudge)
                context_.events.dismissNudge();
            refreshBanner();
        });
    }
    bannerLayout_->addWidget(dismiss, 0, Qt::AlignTop);
    bannerHolder_->show();
}

void FilterableShortcutsView::revealSelection()
{
    const Shortcut* selected = model_.selectedShortcut();
    if (!selected)
        return;
    if (auto rect = columns_->rowRect(*selected))
        scroll_->ensureVisible(rect->center().x(), rect->center().y(), 0, rect->height() / 2 + 24);
}

double FilterableShortcutsView::fittingHeight(double width)
{
    const int w = int(width);
    double height = header_->hasHeightForWidth() ? header_->heightForWidth(w) : header_->sizeHint().height();
    if (!std::holds_alternative<std::monostate>(banner_))
        height +=
            bannerHolder_->hasHeightForWidth() ? bannerHolder_->heightForWidth(w) : bannerHolder_->sizeHint().height();
    height += divider_->minimumHeight();
    // Sized for the whole list, whatever the filters leave of it now, and
    // never too small for the message that nothing matches.
    const int message = noMatch_->hasHeightForWidth() ? noMatch_->heightForWidth(w) : noMatch_->sizeHint().height();
    return height + std::max(columns_->unfilteredContentHeight(), message);
}

void FilterableShortcutsView::exportDocument()
{
    // The dialogs run their own event loops, in which the popup may close and
    // this view go with it.
    const QPointer<FilterableShortcutsView> alive(this);
    const bool done =
        exportShortcuts(window(), model_.app(), columns_->keyLabels, context_.exportDialogs, context_.modal);
    if (done && alive) {
        export_->setAccessibleName(tr("Exported"));
        export_->setToolTip(tr("Exported"));
    }
}

void FilterableShortcutsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    overlay_->setGeometry(rect());
}

void FilterableShortcutsView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        columns_->update();
    QWidget::changeEvent(event);
}

} // namespace hb::views
