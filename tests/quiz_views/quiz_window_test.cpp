#include "quiz/views/quiz_window.h"

#include "model/key_label.h"

#include "platform/fake/fake_app_presence.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"
#include "support/model_builders.h"
#include "support/accessible_walk.h"
#include "support/snapshots.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <QToolButton>

namespace hb::views {
namespace {

using platform::Seconds;

// Commands answered with Super (Command) and a letter.
MenuSection fileMenu(int count)
{
    std::vector<Shortcut> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(test::row("Command " + std::to_string(i), "⌘" + std::string(1, char('A' + i))));
    rows.push_back(test::row("No Shortcut"));
    return test::section("File", {test::group(std::nullopt, std::move(rows))});
}

class QuizWindowTest : public testing::Test {
protected:
    QuizWindow* start(int questions, std::optional<std::string> bundleID = std::nullopt)
    {
        return quizzes.start({fileMenu(questions)}, "TextEdit", "accessories-text-editor", std::move(bundleID));
    }

    QuizModel& model() { return *quizzes.window()->model(); }

    // Presses the combination of a notation with a letter or function key.
    void press(std::string_view keys)
    {
        Qt::KeyboardModifiers modifiers;
        for (const auto& [glyph, modifier] : {std::pair{"⌃", Qt::ControlModifier}, std::pair{"⌥", Qt::AltModifier},
                                              std::pair{"⇧", Qt::ShiftModifier}, std::pair{"⌘", Qt::MetaModifier}}) {
            if (keys.starts_with(glyph)) {
                modifiers |= modifier;
                keys.remove_prefix(std::string_view(glyph).size());
            }
        }
        const auto key = keys.size() == 1 ? Qt::Key(keys[0]) : Qt::Key(Qt::Key_F1 + std::stoi(std::string(keys.substr(1))) - 1);
        QTest::keyClick(quizzes.window(), key, modifiers);
    }

    void answer(bool right) { press(right ? model().currentQuestion()->keys : "⌘Z"); }

    template <typename T = QLabel>
    T* child(const char* name) { return quizzes.window()->findChild<T*>(QString::fromLatin1(name)); }
    QWidget* feedback() { return child<QStackedWidget>("feedback")->currentWidget(); }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    fake::FakeAppPresence presence;
    DockIconManager dockIcon{presence, settings};
    std::vector<std::pair<QString, QString>> alerts;
    QuizWindowController quizzes{{favourites, runtime, dockIcon},
                                 [this](const QString& text, const QString& info) { alerts.emplace_back(text, info); }};
};

TEST_F(QuizWindowTest, OneWindowAtATimeHoldsTheTaskbarEntry)
{
    QPointer<QuizWindow> first = start(2);
    ASSERT_TRUE(first);
    EXPECT_EQ(QStringLiteral("Quiz Mode — TextEdit"), first->windowTitle());
    EXPECT_EQ(Qt::Window, first->windowType());
    EXPECT_TRUE(QTest::qWaitForWindowActive(first));
    EXPECT_EQ(first, QApplication::focusWidget());
    EXPECT_EQ(QStringLiteral("1 / 2"), child("progress")->text());
    EXPECT_EQ(QStringLiteral("in File"), child("menu")->text());

    QuizWindow* second = start(3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(second, quizzes.window());
    EXPECT_EQ(1, dockIcon.openCount());
    EXPECT_TRUE(presence.isRegular());
    second->close();
    EXPECT_EQ(nullptr, quizzes.window());
    EXPECT_FALSE(presence.isRegular());

    EXPECT_EQ(nullptr, start(0));
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ(QStringLiteral("Nothing to quiz"), alerts[0].first);
    EXPECT_EQ(QStringLiteral("TextEdit has no keyboard shortcuts to quiz."), alerts[0].second);
    EXPECT_EQ(0, dockIcon.openCount());
}

TEST_F(QuizWindowTest, EscapeClosesInEveryPhase)
{
    for (int phase = 0; phase < 3; ++phase) {
        SCOPED_TRACE(phase);
        start(1);
        if (phase >= 1)
            answer(false);
        if (phase == 2)
            runtime.advance(Seconds(1.5));
        ASSERT_EQ(phase == 2, model().phase().kind == QuizPhase::done);
        QTest::keyClick(quizzes.window(), Qt::Key_Escape);
        EXPECT_EQ(nullptr, quizzes.window());
        EXPECT_EQ(0, dockIcon.openCount());
        runtime.advance(Seconds(2));  // the closed quiz's pause is gone with it
    }
}

TEST_F(QuizWindowTest, AnswersThenMovesOnAfterThePauseOrAtTheNextKey)
{
    start(3);
    for (auto key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Meta})
        QTest::keyClick(quizzes.window(), key);
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);

