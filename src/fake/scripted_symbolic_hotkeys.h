#pragma once

#include "platform/symbolic_hotkeys.h"

#include <utility>

namespace hb::fake {

// Reports a scripted set of hot keys; reports nothing until one is set.
class ScriptedSymbolicHotKeys : public platform::SymbolicHotKeys {
public:
    void setValues(std::map<std::int64_t, Value> values) { values_ = std::move(values); }

    std::optional<std::map<std::int64_t, Value>> values(std::span<const std::int64_t> ids) const override
    {
        if (!values_)
            return std::nullopt;
        std::map<std::int64_t, Value> reported;
        for (auto id : ids)
            if (auto found = values_->find(id); found != values_->end())
                reported.insert(*found);
        return reported;
    }

private:
    std::optional<std::map<std::int64_t, Value>> values_;
};

} // namespace hb::fake
