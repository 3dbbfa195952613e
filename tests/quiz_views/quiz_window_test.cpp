#include "quiz/views/quiz_window.h"

#include "platform/fake/fake_app_presence.h"
#include "platform/fake/memory_settings_domain.h"
#include "platform/fake/virtual_runtime.h"

#include <gtest/gtest.h>

#include "support/model_builders.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyleFactory>
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

    void answer(bool right)
    {
        const std::string& keys = model().currentQuestion()->keys;
        const auto letter = right ? Qt::Key(Qt::Key_A + (keys.back() - 'A')) : Qt::Key_Z;
        QTest::keyClick(quizzes.window(), letter, Qt::MetaModifier);
    }

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

TEST_F(QuizWindowTest, OpensOneNormalFocusedWindowWhileCountingTheTaskbarEntry)
{
    QuizWindow* first = start(2);
    ASSERT_TRUE(first);
    EXPECT_EQ(QStringLiteral("Quiz Mode — TextEdit"), first->windowTitle());
    EXPECT_EQ(QSize(480, 360), first->size());
    EXPECT_EQ(Qt::Window, first->windowType());
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(1, dockIcon.openCount());
    EXPECT_EQ(QStringLiteral("1 / 2"), child("progress")->text());
    EXPECT_EQ(QStringLiteral("in File"), child("menu")->text());
    EXPECT_FALSE(child<QToolButton>("favourites")->isVisibleTo(first));

    // A second quiz replaces the first; the count stays at one window.
    QPointer<QuizWindow> previous = first;
    QuizWindow* second = start(3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(previous.isNull());
    EXPECT_EQ(second, quizzes.window());
    EXPECT_EQ(1, dockIcon.openCount());
    EXPECT_TRUE(presence.isRegular());

    second->close();
    EXPECT_EQ(nullptr, quizzes.window());
    EXPECT_EQ(0, dockIcon.openCount());
    EXPECT_FALSE(presence.isRegular());
}

TEST_F(QuizWindowTest, NothingToQuizAlertsInsteadOfOpening)
{
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
            answer(false);  // wrong: the feedback pause
        if (phase == 2)
            runtime.advance(Seconds(1.5));  // done
        ASSERT_EQ(phase == 2, model().phase().kind == QuizPhase::done);
        QTest::keyClick(quizzes.window(), Qt::Key_Escape);
        EXPECT_EQ(nullptr, quizzes.window());
        EXPECT_EQ(0, dockIcon.openCount());
        // The closed quiz's pause is gone with it.
        runtime.advance(Seconds(2));
    }
}

TEST_F(QuizWindowTest, LoneModifiersAreNoAnswer)
{
    start(2);
    for (auto key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Meta})
        QTest::keyClick(quizzes.window(), key);
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);
    EXPECT_EQ(QStringLiteral("Press the shortcut…"), static_cast<QLabel*>(feedback())->text());
}

TEST_F(QuizWindowTest, RightAnswerShowsTheCheckmarkThenTheNextQuestionAfterThePause)
{
    start(2);
    const std::string keys = model().currentQuestion()->keys;
    answer(true);
    EXPECT_EQ(QuizPhase::correct, model().phase().kind);
    EXPECT_TRUE(feedback()->findChild<QLabel*>(QStringLiteral("checkmark.circle.fill")));
    EXPECT_TRUE(feedback()->findChild<QLabel*>(QStringLiteral("checkmark.circle.fill"))->isVisibleTo(feedback()));

    runtime.advance(Seconds(0.7));
    EXPECT_EQ(QuizPhase::correct, model().phase().kind);
    runtime.advance(Seconds(0.1));
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);
    EXPECT_EQ(QStringLiteral("2 / 2"), child("progress")->text());
}

TEST_F(QuizWindowTest, WrongAnswerShowsBothNotationsAndAKeySkipsThePause)
{
    start(2);
    const QString expected = QString::fromStdString(model().currentQuestion()->keys);
    answer(false);
    EXPECT_EQ(QStringLiteral("xmark.circle.fill"), feedback()->findChild<QLabel*>(QStringLiteral("xmark.circle.fill"))->objectName());
    EXPECT_EQ(QStringLiteral("⌘Z"), child("pressedKeys")->text());
    EXPECT_EQ(expected, child("expectedKeys")->text());

    QTest::keyClick(quizzes.window(), Qt::Key_Space);
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);
    EXPECT_EQ(1u, model().currentIndex());
    // The skipped pause does not advance again later.
    runtime.advance(Seconds(2));
    EXPECT_EQ(1u, model().currentIndex());
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
        // Keys after the end change nothing.
        QTest::keyClick(window, Qt::Key_A, Qt::MetaModifier);
        EXPECT_EQ(c.right, model().score());
    }
}

TEST_F(QuizWindowTest, QuizAgainRestartsAndDoneCloses)
{
    start(1, "com.apple.TextEdit");
    answer(true);
    runtime.advance(Seconds(0.8));
    auto buttons = quizzes.window()->findChildren<QPushButton*>();
    auto button = [&](const char* text) {
        return *std::ranges::find_if(buttons, [&](auto* b) { return b->text() == QLatin1String(text); });
    };
    QTest::mouseClick(button("Quiz Again"), Qt::LeftButton);
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);
    EXPECT_EQ(0, model().score());
    answer(true);
    runtime.advance(Seconds(0.8));
    QTest::mouseClick(button("Done"), Qt::LeftButton);
    EXPECT_EQ(nullptr, quizzes.window());
}

TEST_F(QuizWindowTest, FavouritesStarRestrictsTheRun)
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
}

} // namespace
} // namespace hb::views
