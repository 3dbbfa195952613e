#include "quiz/views/quiz_window.h"

#include "fake/fake_app_presence.h"
#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "support/accessible_walk.h"
#include "support/model_builders.h"
#include "support/qt_environment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

// The quiz's questions, pauses and scores are the quiz model's tests; here the window follows them.
namespace hb::views {
namespace {

using platform::Seconds;

const auto* environment = testing::AddGlobalTestEnvironment(new test::QtEnvironment);

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
    QuizWindow* start(int n) { return quizzes.start({fileMenu(n)}, "TextEdit", "accessories-text-editor", {}); }

    QuizModel& model() { return *quizzes.window()->model(); }

    // Super and the letter of the notation "⌘X".
    void answer(bool right)
    {
        QTest::keyClick(quizzes.window(), Qt::Key(right ? model().currentQuestion()->keys.back() : 'Z'),
                        Qt::MetaModifier);
    }

    fake::VirtualRuntime runtime;
    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    fake::FakeAppPresence presence;
    DockIconManager dockIcon{presence, settings};
    int alerts = 0;
    QuizWindowController quizzes{{favourites, runtime, dockIcon}, [this](const QString&, const QString&) { ++alerts; }};
};

TEST_F(QuizWindowTest, OneWindowAtATimeHoldsTheTaskbarEntryAndEscapeClosesItInEveryPhase)
{
    QPointer<QuizWindow> first = start(2);
    ASSERT_TRUE(first);
    EXPECT_TRUE(QTest::qWaitForWindowActive(first));
    start(3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(1, dockIcon.openCount());
    quizzes.window()->close();
    EXPECT_FALSE(presence.isRegular());

    EXPECT_EQ(nullptr, start(0)) << "nothing to quiz: an alert instead";
    EXPECT_EQ(1, alerts);
    EXPECT_EQ(0, dockIcon.openCount());

    for (int phase = 0; phase < 3; ++phase) { // asking, answered, done
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
        runtime.advance(Seconds(2)); // the closed quiz's pause is gone with it
    }
}

TEST_F(QuizWindowTest, FinalViewChoosesItsSymbolByTheScore)
{
    // 80 % and 50 % are the boundaries.
    for (const auto& [total, right, symbol] :
         {std::tuple{5, 4, "star.fill"}, std::tuple{4, 2, "hand.thumbsup.fill"}, std::tuple{3, 1, "brain.fill"}}) {
        SCOPED_TRACE(symbol);
        QuizWindow* window = start(total);
        for (int i = 0; i < total; ++i) {
            answer(i < right);
            runtime.advance(Seconds(1.5));
        }
        EXPECT_EQ(QString::fromLatin1(symbol), window->finalSymbol());
    }
}

// Every shown text fits its label, and every label lies inside the window.
void expectNothingClipped(QWidget* window)
{
    QCoreApplication::processEvents();
    for (auto* text : window->findChildren<QLabel*>()) {
        if (!text->isVisibleTo(window) || text->text().isEmpty()
            || text->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored) // elides what does not fit
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

// The asking, right, wrong and final views with the longest texts.
TEST_F(QuizWindowTest, ViewsWithTheLongestTextsFit)
{
    const Shortcut longest = test::row("Open Recent Document From The List Of All Recent Documents", "⌃⌥⇧⌘F12");
    favourites.toggle(longest, "com.apple.TextEdit");
    const auto open = [&] {
        quizzes.start({test::section("Format", {test::group(std::nullopt, {longest})})},
                      "A Text Editor With A Rather Long Name", "accessories-text-editor", "com.apple.TextEdit");
        model().setFavouritesOnly(true);
    };
    open();
    ASSERT_TRUE(quizzes.window()->findChild<QToolButton*>("favourites")->isVisibleTo(quizzes.window()));
    expectNothingClipped(quizzes.window());
    EXPECT_THAT(test::unnamedControls(*quizzes.window()), testing::IsEmpty());
    const auto allModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier;
    QTest::keyClick(quizzes.window(), Qt::Key_F11, allModifiers); // wrong
    expectNothingClipped(quizzes.window());
    runtime.advance(Seconds(2));
    expectNothingClipped(quizzes.window());
    // Quiz Again, then Done by Return.
    const auto buttons = quizzes.window()->findChildren<QPushButton*>();
    ASSERT_EQ(2, buttons.size());
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(QuizPhase::asking, model().phase().kind);
    QTest::keyClick(quizzes.window(), Qt::Key_F12, allModifiers);
    runtime.advance(Seconds(1));
    ASSERT_EQ(buttons[1], quizzes.window()->focusWidget());
    QTest::keyClick(buttons[1], Qt::Key_Return);
    EXPECT_EQ(nullptr, quizzes.window());
}

} // namespace
} // namespace hb::views
