#include "platform/notification_center.h"

#include <map>
#include <mutex>
#include <vector>

namespace hb::platform {

struct NotificationCenter::State {
    struct Entry {
        std::string name;
        std::shared_ptr<std::function<void()>> observer;
    };

    std::mutex mutex;
    std::map<ObserverId, Entry> observers;
    ObserverId nextId = 1;

    std::shared_ptr<std::function<void()>> find(ObserverId id)
    {
        std::lock_guard lock(mutex);
        auto found = observers.find(id);
        return found == observers.end() ? nullptr : found->second.observer;
    }
};

NotificationCenter::NotificationCenter(MainQueue& mainQueue) : mainQueue_(mainQueue), state_(std::make_shared<State>())
{}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter::ObserverId NotificationCenter::addObserver(std::string_view name, std::function<void()> observer)
{
    std::lock_guard lock(state_->mutex);
    const auto id = state_->nextId++;
    state_->observers.emplace(
        id, State::Entry{std::string(name), std::make_shared<std::function<void()>>(std::move(observer))});
    return id;
}

void NotificationCenter::removeObserver(ObserverId id)
{
    std::lock_guard lock(state_->mutex);
    state_->observers.erase(id);
}

void NotificationCenter::post(std::string_view name)
{
    std::vector<ObserverId> recipients;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& [id, entry] : state_->observers) {
            if (entry.name == name)
                recipients.push_back(id);
        }
    }
    // Tasks hold the state weakly: a centre destroyed before they run calls nobody.
    std::weak_ptr<State> weakState = state_;
    for (auto id : recipients) {
        mainQueue_.post([weakState, id] {
            auto state = weakState.lock();
            if (!state)
                return;
            if (auto observer = state->find(id))
                (*observer)();
        });
    }
}

} // namespace hb::platform
