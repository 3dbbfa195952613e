#include "popup/views/popup_window.h"

#include "popup/views/filterable_shortcuts_view.h"
#include "popup/views/key_translation.h"
#include "popup/views/message_views.h"
#include "popup/views/shortcut_columns_view.h"
#include "settings/settings.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPointer>
#include <QPropertyAnimation>
#include <QRegion>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <utility>

namespace hb::views {
namespace {

constexpr double cornerRadius = 12;
constexpr double fadeInScale = 0.96;

int milliseconds(platform::Seconds duration)
{
    return std::max(0, int(std::lround(duration.count() * 1000)));
}

QRect scaled(const QRect& rect, double factor)
{
    const QSize size(int(std::lround(rect.width() * factor)), int(std::lround(rect.height() * factor)));
    QRect result(QPoint(), size);
    result.moveCenter(rect.center());
    return result;
}

// Whether a compositing manager runs on the X display, so that transparent
// corners really are transparent.
bool compositing()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return true;
    xcb_connection_t* connection = x11->connection();
    // Qt's screens are outputs of one X screen, the default one.
    const QByteArray name = "_NET_WM_CM_S0";
    auto* atomReply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, std::uint16_t(name.size()), name.constData()), nullptr);
    if (!atomReply)
        return false;
    const xcb_atom_t atom = atomReply->atom;
    std::free(atomReply);
    if (atom == XCB_ATOM_NONE)
        return false;
    auto* ownerReply = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom), nullptr);
    const bool owned = ownerReply && ownerReply->owner != XCB_WINDOW_NONE;
    std::free(ownerReply);
    return owned;
}

} // namespace

PopupWindow::PopupWindow(PopupPanelEvents events, platform::SettingsDomain& settings, ThemeSettings* theme,
                         PopupWindowMode mode)
    : QWidget(nullptr), context_{std::move(events), settings, theme}
{
    behaviour_ = PopupWindowBehaviour::make(mode, *this, [this] {
        if (context_.events.lostActivation)
            context_.events.lostActivation();
    });
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Hintboard"));
    setFocusPolicy(Qt::StrongFocus);
    // Held by the export's dialogs, which may outlive the window.
    context_.modal = [window = QPointer<PopupWindow>(this)](bool modal) {
        if (window)
            window->setDialogOpen(modal);
    };
    context_.openAddress = [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); };

    layout_ = new QVBoxLayout(this);
    // Inside the border line, so that children never paint over the rounded edge.
    layout_->setContentsMargins(1, 1, 1, 1);
    layout_->setSpacing(0);
}

void PopupWindow::setDialogOpen(bool modal)
{
    modal_ = modal;
    behaviour_->setModal(modal);
    if (!behaviour_->hidesForDialogs()) {
        if (!modal && QWidget::isVisible())
            takeKeyboard();
        return;
    }
    // A window that stays above dialogs steps aside while one is open.
    if (modal) {
        giveBackKeyboard();
        hiddenForDialog_ = QWidget::isVisible();
        if (hiddenForDialog_)
            hide();
    } else if (std::exchange(hiddenForDialog_, false)) {
        show();
        raise();
        takeKeyboard();
    }
}

PopupWindow::~PopupWindow()
{
    stopAnimation();
    giveBackKeyboard();
    // The views observe the model; they go before anything else of the window.
    setContent(nullptr, nullptr);
}

PopupPanel::Factory PopupWindow::factory(platform::SettingsDomain& settings, ThemeSettings* theme, PopupWindowMode mode)
{
    return [&settings, theme, mode](PopupPanelEvents events) -> std::unique_ptr<PopupPanel> {
        return std::make_unique<PopupWindow>(std::move(events), settings, theme, mode);
    };
}