    // The pauses' lengths are the model's test; the window follows its phases.
    answer(true);
    EXPECT_EQ(QStringLiteral("checkmark.circle.fill"), feedback()->findChild<QLabel*>()->objectName());
    runtime.advance(Seconds(0.8));
    EXPECT_EQ(QStringLiteral("2 / 3"), child("progress")->text());

    const QString expected =
        QString::fromStdString(notation::keyLabel(model().currentQuestion()->keys, notation::KeyLabels::words));
    answer(false);
    EXPECT_TRUE(feedback()->findChild<QLabel*>(QStringLiteral("xmark.circle.fill")));
    EXPECT_EQ(QStringLiteral("Super+Z"), child("pressedKeys")->text());
    EXPECT_EQ(expected, child("expectedKeys")->text());
    QTest::keyClick(quizzes.window(), Qt::Key_Shift);  // a modifier does not end the pause
    QTest::keyClick(quizzes.window(), Qt::Key_Space);
    EXPECT_EQ(QStringLiteral("3 / 3"), child("progress")->text());
}

TEST_F(QuizWindowTest, FinalViewChoosesItsSymbolByTheScore)
{
    struct Case {
        int total, right;
        const char* symbol;
    };
    for (const Case& c : {Case{5, 4, "star.fill"}, Case{4, 2, "hand.thumbsup.fill"}, Case{3, 1, "brain.fill"}}) {
        SCOPED_TRACE(c.symbol);
        QuizWindow* window = start(c.total);
        for (int i = 0; i < c.total; ++i) {
            answer(i < c.right);
            runtime.advance(Seconds(1.5));
        }
        EXPECT_EQ(QString::fromLatin1(c.symbol), window->finalSymbol());
        EXPECT_EQ(QStringLiteral("Complete"), child("progress")->text());
        EXPECT_EQ(QStringLiteral("%1 / %2 correct").arg(c.right).arg(c.total), child("score")->text());
        EXPECT_EQ(QStringLiteral("%1 wrong").arg(c.total - c.right), child("wrongCount")->text());
        press("⌘A");  // keys after the end change nothing
        EXPECT_EQ(c.right, model().score());
    }
}

TEST_F(QuizWindowTest, FavouritesStarQuizAgainAndDone)
{
    favourites.toggle(test::row("Command 1", "⌘B"), "com.apple.TextEdit");
    start(3, "com.apple.TextEdit");
    auto* star = child<QToolButton>("favourites");
    ASSERT_TRUE(star->isVisibleTo(quizzes.window()));
    EXPECT_EQ(QStringLiteral("Quiz favourites only"), star->toolTip());
    star->click();
    EXPECT_EQ(QStringLiteral("Showing favourites only"), star->toolTip());
    EXPECT_EQ(QStringLiteral("1 / 1"), child("progress")->text());
    EXPECT_EQ(QStringLiteral("Command 1"), child("question")->text());

    answer(true);
    runtime.advance(Seconds(0.8));
    const auto buttons = quizzes.window()->findChildren<QPushButton*>();
    ASSERT_EQ(2, buttons.size());
    QTest::mouseClick(buttons[0], Qt::LeftButton);  // Quiz Again
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);
    EXPECT_EQ(0, model().score());
    answer(true);
    runtime.advance(Seconds(0.8));
    ASSERT_EQ(buttons[1], quizzes.window()->focusWidget());
    QTest::keyClick(buttons[1], Qt::Key_Return);  // Done
    EXPECT_EQ(nullptr, quizzes.window());
}

