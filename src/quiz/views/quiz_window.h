#pragma once

#include "base/observer_list.h"
#include "model/key_label.h"
#include "model/shortcut.h"
#include "platform/runtime.h"
#include "quiz/quiz_model.h"
#include "settings/app_icon.h"
#include "settings/favourites_store.h"
#include "settings/theme_settings.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace hb::views {

class KeyLabel;
class SymbolLabel;

// The window of one quiz: shows the model's question, turns key presses into
// answers and shows the score at the end. It owns its model; closing it ends
// the quiz (a pending feedback pause with it) and deletes the window.
class QuizWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize contentSize{480, 360};
    static constexpr int finalSymbolSize = 48;

    // `theme` (optional) gives the key colour, else the palette's accent.
    QuizWindow(std::unique_ptr<QuizModel> model, ThemeSettings* theme, notation::KeyLabels keyLabels,
               QWidget* parent = nullptr);
    ~QuizWindow() override;

    // Null once the window is closed.
    QuizModel* model() const { return model_.get(); }

    // A key press offered before the focused widget sees it: Escape closes,
    // while asking the combination answers, during the feedback pause any
    // key moves on. Whether it was consumed; unconsumed keys go the normal way.
    bool handleKeyPress(const QKeyEvent& event);

    // The symbol the final view shows: "star.fill", "hand.thumbsup.fill" or "brain.fill".
    QString finalSymbol() const { return finalSymbol_; }

signals:
    // Emitted once, when the window closes.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildQuestionView();
    QWidget* buildDoneView();
    void refresh();
    void refreshColors();
    void announce(const QString& text);
    QColor keyColor() const;
    QColor secondaryColor() const;

    std::unique_ptr<QuizModel> model_;
    ThemeSettings* theme_;
    notation::KeyLabels keyLabels_;
    std::optional<platform::ObserverList<>::Id> modelObserver_;
    std::optional<platform::ObserverList<>::Id> themeObserver_;
    bool closed_ = false;

    // Header.
    SymbolLabel* appIcon_ = nullptr;
    QLabel* appName_ = nullptr;
    QLabel* progress_ = nullptr;
    QToolButton* favouritesButton_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    // Question view.
    QWidget* questionPage_ = nullptr;
    QLabel* questionTitle_ = nullptr;
    QLabel* menuTitle_ = nullptr;
    QStackedWidget* feedback_ = nullptr;
    QWidget* askingFeedback_ = nullptr;
    QWidget* correctFeedback_ = nullptr;
    QWidget* wrongFeedback_ = nullptr;
    SymbolLabel* correctMark_ = nullptr;
    SymbolLabel* wrongMark_ = nullptr;
    QLabel* pressPrompt_ = nullptr;
    KeyLabel* correctKeys_ = nullptr;
    KeyLabel* pressedKeys_ = nullptr;
    KeyLabel* expectedKeys_ = nullptr;
    QList<QLabel*> secondaryLabels_;
    // Final view.
    QWidget* donePage_ = nullptr;
    SymbolLabel* finalMark_ = nullptr;
    QLabel* scoreText_ = nullptr;
    QLabel* wrongText_ = nullptr;
    QPushButton* againButton_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    QString finalSymbol_;
};

// Starts quizzes and holds the one open quiz window. While the window is
// open the program keeps a taskbar (Dock) entry through `DockIconManager`.
// The services must outlive the controller. Main thread only.
//
//   views::QuizWindowController quizzes({favourites, runtime, dockIcon, &theme});
//   quizzes.start(sections, app.name, app.iconName, app.bundleIdentifier);
class QuizWindowController final : public QObject {
    Q_OBJECT

public:
    struct Services {
        FavouritesStore& favourites;
        platform::MainQueue& mainQueue; // runs the feedback pause
        DockIconManager& dockIcon;
        ThemeSettings* theme = nullptr; // none: the palette's accent colour for keys
        // How keys are written, asked when a quiz starts; none: the default.
        std::function<notation::KeyLabels()> keyLabels;
    };
    // Tells the user that there is nothing to ask: the message and its
    // informative text. The standard one is a modal message box with "OK";
    // tests pass their own so that nothing blocks.
    using Alert = std::function<void(const QString& text, const QString& informativeText)>;
    static Alert standardAlert();

    explicit QuizWindowController(Services services, Alert alert = standardAlert(), QObject* parent = nullptr);
    // Closes an open quiz window.
    ~QuizWindowController() override;

    // Starts a quiz over the application's menu sections. Without a single
    // command with a shortcut it shows the alert "Nothing to quiz" and opens
    // nothing. Otherwise it closes the previous quiz window, raises the
    // taskbar count and shows a new window, focused; closing that window
    // lowers the count again. The new window, or null.
    QuizWindow* start(const std::vector<MenuSection>& sections, std::string appName, std::optional<std::string> appIcon,
                      std::optional<std::string> bundleID);

    // The open quiz window, if any.
    QuizWindow* window() const { return window_; }

private:
    Services services_;
    Alert alert_;
    QPointer<QuizWindow> window_;
};

} // namespace hb::views