void PopupWindow::setContent(QWidget* content, FilterableShortcutsView* shortcuts)
{
    const bool hadKeyboard = behaviour_->holdsKeyboard();
    giveBackKeyboard();
    if (shortcuts_)
        // At once: the controller may let the model go as soon as another one is shown.
        shortcuts_->detach();
    if (content_) {
        layout_->removeWidget(content_);
        content_->hide();
        // Later: this may run inside one of the old view's own handlers.
        content_->deleteLater();
    }
    content_ = content;
    shortcuts_ = shortcuts;
    if (content_) {
        layout_->addWidget(content_);
        if (shortcuts_)
            shortcuts_->searchField()->installEventFilter(this);
    }
    if (hadKeyboard && QWidget::isVisible())
        takeKeyboard();
}

void PopupWindow::showPermissionRequest()
{
    setContent(new PermissionView(
                   [this] {
                       if (context_.events.grant)
                           context_.events.grant();
                   },
                   this),
               nullptr);
}

void PopupWindow::showNoApp()
{
    setContent(new MessageView(Glyph::appDashed, tr("No active application"), this), nullptr);
}

void PopupWindow::showNoShortcuts(const std::string& appName)
{
    setContent(new MessageView(Glyph::keyboard,
                               tr("No keyboard shortcuts found for ") + QString::fromStdString(appName), this),
               nullptr);
}

void PopupWindow::showNotAnswering(const std::string& appName)
{
    setContent(new MessageView(
                   Glyph::warning,
                   tr("%1 does not answer (it may be busy or stopped)").arg(QString::fromStdString(appName)), this),
               nullptr);
}

void PopupWindow::showShortcuts(std::shared_ptr<PopupFilterModel> model)
{
    auto* view = new FilterableShortcutsView(std::move(model), context_, this);
    setContent(view, view);
}

double PopupWindow::fittingHeight(double width)
{
    // Asked before the first show: measure with the style's real metrics.
    ensurePolished();
    if (!shortcuts_)
        return content_ ? content_->sizeHint().height() + 2 : 0;
    const double margins = layout_->contentsMargins().top() + layout_->contentsMargins().bottom();
    return shortcuts_->fittingHeight(width - layout_->contentsMargins().left() - layout_->contentsMargins().right())
           + margins;
}

double PopupWindow::columnWidthFor(const AppShortcuts& app)
{
    ensurePolished();
    return ShortcutColumnsView::neededColumnWidth(app, font(), Settings(context_.settings).keyLabels());
}

QRect PopupWindow::qtGeometry(const platform::Rect& frame, const QRect& primary)
{
    const int x = primary.x() + int(std::lround(frame.minX()));
    const int width = int(std::lround(frame.size.width));
    const int height = int(std::lround(frame.size.height));
    const int y = primary.y() + primary.height() - int(std::lround(frame.maxY()));
    return {x, y, width, height};
}

void PopupWindow::setFrame(const platform::Rect& frame)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    target_ = qtGeometry(frame, primary ? primary->geometry() : QRect());
    if (scale_ && animation_ && animation_->state() == QAbstractAnimation::Running)
        scale_->setEndValue(target_);
    else
        setGeometry(target_);
}

bool PopupWindow::isVisible() const
{
    return QWidget::isVisible() || hiddenForDialog_;
}

void PopupWindow::stopAnimation()
{
    if (!animation_)
        return;
    animation_->stop();
    delete animation_;
    animation_ = nullptr;
    scale_ = nullptr;
}

