#include "app/views/welcome_window.h"

#include "app/views/tray_icon.h"
#include "app/views/welcome_pages.h"
#include "popup/views/announcement.h"
#include "popup/views/panel_style.h"
#include "popup/views/symbol_icons.h"
#include "popup/views/window_placement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>

namespace hb::views {

// Slides the previous step out and the new one in, with a fade, over the
// stack: drawn from snapshots of both pages, while the new page underneath
// already takes input.
class StepTransition final : public QWidget {
public:
    explicit StepTransition(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
        animation_.setDuration(WelcomeWindow::transitionMilliseconds);
        animation_.setEasingCurve(QEasingCurve::InOutQuad);
        animation_.setStartValue(0.0);
        animation_.setEndValue(1.0);
        connect(&animation_, &QVariantAnimation::valueChanged, this, [this] { update(); });
        connect(&animation_, &QVariantAnimation::finished, this, &QWidget::hide);
    }

    void run(QWidget* from, QWidget* to, bool forward)
    {
        animation_.stop();
        setGeometry(to->geometry());
        from_ = from->grab();
        to_ = to->grab();
        forward_ = forward;
        show();
        raise();
        animation_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const qreal progress = animation_.currentValue().toReal();
        const qreal distance = width() * 0.3 * (forward_ ? 1 : -1);
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        // The old page is mostly gone before the new one shows much.
        painter.setOpacity(std::clamp(1 - progress * 1.6, 0.0, 1.0));
        painter.drawPixmap(QPointF(-distance * progress, 0), from_);
        painter.setOpacity(std::clamp((progress - 0.375) * 1.6, 0.0, 1.0));
        painter.drawPixmap(QPointF(distance * (1 - progress), 0), to_);
    }

private:
    QVariantAnimation animation_;
    QPixmap from_;
    QPixmap to_;
    bool forward_ = true;
};

StepDotsView::StepDotsView(int total, QWidget* parent) : QWidget(parent), total_(total)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StepDotsView::setCurrent(int current)
{
    if (current == current_)
        return;
    current_ = current;
    setAccessibleDescription(tr("Step %1 of %2").arg(current + 1).arg(total_));
    update();
}

QSize StepDotsView::sizeHint() const
{
    return {total_ * 14, 10};
}

void StepDotsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPalette& p = palette();
    QColor inactive = p.color(QPalette::WindowText);
    inactive.setAlphaF(isDark(p) ? 0.3f : 0.22f);
    for (int i = 0; i < total_; ++i) {
        painter.setBrush(i == current_ ? p.color(QPalette::Highlight) : inactive);
        painter.drawEllipse(QRectF(i * 14 + 2, 1, 8, 8));
    }
}

WelcomeWindow::WelcomeWindow(WelcomeWindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(std::make_unique<SettingsModel>(services.settingsModel)),
      wizard_(std::make_unique<WelcomeWizard>(
          WelcomeWizardServices{services.settingsModel.settings, services.accessibility, services.mainQueue,
                                std::move(services.handlers), std::move(services.quit)})),
      content_(new QWidget(this)), stack_(new QStackedWidget), dots_(new StepDotsView(welcomeStepCount)),
      leading_(new QPushButton), primary_(new QPushButton)
{
    setWindowTitle(tr("Welcome to Hintboard"));
    setWindowIcon(TrayIcon::applicationIcon());
    setFixedSize(contentWidth, contentHeight);

    pages_ = {makeIntroPage(*wizard_), makePermissionPage(*wizard_), makeTriggerPage(*wizard_, *model_),
              makeLoginItemPage(*model_, services.trayIconShown)};
    for (WelcomePage* page : pages_)
        stack_->addWidget(page);

    primary_->setDefault(true);
    primary_->setMinimumWidth(96);
    leading_->setMinimumWidth(96);
    connect(primary_, &QPushButton::clicked, this, [this] { wizard_->next(); });
    connect(leading_, &QPushButton::clicked, this, [this] {
        if (wizard_->isFirstStep())
            wizard_->quit();
        else
            wizard_->back();
    });

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(20, 0, 20, 0);
    bar->addWidget(leading_);
    bar->addStretch(1);
    bar->addWidget(primary_);
    auto* layout = new QVBoxLayout(content_);
    layout->setContentsMargins(0, 0, 0, 18);
    layout->setSpacing(12);
    layout->addWidget(stack_, 1);
    layout->addWidget(dots_, 0, Qt::AlignHCenter);
    layout->addLayout(bar);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(content_);
    transition_ = new StepTransition(content_);

    wizard_->onCloseRequested = [this] { close(); };
    wizardObserver_ = wizard_->addObserver([this] { showStep(); });
    modelObserver_ = model_->addObserver([this] { refresh(); });
    showStep();
    primary_->setFocus();
}

WelcomeWindow::~WelcomeWindow()
{
    wizard_->removeObserver(wizardObserver_);
    model_->removeObserver(modelObserver_);
    wizard_->onCloseRequested = nullptr;
    // The pages use the model and the wizard: they go first.
    delete content_;
}

QWidget* WelcomeWindow::currentPage() const
{
    return stack_->currentWidget();
}

void WelcomeWindow::present()
{
    if (!isVisible())
        centreOnPointerScreen(*this);
    show();
    raise();
    activateWindow();
}

void WelcomeWindow::showStep()
{
    const int step = static_cast<int>(wizard_->step());
    const bool turned = step != shownStep_ && shownStep_ >= 0;
    if (step != shownStep_) {
        QWidget* previous = stack_->currentWidget();
        const bool hadFocus = previous && previous->isAncestorOf(focusWidget());
        stack_->setCurrentIndex(step);
        if (shownStep_ >= 0 && isVisible() && previous)
            transition_->run(previous, stack_->currentWidget(), wizard_->goingForward());
        if (hadFocus)
            primary_->setFocus();
        shownStep_ = step;
    }
    refresh();
    if (turned)
        announcePage();
}

void WelcomeWindow::announcePage()
{
    const auto* title = stack_->currentWidget()->findChild<QLabel*>(QStringLiteral("pageTitle"));
    announce(this, (title ? title->text() + QStringLiteral(". ") : QString()) + dots_->accessibleDescription());
}

void WelcomeWindow::refresh()
{
    for (WelcomePage* page : pages_)
        page->refresh();
    dots_->setCurrent(static_cast<int>(wizard_->step()));
    const bool first = wizard_->isFirstStep();
    leading_->setText(first ? tr("Quit Hintboard") : tr("Back"));
    leading_->setIcon(first ? QIcon()
                            : views::shippedSymbolIcon("chevron.left", palette().color(QPalette::ButtonText), 14));
    primary_->setText(first ? tr("Get started") : wizard_->isLastStep() ? tr("Done") : tr("Next"));
}

void WelcomeWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    wizard_->windowClosed();
}

void WelcomeWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            break;
        if (model_->isRecording())
            return;
        // A focused button takes Return as it takes Space; otherwise the default button.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && isAncestorOf(button) && button->isEnabled() && button->isVisible())
            button->click();
        else
            primary_->click();
        return;
    case Qt::Key_Escape:
        // Closing here would quit the program.
        event->accept();
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void WelcomeWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        refresh();
}

} // namespace hb::views
