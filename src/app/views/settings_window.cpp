#include "app/views/settings_window.h"

#include "app/views/accessible_roles.h"
#include "app/views/developer_settings_page.h"
#include "app/views/general_settings_page.h"
#include "app/views/ignored_settings_page.h"
#include "app/views/popup_settings_page.h"
#include "app/views/settings_form.h"
#include "popup/views/panel_style.h"
#include "popup/views/symbol_icons.h"
#include "popup/views/window_placement.h"

#include <QCloseEvent>
#include <QEasingCurve>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace hb::views {
namespace {

struct TabInfo {
    const char* name;
    const char* symbol;
};

constexpr std::array<TabInfo, 4> tabs{{
    {QT_TRANSLATE_NOOP("SettingsWindow", "General"), "gearshape"},
    {QT_TRANSLATE_NOOP("SettingsWindow", "Popup"), "list.bullet.rectangle.portrait"},
    {QT_TRANSLATE_NOOP("SettingsWindow", "Ignored"), "eye.slash"},
    {QT_TRANSLATE_NOOP("SettingsWindow", "Developer"), "hammer"},
}};

QIcon tabIcon(const char* symbol, const QPalette& palette)
{
    QIcon icon = views::symbolIcon(symbol, palette.color(QPalette::ButtonText), 18);
    const QIcon selected = views::shippedSymbolIcon(symbol, palette.color(QPalette::HighlightedText), 18);
    for (const qreal scale : {1.0, 2.0})
        icon.addPixmap(selected.pixmap(QSize(18, 18), scale), QIcon::Normal, QIcon::On);
    return icon;
}

// The line under the icon bar.
class Separator final : public QWidget {
public:
    static constexpr int thickness = 1;
    Separator() { setFixedHeight(thickness); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), panelBorderColor(palette())); }
};

// The height a page needs at `width`.
int contentHeight(QWidget* page, int width)
{
    page->ensurePolished();
    if (auto* layout = page->layout()) {
        layout->activate();
        if (layout->hasHeightForWidth())
            return layout->totalHeightForWidth(width);
        return layout->totalSizeHint().height();
    }
    return page->sizeHint().height();
}

} // namespace

SettingsWindow::SettingsWindow(SettingsWindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)),
      dialogs_(services_.dialogs ? services_.dialogs : std::make_shared<QtSettingsDialogs>()),
      model_(std::make_unique<SettingsModel>(services_.model)), stack_(new QStackedWidget),
      resize_(new QVariantAnimation(this))
{
    setWindowTitle(tr("Hintboard Settings"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    context_ = std::make_unique<SettingsPageContext>(SettingsPageContext{*model_, services_, *dialogs_, this});

    // The icon bar.
    tabButtons_ = new SegmentedControl;
    markAsPageTabs(tabButtons_);
    for (const auto& tab : tabs) {
        const QString name = tr(tab.name);
        tabButtons_->addSegment(name, {}, name);
    }
    paintTabIcons();
    connect(tabButtons_, &SegmentedControl::selected, this, [this](int index) { selectTab(Tab(index)); });
    tabBar_ = new QWidget;
    auto* bar = new QHBoxLayout(tabBar_);
    bar->setContentsMargins(0, 10, 0, 10);
    bar->addStretch(1);
    bar->addWidget(tabButtons_);
    bar->addStretch(1);
    tabBar_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* line = new Separator;

    pages_ = {new GeneralSettingsPage(*context_), new PopupSettingsPage(*context_), new IgnoredSettingsPage(*context_),
              new DeveloperSettingsPage(*context_)};
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        QWidget* page = pages_[i];
        auto* scroll = new QScrollArea;
        scroll->setAccessibleName(tr(tabs[i].name));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(page);
        page->installEventFilter(this);
        stack_->addWidget(scroll);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tabBar_);
    layout->addWidget(line);
    layout->addWidget(stack_, 1);

    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    resize_->setDuration(resizeMilliseconds);
    resize_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(resize_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& height) { setFixedHeight(height.toInt()); });

    // Wider only when large fonts need it.
    for (QWidget* page : pages_)
        width_ = std::max(width_, page->minimumSizeHint().width());
    setFixedWidth(width_);
    measure();
    resizeToTab(false);
}

SettingsWindow::~SettingsWindow()
{
    // The pages observe the model: they go first.
    if (model_->isRecording())
        model_->stopRecording();
    delete stack_;
}

void SettingsWindow::selectTab(Tab tab)
{
    tabButtons_->setCurrentIndex(int(tab));
    if (tab == current_)
        return;
    current_ = tab;
    stack_->setCurrentIndex(int(tab));
    measure();
    resizeToTab(true);
}

void SettingsWindow::measure()
{
    for (std::size_t i = 0; i < pages_.size(); ++i)
        tabHeights_[i] = contentHeight(pages_[i], width_);
}

void SettingsWindow::resizeToTab(bool animated)
{
    const int chrome = tabBar_->sizeHint().height() + Separator::thickness;
    int height = chrome + tabHeights_[std::size_t(current_)];
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        height = std::min(height, screen->availableGeometry().height() - 60);
    height = std::max(height, chrome + 120);
    if (height == targetHeight_ && (resize_->state() == QAbstractAnimation::Running || this->height() == height))
        return;
    targetHeight_ = height;
    resize_->stop();
    if (!animated || !isVisible()) {
        setFixedHeight(height);
        return;
    }
    resize_->setStartValue(this->height());
    resize_->setEndValue(height);
    resize_->start();
}

void SettingsWindow::finishResize()
{
    if (resize_->state() == QAbstractAnimation::Running) {
        resize_->stop();
        setFixedHeight(targetHeight_);
    }
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A page's content changed (rows added or removed): measure again once the layouts settle.
    if (event->type() == QEvent::LayoutRequest && !remeasureQueued_) {
        remeasureQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            remeasureQueued_ = false;
            measure();
            resizeToTab(true);
        });
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsWindow::paintTabIcons()
{
    for (std::size_t i = 0; i < tabs.size(); ++i)
        tabButtons_->setSegmentIcon(int(i), tabIcon(tabs[i].symbol, palette()));
}

void SettingsWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && tabButtons_)
        paintTabIcons();
}

void SettingsWindow::closeEvent(QCloseEvent* event)
{
    if (model_->isRecording())
        model_->stopRecording();
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

// The one window.

SettingsWindowController::SettingsWindowController(SettingsWindowServices services) : services_(std::move(services)) {}

SettingsWindowController::~SettingsWindowController()
{
    for (const auto& closed : closed_)
        delete closed.data();
    if (window_) {
        delete window_.data();
        services_.dockIcon.hide();
    }
}

void SettingsWindowController::show()
{
    if (!window_) {
        window_ = new SettingsWindow(services_);
        QObject::connect(window_, &SettingsWindow::closed, window_, [this] { dropWindow(); });
        services_.dockIcon.show();
        centreOnPointerScreen(*window_);
    }
    if (window_->isMinimized())
        window_->showNormal();
    else
        window_->show();
    window_->raise();
    window_->activateWindow();
}

void SettingsWindowController::dropWindow()
{
    if (!window_)
        return;
    // Deleted once its close has run to the end.
    std::erase_if(closed_, [](const auto& closed) { return closed.isNull(); });
    closed_.emplace_back(window_);
    window_->deleteLater();
    window_ = nullptr;
    services_.dockIcon.hide();
}

} // namespace hb::views
