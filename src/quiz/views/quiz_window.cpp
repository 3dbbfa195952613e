#include "quiz/views/quiz_window.h"

#include "model/key_label.h"
#include "model/key_notation.h"
#include "popup/views/announcement.h"
#include "popup/views/key_translation.h"
#include "popup/views/panel_style.h"
#include "popup/views/symbol_icons.h"
#include "popup/views/window_placement.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace hb::views {
namespace {

constexpr std::int64_t escapeKeyCode = 53;
constexpr int markSize = 28;
constexpr int appIconSize = 32;

QString qstring(const std::string& text)
{
    return QString::fromStdString(text);
}

QFont sizedFont(const QFont& base, int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = base;
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QLabel* label(QWidget* parent, int pixelSize, QFont::Weight weight = QFont::Normal)
{
    auto* result = new QLabel(parent);
    result->setFont(sizedFont(result->font(), pixelSize, weight));
    result->setTextFormat(Qt::PlainText);
    return result;
}

QIcon symbol(std::string_view name, const QColor& tint, int size)
{
    return views::shippedSymbolIcon(name, tint, size);
}

QColor successColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(0x32, 0xD7, 0x4B) : QColor(0x1F, 0x9D, 0x3A);
}
QColor failureColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xFF, 0x5A, 0x50) : QColor(0xD3, 0x1F, 0x1F);
}
QColor brainColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xFF, 0x6B, 0x9A) : QColor(0xD6, 0x2F, 0x6E);
}

// The application's icon by its freedesktop name or file path, else a generic
// one; null when the icon theme has neither.
QIcon applicationIcon(const std::optional<std::string>& name)
{
    const auto draws = [](const QIcon& icon) { return !icon.isNull() && !icon.pixmap(appIconSize).isNull(); };
    if (name && !name->empty()) {
        const QString text = qstring(*name);
        const QIcon icon = text.startsWith(QLatin1Char('/')) ? QIcon(text) : QIcon::fromTheme(text);
        if (draws(icon))
            return icon;
    }
    const QIcon generic = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    return draws(generic) ? generic : QIcon();
}

// Keys that only change the others (and the lock keys): pressed alone they are no answer.
bool isModifierKey(int key)
{
    return modifierKeyFlag(key) || key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock
           || key == Qt::Key_Hyper_L || key == Qt::Key_Hyper_R || key == Qt::Key_Mode_switch;
}

QWidget* centredRow(QWidget* parent, std::initializer_list<QWidget*> widgets)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addStretch();
    for (auto* widget : widgets) {
        widget->setParent(row);
        layout->addWidget(widget, 0, Qt::AlignVCenter);
    }
    layout->addStretch();
    return row;
}

} // namespace

// Key notation in the look of the popup's keys: medium weight in the key colour.
class KeyLabel final : public QLabel {
public:
    KeyLabel(int pixelSize, QWidget* parent) : QLabel(parent)
    {
        setFont(sizedFont(font(), pixelSize, QFont::Medium));
        setTextFormat(Qt::PlainText);
    }
    void setColor(const QColor& color)
    {
        QPalette pal = palette();
        pal.setColor(QPalette::WindowText, color);
        setPalette(pal);
    }
};

// An icon drawn at paint time, so that it is sharp at the pixel ratio of the screen it lands on.
class SymbolLabel final : public QLabel {
public:
    SymbolLabel(int size, QWidget* parent) : QLabel(parent) { setFixedSize(size, size); }
    void setIcon(const QIcon& icon)
    {
        icon_ = icon;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        icon_.paint(&painter, rect());
    }

private:
    QIcon icon_;
};

// A one-line text that takes the width it is given and elides the rest.
class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent) : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        painter.drawText(area, int(alignment()), fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
    }
};

QuizWindow::QuizWindow(std::unique_ptr<QuizModel> model, ThemeSettings* theme, notation::KeyLabels keyLabels,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), model_(std::move(model)), theme_(theme), keyLabels_(keyLabels)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quiz Mode — ") + qstring(model_->appName()));
    setFixedSize(contentSize);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 14, 20, 18);
    layout->setSpacing(10);
    layout->addWidget(buildHeader());
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(buildQuestionView());
    pages_->addWidget(buildDoneView());
    layout->addWidget(pages_, 1);

    // Keys reach the quiz before the focused button sees them.
    installEventFilter(this);
    for (auto* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    modelObserver_ = model_->addObserver([this] { refresh(); });
    if (theme_)
        themeObserver_ = theme_->addObserver([this] { refreshColors(); });
    refreshColors();
}

QuizWindow::~QuizWindow()
{
    if (model_ && modelObserver_)
        model_->removeObserver(*modelObserver_);
    if (theme_ && themeObserver_)
        theme_->removeObserver(*themeObserver_);
}

