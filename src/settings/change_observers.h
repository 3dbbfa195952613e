#pragma once

#include <cstdint>
#include <functional>
#include <map>

namespace hb {

// The callbacks of an observable object, run after each change of its state.
// Main thread only. An observer may add or remove observers while it runs.
class ChangeObservers {
public:
    using Id = std::uint64_t;

    Id add(std::function<void()> observer)
    {
        observers_.emplace(nextId_, std::move(observer));
        return nextId_++;
    }
    void remove(Id id) { observers_.erase(id); }

    void notify() const
    {
        auto observers = observers_;
        for (auto& [id, observer] : observers)
            observer();
    }

private:
    std::map<Id, std::function<void()>> observers_;
    Id nextId_ = 1;
};

} // namespace hb