// Every shown text fits its label, and every label lies inside the window.
void expectNothingClipped(QWidget* window)
{
    for (auto* text : window->findChildren<QLabel*>()) {
        if (!text->isVisibleTo(window) || text->text().isEmpty() ||
            text->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)  // elides what does not fit
            continue;
        SCOPED_TRACE(text->text().toStdString());
        EXPECT_TRUE(window->rect().contains(QRect(text->mapTo(window, QPoint()), text->size())));
        const QFontMetrics metrics(text->font());
        if (text->wordWrap()) {
            EXPECT_LE(text->heightForWidth(text->width()), text->height());
        } else {
            EXPECT_LE(metrics.horizontalAdvance(text->text()), text->contentsRect().width());
            EXPECT_LE(metrics.height(), text->contentsRect().height());
        }
    }
}

// The asking, right, wrong and final views with the longest texts, in a light
// and a dark palette; with HINTBOARD_SNAPSHOT_DIR set they are kept there as PNG.
TEST_F(QuizWindowTest, ViewsFitInLightAndDarkPalettes)
{
    const Shortcut longest = test::row("Open Recent Document From The List Of All Recent Documents", "⌃⌥⇧⌘F12");
    favourites.toggle(longest, "com.apple.TextEdit");
    for (const auto& [name, palette] :
         {std::pair{"light", QApplication::style()->standardPalette()}, std::pair{"dark", test::darkPalette()}}) {
        SCOPED_TRACE(name);
        const auto open = [&] {
            quizzes.start({test::section("Format", {test::group(std::nullopt, {longest})})},
                          "A Text Editor With A Rather Long Name", "accessories-text-editor", "com.apple.TextEdit")
                ->setPalette(palette);
            model().setFavouritesOnly(true);
        };
        const auto shoot = [&](const char* view) {
            SCOPED_TRACE(view);
            QCoreApplication::processEvents();
            expectNothingClipped(quizzes.window());
            test::keepSnapshot(quizzes.window()->grab().toImage(), QStringLiteral("quiz-%1-%2").arg(view, name));
        };
        open();
        shoot("asking");
        press("⌃⌥⇧⌘F12");
        shoot("right");
        runtime.advance(Seconds(1));
        EXPECT_EQ(QStringLiteral("star.fill"), quizzes.window()->finalSymbol());
        shoot("final");
        open();
        press("⌃⌥⇧⌘F11");
        shoot("wrong");
    }
}

// A screen reader hears the question, the feedback and the score as the
// description of the focused window changes; every control has a name.
TEST_F(QuizWindowTest, QuestionFeedbackAndScoreAreAnnouncedAndControlsNamed)
{
    favourites.toggle(test::row("Command 1", "⌘B"), "com.apple.TextEdit");
    QuizWindow* window = start(2, "com.apple.TextEdit");
    const auto said = [&] { return window->accessibleDescription(); };
    EXPECT_EQ(said(), QStringLiteral("%1, in File. Press the shortcut…").arg(child("question")->text()));
    answer(true);
    // Keys are said as they are labelled.
    const auto label = [](std::string_view keys) {
        return QString::fromStdString(notation::keyLabel(keys, notation::defaultKeyLabels));
    };
    EXPECT_EQ(said(), QStringLiteral("Right: ") + label(model().currentQuestion()->keys));
    runtime.advance(Seconds(1));
    const QString expected = label(model().currentQuestion()->keys);
    press("⌘Z");
    EXPECT_EQ(said(), QStringLiteral("Wrong. You pressed ") + label("⌘Z") + QStringLiteral(". Correct: ") + expected);
    runtime.advance(Seconds(2));
    EXPECT_EQ(said(), QStringLiteral("1 / 2 correct, 1 wrong"));
    EXPECT_THAT(test::unnamedControls(*window), testing::IsEmpty());
}

} // namespace
} // namespace hb::views