QWidget* QuizWindow::buildHeader()
{
    auto* header = new QWidget(this);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    appIcon_ = new SymbolLabel(appIconSize, header);
    layout->addWidget(appIcon_);
    appName_ = new ElidedLabel(header);
    appName_->setFont(sizedFont(appName_->font(), 15, QFont::DemiBold));
    appName_->setText(qstring(model_->appName()));
    appName_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    appName_->setToolTip(appName_->text());
    layout->addWidget(appName_, 1);
    progress_ = label(header, 13);
    progress_->setObjectName(QStringLiteral("progress"));
    secondaryLabels_ << progress_;
    layout->addWidget(progress_);

    favouritesButton_ = new QToolButton(header);
    favouritesButton_->setObjectName(QStringLiteral("favourites"));
    favouritesButton_->setAutoRaise(true);
    favouritesButton_->setFocusPolicy(Qt::NoFocus);
    favouritesButton_->setIconSize(QSize(18, 18));
    connect(favouritesButton_, &QToolButton::clicked, this, [this] {
        if (model_)
            model_->setFavouritesOnly(!model_->favouritesOnly());
    });
    layout->addWidget(favouritesButton_);
    return header;
}

QWidget* QuizWindow::buildQuestionView()
{
    questionPage_ = new QWidget(this);
    auto* layout = new QVBoxLayout(questionPage_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addStretch(2);

    questionTitle_ = label(questionPage_, 22, QFont::Bold);
    questionTitle_->setObjectName(QStringLiteral("question"));
    questionTitle_->setAlignment(Qt::AlignCenter);
    questionTitle_->setWordWrap(true);
    layout->addWidget(questionTitle_);
    menuTitle_ = label(questionPage_, 13);
    menuTitle_->setObjectName(QStringLiteral("menu"));
    menuTitle_->setAlignment(Qt::AlignCenter);
    secondaryLabels_ << menuTitle_;
    layout->addWidget(menuTitle_);
    layout->addSpacing(22);

    feedback_ = new QStackedWidget(questionPage_);
    feedback_->setObjectName(QStringLiteral("feedback"));
    feedback_->setFixedHeight(84);

    pressPrompt_ = label(feedback_, 15);
    pressPrompt_->setText(QStringLiteral("Press the shortcut…"));
    pressPrompt_->setAlignment(Qt::AlignCenter);
    secondaryLabels_ << pressPrompt_;
    askingFeedback_ = pressPrompt_;
    feedback_->addWidget(askingFeedback_);

    correctMark_ = new SymbolLabel(markSize, nullptr);
    correctMark_->setObjectName(QStringLiteral("checkmark.circle.fill"));
    correctMark_->setAccessibleName(QStringLiteral("Right"));
    correctKeys_ = new KeyLabel(28, nullptr);
    correctFeedback_ = centredRow(feedback_, {correctMark_, correctKeys_});
    feedback_->addWidget(correctFeedback_);

    // The mark beside two lines: what was pressed, and the right keys below it.
    wrongFeedback_ = new QWidget(feedback_);
    auto* wrongRow = new QHBoxLayout(wrongFeedback_);
    wrongRow->setContentsMargins(0, 0, 0, 0);
    auto* wrongGrid = new QGridLayout;
    wrongGrid->setHorizontalSpacing(6);
    wrongGrid->setVerticalSpacing(4);
    wrongMark_ = new SymbolLabel(markSize, wrongFeedback_);
    wrongMark_->setObjectName(QStringLiteral("xmark.circle.fill"));
    wrongMark_->setAccessibleName(QStringLiteral("Wrong"));
    wrongGrid->addWidget(wrongMark_, 0, 0, 2, 1, Qt::AlignVCenter);
    wrongGrid->setColumnMinimumWidth(1, 4);
    auto* pressedText = label(wrongFeedback_, 15);
    pressedText->setText(QStringLiteral("You pressed "));
    wrongGrid->addWidget(pressedText, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    pressedKeys_ = new KeyLabel(22, wrongFeedback_);
    pressedKeys_->setObjectName(QStringLiteral("pressedKeys"));
    wrongGrid->addWidget(pressedKeys_, 0, 3, Qt::AlignLeft | Qt::AlignVCenter);
    auto* expectedText = label(wrongFeedback_, 15);
    expectedText->setText(QStringLiteral("Correct: "));
    wrongGrid->addWidget(expectedText, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
    expectedKeys_ = new KeyLabel(22, wrongFeedback_);
    expectedKeys_->setObjectName(QStringLiteral("expectedKeys"));
    wrongGrid->addWidget(expectedKeys_, 1, 3, Qt::AlignLeft | Qt::AlignVCenter);
    secondaryLabels_ << pressedText << expectedText;
    wrongRow->addStretch();
    wrongRow->addLayout(wrongGrid);
    wrongRow->addStretch();
    feedback_->addWidget(wrongFeedback_);

    layout->addWidget(feedback_);
    layout->addStretch(3);
    return questionPage_;
}

QWidget* QuizWindow::buildDoneView()
{
    donePage_ = new QWidget(this);
    auto* layout = new QVBoxLayout(donePage_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addStretch(2);

    finalMark_ = new SymbolLabel(finalSymbolSize, donePage_);
    finalMark_->setObjectName(QStringLiteral("finalSymbol"));
    layout->addWidget(finalMark_, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    scoreText_ = label(donePage_, 22, QFont::Bold);
    scoreText_->setObjectName(QStringLiteral("score"));
    scoreText_->setAlignment(Qt::AlignCenter);
    layout->addWidget(scoreText_);
    wrongText_ = label(donePage_, 14);
    wrongText_->setObjectName(QStringLiteral("wrongCount"));
    wrongText_->setAlignment(Qt::AlignCenter);
    secondaryLabels_ << wrongText_;
    layout->addWidget(wrongText_);
    layout->addSpacing(18);

    againButton_ = new QPushButton(QStringLiteral("Quiz Again"));
    doneButton_ = new QPushButton(QStringLiteral("Done"));
    for (auto* button : {againButton_, doneButton_})
        button->setMinimumWidth(110);
    connect(againButton_, &QPushButton::clicked, this, [this] {
        if (model_)
            model_->restart();
    });
    connect(doneButton_, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(centredRow(donePage_, {againButton_, doneButton_}));
    layout->addStretch(3);
    return donePage_;
}

QColor QuizWindow::keyColor() const
{
    const RgbColor accent = theme_ ? theme_->effectiveColor() : paletteAccentColor(palette());
    return readableKeyColor(toQColor(accent), palette());
}

QColor QuizWindow::secondaryColor() const
{
    return secondaryTextColor(palette());
}

void QuizWindow::refreshColors()
{
    const QColor secondary = secondaryColor();
    for (auto* secondaryLabel : secondaryLabels_) {
        QPalette pal = secondaryLabel->palette();
        pal.setColor(QPalette::WindowText, secondary);
        secondaryLabel->setPalette(pal);
    }
    // The right keys in the key colour; what was pressed in the key font only.
    correctKeys_->setColor(keyColor());
    expectedKeys_->setColor(keyColor());
    pressedKeys_->setColor(palette().color(QPalette::WindowText));

    correctMark_->setIcon(symbol("checkmark.circle.fill", successColor(palette()), markSize));
    wrongMark_->setIcon(symbol("xmark.circle.fill", failureColor(palette()), markSize));
    if (model_) {
        const QIcon icon = applicationIcon(model_->appIcon());
        appIcon_->setIcon(icon);
        appIcon_->setVisible(!icon.isNull());
    }
    refresh();
}

void QuizWindow::refresh()
{
    if (!model_)
        return;
    const QuizModel& model = *model_;
    const auto total = static_cast<int>(model.activeQuestions().size());
    const bool done = model.phase().kind == QuizPhase::done;

    progress_->setText(done ? QStringLiteral("Complete")
                            : QStringLiteral("%1 / %2").arg(model.currentIndex() + 1).arg(total));
    favouritesButton_->setVisible(model.hasFavourites());
    const bool favouritesOnly = model.favouritesOnly();
    favouritesButton_->setIcon(views::shippedSymbolIcon(favouritesOnly ? "star.fill" : "star",
                                                        favouritesOnly ? favouriteColor : secondaryColor(), 18));
    favouritesButton_->setToolTip(favouritesOnly ? QStringLiteral("Showing favourites only")
                                                 : QStringLiteral("Quiz favourites only"));
    favouritesButton_->setAccessibleName(favouritesButton_->toolTip());

    if (done) {
        const int percent = model.percentCorrect();
        finalSymbol_ = percent > 79   ? QStringLiteral("star.fill")
                       : percent > 49 ? QStringLiteral("hand.thumbsup.fill")
                                      : QStringLiteral("brain.fill");
        const QColor tint = percent > 79 ? favouriteColor : percent > 49 ? keyColor() : brainColor(palette());
        finalMark_->setIcon(symbol(finalSymbol_.toStdString(), tint, finalSymbolSize));
        scoreText_->setText(QStringLiteral("%1 / %2 correct").arg(model.score()).arg(total));
        wrongText_->setText(QStringLiteral("%1 wrong").arg(total - model.score()));
        const bool wasAsking = pages_->currentWidget() != donePage_;
        pages_->setCurrentWidget(donePage_);
        if (wasAsking)
            doneButton_->setFocus();
        announce(scoreText_->text() + QStringLiteral(", ") + wrongText_->text());
        return;
    }

    finalSymbol_.clear();
    if (pages_->currentWidget() != questionPage_) {
        pages_->setCurrentWidget(questionPage_);
        setFocus();
    }
    const QuizQuestion* question = model.currentQuestion();
    questionTitle_->setText(question ? qstring(question->title) : QString());
    menuTitle_->setText(question ? QStringLiteral("in ") + qstring(question->menuTitle) : QString());
    const QString expected = question ? qstring(notation::keyLabel(question->keys, keyLabels_)) : QString();
    switch (model.phase().kind) {
    case QuizPhase::correct:
        correctKeys_->setText(expected);
        feedback_->setCurrentWidget(correctFeedback_);
        break;
    case QuizPhase::wrong:
        pressedKeys_->setText(qstring(notation::keyLabel(model.phase().pressedKeys, keyLabels_)));
        expectedKeys_->setText(expected);
        feedback_->setCurrentWidget(wrongFeedback_);
        break;
    default:
        feedback_->setCurrentWidget(askingFeedback_);
        break;
    }
    switch (model.phase().kind) {
    case QuizPhase::correct:
        announce(correctMark_->accessibleName() + QStringLiteral(": ") + correctKeys_->text());
        break;
    case QuizPhase::wrong:
        announce(wrongMark_->accessibleName() + QStringLiteral(". You pressed ") + pressedKeys_->text()
                 + QStringLiteral(". Correct: ") + expectedKeys_->text());
        break;
    default:
        announce(questionTitle_->text() + QStringLiteral(", ") + menuTitle_->text() + QStringLiteral(". ")
                 + pressPrompt_->text());
        break;
    }
}

// Said by screen readers: announced, and kept as the description of the window, which holds the focus while asking.
void QuizWindow::announce(const QString& text)
{
    setAccessibleDescription(text);
    views::announce(this, text);
}

bool QuizWindow::handleKeyPress(const QKeyEvent& event)
{
    const platform::KeyEvent key = keyEvent(event);
    if (key.keyCode == escapeKeyCode) {
        close();
        return true;
    }
    if (!model_ || model_->phase().kind == QuizPhase::done)
        return false;
    // Modifiers alone neither answer nor end the pause.
    if (isModifierKey(event.key()))
        return false;
    // A held key repeats: only its first press counts.
    if (event.isAutoRepeat())
        return true;
    return model_->keyPressed(notation::eventKeyNotation(key.keyCode, key.modifierFlags, key.characters));
}

bool QuizWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        return handleKeyPress(*static_cast<QKeyEvent*>(event));
    case QEvent::ShortcutOverride:
        // While a question is open every combination is an answer, not a shortcut.
        if (model_ && model_->phase().kind != QuizPhase::done) {
            event->accept();
            return true;
        }
        return false;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void QuizWindow::keyPressEvent(QKeyEvent* event)
{
    // Return presses the focused button of the final view.
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && button->isVisible() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QuizWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (closed_)
        return;
    closed_ = true;
    // Ending the model cancels its feedback pause.
    if (model_ && modelObserver_)
        model_->removeObserver(*modelObserver_);
    modelObserver_.reset();
    model_.reset();
    emit closed();
}

void QuizWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && model_)
        refreshColors();
}

QuizWindowController::Alert QuizWindowController::standardAlert()
{
    return [](const QString& text, const QString& informativeText) {
        QMessageBox box;
        box.setIcon(QMessageBox::Information);
        box.setText(text);
        box.setInformativeText(informativeText);
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        box.exec();
    };
}

QuizWindowController::QuizWindowController(Services services, Alert alert, QObject* parent)
    : QObject(parent), services_(services), alert_(std::move(alert))
{}

QuizWindowController::~QuizWindowController()
{
    if (window_) {
        window_->close();
        delete window_.data();
    }
}

QuizWindow* QuizWindowController::start(const std::vector<MenuSection>& sections, std::string appName,
                                        std::optional<std::string> appIcon, std::optional<std::string> bundleID)
{
    auto model = std::make_unique<QuizModel>(sections, appName, std::move(appIcon), std::move(bundleID),
                                             services_.favourites, services_.mainQueue);
    if (!model->currentQuestion()) {
        alert_(QStringLiteral("Nothing to quiz"),
               qstring(appName) + QStringLiteral(" has no keyboard shortcuts to quiz."));
        return nullptr;
    }
    if (window_)
        window_->close();

    auto* window = new QuizWindow(std::move(model), services_.theme,
                                  services_.keyLabels ? services_.keyLabels() : notation::defaultKeyLabels);
    window_ = window;
    connect(window, &QuizWindow::closed, this, [this, window] {
        services_.dockIcon.hide();
        if (window_ == window)
            window_ = nullptr;
    });
    services_.dockIcon.show();

    centreOnPointerScreen(*window);
    window->show();
    window->raise();
    window->activateWindow();
    window->setFocus();
    return window;
}

} // namespace hb::views