void PopupWindow::fadeIn(platform::Seconds duration)
{
    stopAnimation();
    if (target_.isEmpty())
        target_ = geometry();
    const bool animates = behaviour_->animates();
    if (!QWidget::isVisible()) {
        clipCorners_ = !compositing();
        if (animates)
            setWindowOpacity(0);
        setGeometry(animates ? scaled(target_, fadeInScale) : target_);
        show();
    }
    raise();
    takeKeyboard();
    reportedFlags_.reset();
    if (!animates)
        return;

    animation_ = new QParallelAnimationGroup(this);
    auto* opacity = new QPropertyAnimation(this, "windowOpacity");
    opacity->setDuration(milliseconds(duration));
    opacity->setStartValue(windowOpacity());
    opacity->setEndValue(1.0);
    opacity->setEasingCurve(QEasingCurve::OutCubic);
    scale_ = new QPropertyAnimation(this, "geometry");
    scale_->setDuration(milliseconds(duration));
    scale_->setStartValue(geometry());
    scale_->setEndValue(target_);
    scale_->setEasingCurve(QEasingCurve::OutCubic);
    animation_->addAnimation(opacity);
    animation_->addAnimation(scale_);
    connect(animation_, &QAbstractAnimation::finished, this, [this] {
        setGeometry(target_);
        setWindowOpacity(1);
    });
    animation_->start();
}

void PopupWindow::fadeOut(platform::Seconds duration)
{
    stopAnimation();
    // A closing popup takes no more keys: the hot key works again at once.
    giveBackKeyboard();
    if (!behaviour_->animates())
        return;
    animation_ = new QParallelAnimationGroup(this);
    auto* opacity = new QPropertyAnimation(this, "windowOpacity");
    opacity->setDuration(milliseconds(duration));
    opacity->setStartValue(windowOpacity());
    opacity->setEndValue(0.0);
    opacity->setEasingCurve(QEasingCurve::InCubic);
    animation_->addAnimation(opacity);
    animation_->start();
}

void PopupWindow::orderOut()
{
    hiddenForDialog_ = false;
    stopAnimation();
    giveBackKeyboard();
    hide();
    if (behaviour_->animates())
        setWindowOpacity(1);
    if (!target_.isEmpty())
        setGeometry(target_);
}

QWidget* PopupWindow::keyboardTarget() const
{
    if (shortcuts_)
        return shortcuts_->searchField();
    return const_cast<PopupWindow*>(this);
}

void PopupWindow::takeKeyboard()
{
    if (modal_)
        return;
    QWidget* target = keyboardTarget();
    target->setFocus(Qt::OtherFocusReason);
    behaviour_->takeKeyboard(*target);
}

void PopupWindow::giveBackKeyboard()
{
    behaviour_->giveBackKeyboard();
}

bool PopupWindow::hasKeyboard() const
{
    return behaviour_->hasKeyboard();
}

bool PopupWindow::dispatchKey(QKeyEvent* event)
{
    if (auto flag = modifierKeyFlag(event->key())) {
        std::uint64_t flags = modifierFlags(event->modifiers());
        flags = event->type() == QEvent::KeyPress ? (flags | *flag) : (flags & ~*flag);
        // Auto-repeat of a held modifier is no change.
        if (flags == reportedFlags_)
            return false;
        reportedFlags_ = flags;
        if (context_.events.flagsChanged)
            context_.events.flagsChanged(flags);
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    return context_.events.keyDown && context_.events.keyDown(keyEvent(*event));
}

bool PopupWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (shortcuts_ && watched == shortcuts_->searchField()
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease))
        return dispatchKey(static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

void PopupWindow::keyPressEvent(QKeyEvent* event)
{
    // With a search field the keys were dispatched there; this is their way up.
    if (shortcuts_ || !dispatchKey(event))
        QWidget::keyPressEvent(event);
}

void PopupWindow::keyReleaseEvent(QKeyEvent* event)
{
    if (shortcuts_ || !dispatchKey(event))
        QWidget::keyReleaseEvent(event);
}

void PopupWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!clipCorners_) {
        clearMask();
        return;
    }
    // Without a compositor the transparent corners would show black: cut them away.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void PopupWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(panelBorderColor(palette()), 1));
    p.setBrush(panelBackgroundColor(palette()));
    p.drawRoundedRect(r, cornerRadius, cornerRadius);
    // A faint inner edge under the outline gives the panel some lift.
    QColor inner = isDark(palette()) ? QColor(255, 255, 255, 18) : QColor(0, 0, 0, 14);
    p.setPen(QPen(inner, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
}

} // namespace hb::views
