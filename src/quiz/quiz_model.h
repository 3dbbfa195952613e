#pragma once

#include "base/observer_list.h"
#include "model/shortcut.h"
#include "platform/runtime.h"
#include "settings/favourites_store.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hb {

struct QuizQuestion {
    std::string title;
    std::string keys;
    std::string menuTitle; // the top-level menu holding the command

    friend bool operator==(const QuizQuestion&, const QuizQuestion&) = default;
};

struct QuizPhase {
    enum Kind { asking, correct, wrong, done };
    Kind kind = asking;
    std::string pressedKeys; // what was pressed, for a wrong answer

    friend bool operator==(const QuizPhase&, const QuizPhase&) = default;
};

// One quiz over an application's commands with shortcuts: asks them in a
// random order, scores the answers and moves on after a short feedback pause.
// Main thread only.
class QuizModel {
public:
    // A uniformly drawn index below `bound` (which is at least 1).
    using RandomIndex = std::function<std::size_t(std::size_t bound)>;
    static RandomIndex systemRandomIndex();

    static constexpr platform::Seconds correctAnswerPause{0.8};
    static constexpr platform::Seconds wrongAnswerPause{1.5};

    QuizModel(const std::vector<MenuSection>& sections, std::string appName, std::optional<std::string> appIcon,
              std::optional<std::string> bundleID, FavouritesStore& favourites, platform::MainQueue& mainQueue,
              RandomIndex randomIndex = systemRandomIndex());
    ~QuizModel();
    QuizModel(const QuizModel&) = delete;
    QuizModel& operator=(const QuizModel&) = delete;

    const std::vector<QuizQuestion>& allQuestions() const { return allQuestions_; }
    const std::vector<QuizQuestion>& activeQuestions() const { return activeQuestions_; }
    std::size_t currentIndex() const { return currentIndex_; }
    int score() const { return score_; }
    const QuizPhase& phase() const { return phase_; }
    const std::string& appName() const { return appName_; }
    const std::optional<std::string>& appIcon() const { return appIcon_; } // a freedesktop icon name
    const std::optional<std::string>& bundleID() const { return bundleID_; }
    bool hasFavourites() const { return hasFavourites_; }

    bool favouritesOnly() const { return favouritesOnly_; }
    // A change restarts the run; without a bundle identifier there are no favourites to restrict to.
    void setFavouritesOnly(bool favouritesOnly);

    const QuizQuestion* currentQuestion() const;
    // Whole percent of the run answered right.
    int percentCorrect() const;

    // Answers the current question while asking.
    void submit(const std::string& pressedKeys);
    // The next question, or done after the last.
    void advance();
    // A newly shuffled run from the first question.
    void restart();

    // A key press in the quiz window, as its notation (absent for a key that
    // makes none, like a lone modifier). While asking it answers and starts
    // the feedback pause, after which the quiz advances; during the pause any
    // key advances at once. Whether the press was used.
    bool keyPressed(const std::optional<std::string>& keys);

    platform::ObserverList<>::Id addObserver(std::function<void()> observer)
    {
        return observers_.add(std::move(observer));
    }
    void removeObserver(platform::ObserverList<>::Id id) { observers_.remove(id); }

private:
    bool isFavourite(const QuizQuestion& question);
    std::vector<QuizQuestion> shuffled(std::vector<QuizQuestion> questions) const;
    void cancelPause();

    std::vector<QuizQuestion> allQuestions_;
    std::optional<std::string> bundleID_;
    std::vector<QuizQuestion> activeQuestions_;
    std::size_t currentIndex_ = 0;
    int score_ = 0;
    QuizPhase phase_;
    std::string appName_;
    std::optional<std::string> appIcon_;
    bool hasFavourites_ = false;
    bool favouritesOnly_ = false;

    FavouritesStore& favourites_;
    platform::MainQueue& mainQueue_;
    RandomIndex randomIndex_;
    std::optional<platform::MainQueue::TaskId> pendingAdvance_;
    platform::ObserverList<> observers_;
};

} // namespace hb
