#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace hb::platform {

// Callbacks registered under an id and told in registration order. An
// observer may add or remove observers, itself included, while being told;
// one removed during a notification is not called afterwards. Not thread-safe.
template <typename... Args>
class ObserverList {
public:
    using Id = std::uint64_t;
    using Callback = std::function<void(const Args&...)>;

    Id add(Callback callback)
    {
        Id id = nextId_++;
        callbacks_.emplace(id, std::move(callback));
        return id;
    }
    void remove(Id id) { callbacks_.erase(id); }
    std::size_t size() const { return callbacks_.size(); }

    void notify(const Args&... args)
    {
        std::vector<Id> ids;
        ids.reserve(callbacks_.size());
        for (const auto& entry : callbacks_)
            ids.push_back(entry.first);
        for (Id id : ids) {
            auto found = callbacks_.find(id);
            if (found == callbacks_.end())
                continue;
            Callback callback = found->second; // survives its own removal
            callback(args...);
        }
    }

private:
    std::map<Id, Callback> callbacks_;
    Id nextId_ = 1;
};

} // namespace hb::platform
