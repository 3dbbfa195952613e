#include "quiz/quiz_model.h"

#include "fake/memory_settings_domain.h"
#include "fake/virtual_runtime.h"
#include "support/model_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace hb {
namespace {

using platform::Seconds;
using test::row;
using Titles = std::vector<std::string>;

MenuSection section(std::string title, std::vector<Shortcut> rows, std::optional<std::string> submenu = {})
{
    return test::section(std::move(title), {test::group(std::move(submenu), std::move(rows))});
}

Titles titles(const std::vector<QuizQuestion>& questions)
{
    Titles result;
    for (const auto& q : questions)
        result.push_back(q.title);
    return result;
}

class QuizModelTest : public ::testing::Test {
protected:
    // The default source draws the largest index, which leaves the menu order as it is.
    std::unique_ptr<QuizModel> makeQuiz(
        const std::vector<MenuSection>& sections, std::optional<std::string> bundleID = "org.example.Editor",
        QuizModel::RandomIndex random = [](std::size_t bound) { return bound - 1; })
    {
        return std::make_unique<QuizModel>(sections, "Editor", std::nullopt, std::move(bundleID), favourites, runtime,
                                           std::move(random));
    }
    const std::vector<MenuSection> threeCommands = {section("File", {row("New", "⌘N"), row("Open", "⌘O")}),
                                                    section("Edit", {row("Copy", "⌘C")})};

    fake::MemorySettingsDomain settings;
    FavouritesStore favourites{settings};
    fake::VirtualRuntime runtime;
};

TEST_F(QuizModelTest, QuestionsAreTheCommandsWithShortcutsShuffledAnewEachRun)
{
    Shortcut disabled = row("Hide Others", "⌥⌘H");
    disabled.isDisabled = true;
    Shortcut keyedSeparator = Shortcut::separator();
    keyedSeparator.keys = "⌘-";
    auto quiz = makeQuiz({section("File", {row("Close", "⌘W"), Shortcut::separator(), row("Export…", ""), disabled}),
                          section("Help", {row("Search", ""), keyedSeparator}),
                          section("Window", {row("Close", "⌘W")}, "Tabs")});
    EXPECT_EQ(quiz->allQuestions(),
              (std::vector<QuizQuestion>{
                  {"Close", "⌘W", "File"}, {"Hide Others", "⌥⌘H", "File"}, {"Close", "⌘W", "Window"}}));

    auto empty = makeQuiz({section("View", {row("Zoom", ""), Shortcut::separator()})});
    EXPECT_EQ(empty->currentQuestion(), nullptr);
    EXPECT_EQ(empty->percentCorrect(), 0);
    EXPECT_FALSE(empty->keyPressed("⌘N"));

    // The random source decides the order; a restart shuffles the menu order again, not the last run's.
    auto shuffled = makeQuiz(threeCommands, "org.example.Editor", [](std::size_t) { return std::size_t{0}; });
    const auto first = titles(shuffled->activeQuestions());
    EXPECT_NE(first, (Titles{"New", "Open", "Copy"}));
    EXPECT_TRUE(std::is_permutation(first.begin(), first.end(), Titles{"New", "Open", "Copy"}.begin()));
    shuffled->restart();
    EXPECT_EQ(titles(shuffled->activeQuestions()), first);
}

TEST_F(QuizModelTest, AnswersPauseThenAdvanceUntilDone)
{
    auto quiz = makeQuiz(threeCommands);
    int changes = 0;
    quiz->addObserver([&] { ++changes; });
    EXPECT_FALSE(quiz->keyPressed(std::nullopt)); // a lone modifier is no answer
    EXPECT_EQ(changes, 0);

    EXPECT_TRUE(quiz->keyPressed("⌘N"));
    EXPECT_EQ(quiz->phase().kind, QuizPhase::correct);
    quiz->submit("⌘N"); // no second answer during the feedback
    EXPECT_EQ(quiz->score(), 1);
    runtime.advance(Seconds(0.79));
    EXPECT_EQ(quiz->currentIndex(), 0u);
    runtime.advance(Seconds(0.02));
    EXPECT_EQ(quiz->currentIndex(), 1u);
    EXPECT_EQ(quiz->phase().kind, QuizPhase::asking);

    // Wrong answers keep what was pressed; the match is exact text.
    EXPECT_TRUE(quiz->keyPressed("⇧⌘O"));
    EXPECT_EQ(quiz->phase(), (QuizPhase{QuizPhase::wrong, "⇧⌘O"}));
    runtime.advance(Seconds(1.49));
    EXPECT_EQ(quiz->currentIndex(), 1u);
    // A key during the pause skips the rest of it, and the pause does not advance again.
    EXPECT_TRUE(quiz->keyPressed("⌘O"));
    EXPECT_EQ(quiz->currentIndex(), 2u);
    EXPECT_EQ(quiz->phase().kind, QuizPhase::asking);
    EXPECT_EQ(quiz->score(), 1);
    runtime.advance(Seconds(5));
    EXPECT_EQ(quiz->currentIndex(), 2u);

    EXPECT_TRUE(quiz->keyPressed("⌘C"));
    runtime.advance(Seconds(0.8));
    EXPECT_EQ(quiz->phase().kind, QuizPhase::done);
    EXPECT_EQ(quiz->currentQuestion(), nullptr);
    EXPECT_FALSE(quiz->keyPressed("⌘C"));
    EXPECT_EQ(quiz->percentCorrect(), 66);
    quiz->restart();
    EXPECT_EQ(quiz->phase().kind, QuizPhase::asking);
    EXPECT_EQ(quiz->score(), 0);
}

TEST_F(QuizModelTest, FavouritesOnlyRestrictsAndRestartsTheRunWhenThereIsABundleIdentifier)
{
    favourites.toggle(row("Copy", "⌘C"), "org.example.Editor");
    favourites.toggle(row("Copy", "⌘C"), "Editor");
    auto quiz = makeQuiz(threeCommands);
    EXPECT_TRUE(quiz->hasFavourites());
    EXPECT_TRUE(quiz->keyPressed("⌘N"));
    quiz->setFavouritesOnly(true);
    EXPECT_EQ(titles(quiz->activeQuestions()), Titles{"Copy"});
    EXPECT_EQ(quiz->score(), 0);
    // The pause of the answer given before the restart does not skip the new first question.
    runtime.advance(Seconds(2));
    EXPECT_EQ(quiz->currentIndex(), 0u);
    quiz->setFavouritesOnly(false);
    EXPECT_EQ(quiz->activeQuestions().size(), 3u);

    // Without a bundle identifier, favourites (even under the name) do not count and nothing restarts.
    auto unnamed = makeQuiz(threeCommands, std::nullopt);
    EXPECT_FALSE(unnamed->hasFavourites());
    EXPECT_TRUE(unnamed->keyPressed("⌘N"));
    runtime.advance(Seconds(1));
    unnamed->setFavouritesOnly(true);
    EXPECT_EQ(unnamed->activeQuestions().size(), 3u);
    EXPECT_EQ(unnamed->currentIndex(), 1u);
    EXPECT_EQ(unnamed->score(), 1);
}

} // namespace
} // namespace hb
