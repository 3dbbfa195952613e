#include "quiz/quiz_model.h"

#include <algorithm>
#include <memory>
#include <random>

namespace hb {

QuizModel::RandomIndex QuizModel::systemRandomIndex()
{
    auto generator = std::make_shared<std::mt19937_64>(std::random_device{}());
    return
        [generator](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(*generator); };
}

QuizModel::QuizModel(const std::vector<MenuSection>& sections, std::string appName, std::optional<std::string> appIcon,
                     std::optional<std::string> bundleID, FavouritesStore& favourites, platform::MainQueue& mainQueue,
                     RandomIndex randomIndex)
    : bundleID_(std::move(bundleID)), appName_(std::move(appName)), appIcon_(std::move(appIcon)),
      favourites_(favourites), mainQueue_(mainQueue), randomIndex_(std::move(randomIndex))
{
    for (const auto& section : sections)
        for (const auto& group : section.groups)
            for (const auto& shortcut : group.shortcuts)
                if (!shortcut.keys.empty() && !shortcut.isSeparator)
                    allQuestions_.push_back({shortcut.title, shortcut.keys, section.title});
    activeQuestions_ = shuffled(allQuestions_);
    hasFavourites_ = bundleID_ && std::ranges::any_of(allQuestions_, [&](const auto& q) { return isFavourite(q); });
}

QuizModel::~QuizModel()
{
    cancelPause();
}

void QuizModel::setFavouritesOnly(bool favouritesOnly)
{
    if (favouritesOnly == favouritesOnly_)
        return;
    favouritesOnly_ = favouritesOnly;
    if (bundleID_)
        restart();
    else
        observers_.notify();
}

const QuizQuestion* QuizModel::currentQuestion() const
{
    return currentIndex_ < activeQuestions_.size() ? &activeQuestions_[currentIndex_] : nullptr;
}

int QuizModel::percentCorrect() const
{
    if (activeQuestions_.empty())
        return 0;
    return static_cast<int>(static_cast<std::size_t>(score_) * 100 / activeQuestions_.size());
}

void QuizModel::submit(const std::string& pressedKeys)
{
    const auto* question = currentQuestion();
    if (phase_.kind != QuizPhase::asking || !question)
        return;
    if (pressedKeys == question->keys) {
        ++score_;
        phase_ = {QuizPhase::correct, {}};
    } else {
        phase_ = {QuizPhase::wrong, pressedKeys};
    }
    observers_.notify();
}

void QuizModel::advance()
{
    if (phase_.kind == QuizPhase::done)
        return;
    ++currentIndex_;
    phase_ = {currentIndex_ >= activeQuestions_.size() ? QuizPhase::done : QuizPhase::asking, {}};
    observers_.notify();
}

void QuizModel::restart()
{
    // A pause of the previous run must not advance the new one.
    cancelPause();
    std::vector<QuizQuestion> candidates;
    if (favouritesOnly_ && bundleID_)
        std::ranges::copy_if(allQuestions_, std::back_inserter(candidates),
                             [&](const auto& q) { return isFavourite(q); });
    else
        candidates = allQuestions_;
    activeQuestions_ = shuffled(std::move(candidates));
    currentIndex_ = 0;
    score_ = 0;
    phase_ = {activeQuestions_.empty() ? QuizPhase::done : QuizPhase::asking, {}};
    observers_.notify();
}

bool QuizModel::keyPressed(const std::optional<std::string>& keys)
{
    switch (phase_.kind) {
    case QuizPhase::done:
        return false;
    case QuizPhase::asking:
        if (!keys || !currentQuestion())
            return false;
        submit(*keys);
        cancelPause();
        pendingAdvance_ =
            mainQueue_.postAfter(phase_.kind == QuizPhase::correct ? correctAnswerPause : wrongAnswerPause, [this] {
                pendingAdvance_.reset();
                advance();
            });
        return true;
    case QuizPhase::correct:
    case QuizPhase::wrong:
        cancelPause();
        advance();
        return true;
    }
    return false;
}

bool QuizModel::isFavourite(const QuizQuestion& question)
{
    Shortcut shortcut;
    shortcut.title = question.title;
    shortcut.keys = question.keys;
    return favourites_.isPinned(shortcut, *bundleID_);
}

std::vector<QuizQuestion> QuizModel::shuffled(std::vector<QuizQuestion> questions) const
{
    // Fisher–Yates: each position takes one of the questions not yet placed.
    for (std::size_t i = questions.size(); i > 1; --i)
        std::swap(questions[i - 1], questions[randomIndex_(i)]);
    return questions;
}

void QuizModel::cancelPause()
{
    if (pendingAdvance_)
        mainQueue_.cancel(*pendingAdvance_);
    pendingAdvance_.reset();
}

} // namespace hb
